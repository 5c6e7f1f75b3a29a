// The password, the key made from it and the key schedules are overwritten as soon as they are
// no longer needed, so that a core dump, a swapped-out page or a later allocation of the same
// memory holds none of them.
#pragma once

#include <cstddef>
#include <string>

namespace corvalin {

// Zeros `size` bytes through a volatile pointer: an optimiser may drop plain stores to memory
// that is never read again, which is exactly the memory a wipe is for. Inline so that the
// cipher modules, which link nothing of the program, can use it too.
inline void WipeMemory(void* data, std::size_t size) {
  volatile unsigned char* bytes = static_cast<volatile unsigned char*>(data);
  for (std::size_t i = 0; i < size; ++i) bytes[i] = 0;
}

// Zeros the string's whole buffer, also the bytes past its end that a longer earlier value
// left there, and leaves the string empty.
void WipeString(std::string& text);

// Wipes a string when the scope ends, however it ends.
class ScopedWipe {
 public:
  explicit ScopedWipe(std::string& text) : text_(text) {}
  ~ScopedWipe() { WipeString(text_); }
  ScopedWipe(const ScopedWipe&) = delete;
  ScopedWipe& operator=(const ScopedWipe&) = delete;

 private:
  std::string& text_;
};

}  // namespace corvalin
