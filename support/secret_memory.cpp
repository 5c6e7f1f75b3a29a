#include "support/secret_memory.h"

namespace corvalin {

void WipeString(std::string& text) {
  // Growing within the capacity never moves the buffer, so the wipe reaches every byte of it.
  text.resize(text.capacity());
  WipeMemory(text.data(), text.size());
  text.clear();
}

}  // namespace corvalin
