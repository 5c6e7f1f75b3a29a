#include "app/run_list_file.h"

#include "platform/platform.h"
#include "support/error_handler.h"
#include "support/my_stream.h"
#include "support/secure_wipe.h"
#include "support/text.h"

namespace corvalin {
namespace {

constexpr const char* kListPrefix = "~files.tmp";

}  // namespace

void RunListFile::Create(const std::string& folder) {
  NativeFile handle = kNoFile;
  if (const int error = platform_.CreateAnonymousFile(folder, kListPrefix, name_, handle)) {
    throw ErrorHandler(error, "Unable to create a list file in " + folder);
  }
  sink_.Write("\r\nCreate " + name_, Verbosity::kHousekeeping);
  file_.Adopt(handle, OpenMode::kReadWrite, name_);
  sink_.Write(" [OK] \r\n", Verbosity::kHousekeeping);
}

int RunListFile::Remove(bool wipe, int passes) {
  if (removed_ || !file_.IsOpen()) return 0;
  removed_ = true;
  int status = 0;
  if (wipe) {
    sink_.Write(Format("\r\nWipe (lev=%d) %s ", passes, name_.c_str()), Verbosity::kHousekeeping);
    try {
      file_.set_size(file_.Describe().size);
      if (file_.size() == 0) sink_.Write("(0 bytes) ", Verbosity::kHousekeeping);
      Wipe(file_, sink_, static_cast<std::uint32_t>(passes));
    } catch (const ErrorHandler& error) {
      platform_.Err("\n" + ErrorLine(error) + " The list file " + name_ +
                    " was removed without being overwritten.\n");
      status = error.code;
    }
  } else {
    sink_.Write("\r\nDelete " + name_, Verbosity::kHousekeeping);
  }
  file_.Close();  // the name is already gone: closing removes the file
  if (status == 0) sink_.Write(wipe ? "[OK] \r\n" : " [OK] \r\n", Verbosity::kHousekeeping);
  return status;
}

}  // namespace corvalin
