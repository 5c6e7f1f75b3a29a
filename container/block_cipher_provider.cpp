#include "container/block_cipher_provider.h"

#include <array>
#include <cstring>

#include "platform/path.h"
#include "support/error_handler.h"

namespace corvalin {
namespace {

#ifdef _WIN32
constexpr const char* kModuleSuffix = ".dll";
#else
constexpr const char* kModuleSuffix = ".so";
#endif

// Entry-point names in the record's order: encrypt_block, decrypt_block, encrypt_key,
// decrypt_key, init.
constexpr std::array<const char*, 5> kAesNames = {"aes_encrypt", "aes_decrypt", "aes_encrypt_key",
                                                  "aes_decrypt_key", "aes_init"};
constexpr std::array<const char*, 5> kRijndaelNames = {"aes_enc_blk", "aes_dec_blk", "aes_enc_key",
                                                       "aes_dec_key", "aes_init"};

const std::array<const char*, 5>& EntryPointNames(int block_size) {
  return block_size == 16 ? kAesNames : kRijndaelNames;
}

template <typename Function>
bool Resolve(Platform& platform, ModuleHandle module, const char* name, Function& target) {
  void* symbol = platform.ModuleSymbol(module, name);
  static_assert(sizeof symbol == sizeof target);
  std::memcpy(&target, &symbol, sizeof target);
  return symbol != nullptr;
}

}  // namespace

std::vector<std::string> ProviderModuleCandidates(Platform& platform, const std::string& name) {
  const std::string beside = platform.ExecutableDirectory();
  if (beside.empty()) return {};
  const std::string installed =
      std::string("..") + kSeparator + "lib" + kSeparator + "corvalin" + kSeparator + name;
  return {beside + name, platform.FullPath(beside + installed)};
}

std::string ProviderModuleName(int block_size) {
  const std::string stem = block_size == 16 ? "aes" : "rijndael" + std::to_string(block_size);
  return stem + kModuleSuffix;
}

LoadedModule LoadProviderModule(Platform& platform, const std::string& name) {
  const std::vector<std::string> candidates = ProviderModuleCandidates(platform, name);
  for (std::size_t i = 0; i < candidates.size(); ++i) {
    if (const ModuleHandle module = platform.LoadModule(candidates[i])) {
      return {module, candidates[i], i == 0};
    }
  }
  return {};
}

bool HasProviderEntryPoints(Platform& platform, ModuleHandle module, int block_size) {
  for (const char* name : EntryPointNames(block_size)) {
    if (platform.ModuleSymbol(module, name) == nullptr) return false;
  }
  return true;
}

ModuleHandle LoadBlockCipherProvider(Platform& platform, BlockCipherProvider& provider,
                                     int block_size) {
  if (block_size != 16 && block_size != 24 && block_size != 32) {
    throw ErrorHandler(Error::kUnsupported, "Wrong block size (only available 16,24 and 32bit).");
  }
  const std::string name = ProviderModuleName(block_size);
  const ModuleHandle module = LoadProviderModule(platform, name).handle;
  if (module == nullptr) throw ErrorHandler(Error::kModuleNotLoaded, name + " not found");

  const auto& names = EntryPointNames(block_size);
  BlockCipherProvider loaded;
  loaded.block_size = block_size;
  const bool complete = Resolve(platform, module, names[0], loaded.encrypt_block) &&
                        Resolve(platform, module, names[1], loaded.decrypt_block) &&
                        Resolve(platform, module, names[2], loaded.encrypt_key) &&
                        Resolve(platform, module, names[3], loaded.decrypt_key) &&
                        Resolve(platform, module, names[4], loaded.init);
  if (!complete) {
    platform.UnloadModule(module);
    throw ErrorHandler(Error::kMissingEntryPoint, "Unable to get callback(s) from " + name + ".");
  }
  for (int mode = 0; mode < kModeCount; ++mode) {
    const std::string stem = std::string("corvalin_") + kModeWords[mode];
    Resolve(platform, module, (stem + "_encrypt").c_str(), loaded.encrypt_blocks[mode]);
    Resolve(platform, module, (stem + "_decrypt").c_str(), loaded.decrypt_blocks[mode]);
  }
  provider = loaded;
  return module;
}

void FreeBlockCipherProvider(Platform& platform, ModuleHandle handle) {
  if (handle != nullptr) platform.UnloadModule(handle);
}

}  // namespace corvalin
