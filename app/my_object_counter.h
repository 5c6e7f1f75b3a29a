// The first pass's handler: writes each found path and a line feed into the list file.
#pragma once

#include "select/my_object.h"

namespace corvalin {

class DiskFile;
class MyStream;

class MyObjectCounter : public MyObject {
 public:
  MyObjectCounter(DiskFile& list, MyStream& sink) : list_file_(list), sink_(sink) {}

  void process(FileEnumerator& entry) override;
  std::uint64_t result_size() override { return last_size_; }
  bool succeeded() override { return listed_; }
  void PassedOver(const ErrorHandler& why) override;

 private:
  DiskFile& list_file_;
  MyStream& sink_;
  std::uint64_t last_size_ = 0;
  bool listed_ = false;
};

}  // namespace corvalin
