// The first pass's handler: writes each found path and a line feed into the list file.
#pragma once

#include "app/my_object.h"

namespace corvalin {

class DiskFile;

class MyObjectCounter : public MyObject {
 public:
  explicit MyObjectCounter(DiskFile& list) : list_file_(list) {}

  void process(FileEnumerator& entry) override;
  std::uint64_t result_size() override { return last_size_; }
  bool succeeded() override { return true; }

 private:
  DiskFile& list_file_;
  std::uint64_t last_size_ = 0;
};

}  // namespace corvalin
