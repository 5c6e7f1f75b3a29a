// Throughput of the cipher modules' block functions as the program loads them, per block size
// and key length.
#include <benchmark/benchmark.h>

#include <vector>

#include "container/block_cipher_provider.h"
#include "platform/platform.h"
#include "providers/implementation.h"

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

// The table-driven code alone, as on a processor without AES-NI.
void PortableBlocks(benchmark::State& state) {
  const int columns = static_cast<int>(state.range(0)) / 4;
  const bool encrypt = state.range(2) != 0;
  const auto& how = rijndael::Portable(columns);
  rijndael::Schedule schedule{};
  const unsigned char key[32] = {1, 2, 3};
  rijndael::ExpandEncryptionKey(columns, key, static_cast<int>(state.range(1)), schedule);
  std::vector<unsigned char> in(64 * 1024), out(in.size());
  const std::size_t blocks = in.size() / (4 * static_cast<std::size_t>(columns));
  for (auto _ : state) {
    (encrypt ? how.encrypt_many : how.decrypt_many)(schedule, in.data(), out.data(), blocks);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(in.size()));
}
BENCHMARK(PortableBlocks)->ArgsProduct({{16, 24, 32}, {16, 32}, {1, 0}});

// The modules' whole-run functions per mode (0 ECB, 1 CBC, 2 CFB), 256-bit key.
void WholeRuns(benchmark::State& state) {
  const int block = static_cast<int>(state.range(0));
  const int mode = static_cast<int>(state.range(1));
  const bool encrypt = state.range(2) != 0;
  const auto platform = MakeSystemPlatform();
  BlockCipherProvider provider;
  const ModuleHandle handle = LoadBlockCipherProvider(*platform, provider, block);
  ScheduleArea schedule{};
  const unsigned char key[32] = {1, 2, 3};
  ((encrypt || mode == 2) ? provider.encrypt_key : provider.decrypt_key)(key, 32, schedule.bytes);
  const ModeFunction run = encrypt ? provider.encrypt_blocks[mode] : provider.decrypt_blocks[mode];
  std::vector<unsigned char> in(147456), out(in.size()), chain(32);
  for (auto _ : state) {
    run(in.data(), out.data(), static_cast<unsigned>(in.size()) / block, chain.data(),
        schedule.bytes);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(in.size()));
  FreeBlockCipherProvider(*platform, handle);
}
BENCHMARK(WholeRuns)->ArgsProduct({{16, 24, 32}, {0, 1, 2}, {1, 0}});

}  // namespace
}  // namespace corvalin
