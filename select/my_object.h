// The handler the finder gives every found file to.
#pragma once

#include <cstdint>

namespace corvalin {

class FileEnumerator;
struct ErrorHandler;

class MyObject {
 public:
  virtual ~MyObject() = default;
  // Handles the file the enumerator stands on.
  virtual void process(FileEnumerator& entry) = 0;
  // Bytes produced for the file last handled.
  virtual std::uint64_t result_size() = 0;
  // Whether the file last handled counts as done.
  virtual bool succeeded() = 0;
  // Whether the file last handled was accounted for with another one, and counts neither as
  // done nor as failed.
  virtual bool counted_with_another() { return false; }
  // A folder or entry the search could not look into, which the finder counts as failed.
  virtual void PassedOver(const ErrorHandler& /*why*/) {}

  // The finder's running count of failed files.
  std::int32_t error_count = 0;
};

}  // namespace corvalin
