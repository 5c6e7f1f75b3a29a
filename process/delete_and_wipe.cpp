#include "platform/platform.h"
#include "process/my_object_aes.h"
#include "support/disk_file.h"
#include "support/error_handler.h"
#include "support/my_stream.h"
#include "support/secure_wipe.h"

namespace corvalin {

void MyObjectAes::DeleteAndWipe(const std::string& path) {
  wipe_began_ = false;
  if (force_normal_attributes) platform_.SetNormalAttributes(path);
  if (wipe) {
    sink.Write("Wipe (lev=" + std::to_string(wipe_passes) + ") " + path + " ", 4);
    DiskFile file(platform_);
    file.Open(2, path);
    if (file.size() == 0) sink.Write("(0 byte) ", 4);
    sink.Progress(0, 1);
    wipe_began_ = file.size() > 0;
    Wipe(file, sink, static_cast<std::uint32_t>(wipe_passes));
    file.Close();
  } else {
    sink.Write("Delete " + path + " ", 4);
  }
  if (platform_.Remove(path) != 0) {
    throw ErrorHandler(-4, "Unable to delete " + path + " (Read only file?)");
  }
  sink.Write("[OK] \r\n", 4);
}

void MyObjectAes::DeleteIfDifferent(const std::string& candidate, const std::string& keep) {
  if (candidate != keep) DeleteAndWipe(candidate);
}

}  // namespace corvalin
