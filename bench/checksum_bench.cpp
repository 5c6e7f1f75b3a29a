// Checksum throughput: it runs over every byte of every file twice (when encrypting and when
// decrypting), so it must never be what limits a run.
#include <benchmark/benchmark.h>

#include <vector>

#include "support/crc32.h"

namespace corvalin {
namespace {

void Crc32Throughput(benchmark::State& state) {
  std::vector<unsigned char> data(static_cast<std::size_t>(state.range(0)));
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<unsigned char>(i * 131);
  for (auto _ : state) {
    CCrc32Dynamic crc;
    crc.Init();
    crc.Update(data.data(), data.size());
    benchmark::DoNotOptimize(crc.Checksum());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}

BENCHMARK(Crc32Throughput)->Arg(16384)->Arg(1 << 20);

}  // namespace
}  // namespace corvalin
