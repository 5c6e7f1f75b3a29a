// A heap buffer for streamed data, left uninitialised: every byte is written before it is
// read, and zeroing 144 KiB for each file costs more than a small file's whole processing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace corvalin {

class WorkBuffer {
 public:
  explicit WorkBuffer(std::size_t size)
      : bytes_(std::make_unique_for_overwrite<std::uint8_t[]>(size)), size_(size) {}

  std::uint8_t* data() const { return bytes_.get(); }
  char* chars() const { return reinterpret_cast<char*>(bytes_.get()); }
  std::size_t size() const { return size_; }

 private:
  std::unique_ptr<std::uint8_t[]> bytes_;
  std::size_t size_;
};

}  // namespace corvalin
