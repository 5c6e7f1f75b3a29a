// The block cipher, loaded per run from the module for the run's block size.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "providers/provider_abi.h"

namespace corvalin {

// The chaining of blocks, by the numbers the command line's words stand for. CFB runs the
// cipher forward in both directions.
enum class CipherMode : int { kEcb = 0, kCbc = 1, kCfb = 2 };
inline constexpr int kModeCount = 3;
inline constexpr const char* kModeWords[kModeCount] = {"ecb", "cbc", "cfb"};

constexpr std::size_t IndexOf(CipherMode mode) {
  return static_cast<std::size_t>(mode);
}

// Whether decryption in this mode runs the cipher forward, and so needs the encryption key
// schedule rather than the decryption one.
constexpr bool DecryptsForward(CipherMode mode) {
  return mode == CipherMode::kCfb;
}

struct BlockCipherProvider {
  std::int32_t block_size = 0;
  BlockFunction encrypt_block = nullptr;
  BlockFunction decrypt_block = nullptr;
  KeyFunction encrypt_key = nullptr;
  KeyFunction decrypt_key = nullptr;
  InitFunction init = nullptr;
  // Optional whole-run functions per mode (ECB, CBC, CFB); null when the module has none.
  ModeFunction encrypt_blocks[kModeCount] = {nullptr, nullptr, nullptr};
  ModeFunction decrypt_blocks[kModeCount] = {nullptr, nullptr, nullptr};
};

// The platform's file name of the module for a block size: "aes", "rijndael24", "rijndael32"
// with ".dll" on Windows and ".so" on POSIX.
std::string ProviderModuleName(int block_size);

// Where a module `name` is looked for, in this order: the executable's own folder (as Windows
// does), then ../lib/corvalin/ beside it (the installed layout). Only these full paths: never
// the system's library search, which an empty entry of LD_LIBRARY_PATH (or, on Windows, the
// plain name itself) extends to the current folder, so that a file planted there would run
// inside the process. Without a known executable folder there is no candidate.
std::vector<std::string> ProviderModuleCandidates(Platform& platform, const std::string& name);

// A module loaded from the first of its candidates that loads.
struct LoadedModule {
  ModuleHandle handle = nullptr;  // null when none loads
  std::string path;
  bool beside_program = false;  // the first candidate
};
LoadedModule LoadProviderModule(Platform& platform, const std::string& name);

// Whether a loaded module exports every entry point a module for `block_size` has.
bool HasProviderEntryPoints(Platform& platform, ModuleHandle module, int block_size);

// Loads the module from the first of its candidates that loads, fills the record and returns
// the handle. Raises -35 for a bad block size, -30 when the module is not
// found, -29 when an entry point is missing.
ModuleHandle LoadBlockCipherProvider(Platform& platform, BlockCipherProvider& provider,
                                     int block_size);

// Releases a loaded module; a null handle is ignored.
void FreeBlockCipherProvider(Platform& platform, ModuleHandle handle);

}  // namespace corvalin
