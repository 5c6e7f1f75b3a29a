// The three cipher modules, loaded the way the program loads them, for tests that need a
// working block cipher.
#pragma once

#include <map>
#include <memory>

#include "container/block_cipher_provider.h"
#include "platform/platform.h"
#include "support/filler.h"

namespace corvalin::testing {

class LoadedProviders {
 public:
  explicit LoadedProviders(Platform& platform) : platform_(platform) {
    for (const int block : {16, 24, 32}) {
      handles_[block] = LoadBlockCipherProvider(platform_, providers_[block], block);
    }
  }
  ~LoadedProviders() {
    for (const auto& [block, handle] : handles_) FreeBlockCipherProvider(platform_, handle);
  }
  LoadedProviders(const LoadedProviders&) = delete;
  LoadedProviders& operator=(const LoadedProviders&) = delete;

  const BlockCipherProvider& operator[](int block) { return providers_[block]; }

 private:
  Platform& platform_;
  std::map<int, BlockCipherProvider> providers_;
  std::map<int, ModuleHandle> handles_;
};

// Filler that is the same on every run, so whole containers can be compared.
class FixedFiller : public FillerSource {
 public:
  void Fill(std::uint8_t* data, std::size_t count) override {
    for (std::size_t i = 0; i < count; ++i) data[i] = static_cast<std::uint8_t>(0xA5 ^ i);
  }
};

}  // namespace corvalin::testing
