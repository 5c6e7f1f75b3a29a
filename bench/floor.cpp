// The floor of one encryption of a large file: each part of the work that cannot be skipped,
// timed alone on the same file, so that a whole run can be set against their sum. The parts:
// the serial cipher chain (CBC in the run's block size, in memory), the checksum pass over the
// source, reading the source and writing as many bytes, putting them on stable storage, and
// removing the source.
//
// Usage: corvalin_floor <file> [block bits]   (the file is copied, never changed)
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>

#include "container/block_cipher_provider.h"
#include "container/cipher_context.h"
#include "container/container_format.h"
#include "platform/platform.h"
#include "support/disk_file.h"
#include "support/filler.h"
#include "support/my_stream.h"
#include "support/work_buffer.h"

namespace corvalin {
namespace {

class QuietSink : public MyStream {
 public:
  void Write(std::string_view, Verbosity) override {}
  int Status() override { return 0; }
  void Progress(std::uint32_t, Verbosity) override {}
  void Step(std::uint32_t, Verbosity) override {}
};

double Seconds(const std::function<void()>& work) {
  const auto start = std::chrono::steady_clock::now();
  work();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void Copy(Platform& platform, const std::string& from, const std::string& to) {
  DiskFile in(platform), out(platform);
  in.Open(OpenMode::kRead, from);
  out.Open(OpenMode::kWrite, to);
  WorkBuffer buffer(kChunkBytes);
  while (const std::uint32_t got = in.Read(kChunkBytes, buffer.data()))
    out.Write(got, buffer.data());
}

int Floor(const std::string& file, int block_bits) {
  const auto platform = MakeSystemPlatform();
  QuietSink sink;
  TimeSeededFiller filler(*platform);
  BlockCipherProvider provider;
  const ModuleHandle module = LoadBlockCipherProvider(*platform, provider, block_bits / 8);
  const std::string copy = file + ".floor";
  DiskFile source(*platform);
  source.Open(OpenMode::kRead, file);
  const std::uint64_t size = source.size();

  // The chain, on the bytes already in memory: nothing but the cipher.
  CipherContext context(provider, sink, filler);
  context.SetEncryptionKey("a pass phrase of thirty-two byte", 32, block_bits / 8);
  WorkBuffer plain(kChunkBytes), cipher(kChunkBytes);
  for (std::uint32_t i = 0; i < kChunkBytes; ++i) plain.data()[i] = static_cast<std::uint8_t>(i);
  const double chain = Seconds([&] {
    for (std::uint64_t done = 0; done < size; done += kChunkBytes) {
      context.EncryptBlocks(CipherMode::kCbc, plain.data(), cipher.data(), kChunkBytes);
    }
  });
  const double checksum = Seconds([&] { source.Checksum(nullptr); });
  source.Close();
  const double copying = Seconds([&] { Copy(*platform, file, copy); });
  DiskFile written(*platform);
  written.Open(OpenMode::kReadWrite, copy);
  const double flush = Seconds([&] { written.Flush(); });
  written.Close();
  const double removal = Seconds([&] { platform->Remove(copy); });
  FreeBlockCipherProvider(*platform, module);

  const double floor = chain + checksum + copying + flush + removal;
  std::printf("chain %.3f  checksum %.3f  read+write %.3f  flush %.3f  removal %.3f  floor %.3f\n",
              chain, checksum, copying, flush, removal, floor);
  return 0;
}

}  // namespace
}  // namespace corvalin

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: corvalin_floor <file> [block bits]\n");
    return 2;
  }
  return corvalin::Floor(argv[1], argc > 2 ? std::atoi(argv[2]) : 256);
}
