// Throughput of the cipher modules' block functions as the program loads them, per block size
// and key length.
#include <benchmark/benchmark.h>

#include <vector>

#include "container/block_cipher_provider.h"
#include "platform/platform.h"

namespace corvalin {
namespace {

struct alignas(kScheduleAlignment) ScheduleArea {
  unsigned char bytes[kScheduleBytes];
};

void BlockThroughput(benchmark::State& state, bool encrypt) {
  const int block = static_cast<int>(state.range(0));
  const int key_bytes = static_cast<int>(state.range(1));
  const auto platform = MakeSystemPlatform();
  BlockCipherProvider provider;
  const ModuleHandle handle = LoadBlockCipherProvider(*platform, provider, block);
  ScheduleArea schedule{};
  const unsigned char key[32] = {1, 2, 3, 4, 5, 6, 7, 8, 9};
  (encrypt ? provider.encrypt_key : provider.decrypt_key)(key, key_bytes, schedule.bytes);
  const BlockFunction function = encrypt ? provider.encrypt_block : provider.decrypt_block;
  std::vector<unsigned char> in(64 * 1024), out(in.size());
  for (auto _ : state) {
    for (std::size_t at = 0; at < in.size(); at += static_cast<std::size_t>(block)) {
      function(in.data() + at, out.data() + at, schedule.bytes);
    }
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(in.size()));
  FreeBlockCipherProvider(*platform, handle);
}

void EncryptBlocks(benchmark::State& state) {
  BlockThroughput(state, true);
}
void DecryptBlocks(benchmark::State& state) {
  BlockThroughput(state, false);
}

BENCHMARK(EncryptBlocks)->ArgsProduct({{16, 24, 32}, {16, 24, 32}});
BENCHMARK(DecryptBlocks)->ArgsProduct({{16, 24, 32}, {16, 24, 32}});

}  // namespace
}  // namespace corvalin
