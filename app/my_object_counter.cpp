#include "app/my_object_counter.h"

#include <string>

#include "select/file_enumerator.h"
#include "support/disk_file.h"

namespace corvalin {

void MyObjectCounter::process(FileEnumerator& entry) {
  const std::string line = entry.EntryPath() + "\n";
  list_file_.Write(static_cast<std::uint32_t>(line.size()), line.data());
  last_size_ = entry.EntrySize();
}

}  // namespace corvalin
