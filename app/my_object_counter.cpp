#include "app/my_object_counter.h"

#include <string>

#include "select/file_enumerator.h"
#include "support/disk_file.h"
#include "support/error_handler.h"
#include "support/my_stream.h"

namespace corvalin {

void MyObjectCounter::process(FileEnumerator& entry) {
  const std::string path = entry.EntryPath();
  // A POSIX name may hold a line feed, which the list would read back as two paths naming
  // other files; such a file is left out, and said so.
  listed_ = path.find('\n') == std::string::npos;
  if (!listed_) {
    sink_.Problem(WarningLine(Error::kLineFeedInName,
                              path + " is left out: a name with a line feed cannot be listed."));
    last_size_ = 0;
    return;
  }
  const std::string line = path + "\n";
  const auto length = static_cast<std::uint32_t>(line.size());
  // A short write would cut the list, and every file after the cut would stay plain.
  if (list_file_.Write(length, line.data()) != length) {
    throw ErrorHandler(Error::kWriteFailed,
                       "Unable to write file " + list_file_.path() + "(disk full?)");
  }
  last_size_ = entry.EntrySize();
}

void MyObjectCounter::PassedOver(const ErrorHandler& why) {
  sink_.Problem(ErrorLine(why));
}

}  // namespace corvalin
