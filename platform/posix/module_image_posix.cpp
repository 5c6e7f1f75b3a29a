#include <elf.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "platform/module_image.h"

namespace corvalin {
namespace {

#if UINTPTR_MAX == 0xFFFFFFFFu
using Header = Elf32_Ehdr;
using Segment = Elf32_Phdr;
constexpr unsigned char kClass = ELFCLASS32;
#else
using Header = Elf64_Ehdr;
using Segment = Elf64_Phdr;
constexpr unsigned char kClass = ELFCLASS64;
#endif

#if defined(__x86_64__)
constexpr int kMachine = EM_X86_64;
#elif defined(__i386__)
constexpr int kMachine = EM_386;
#elif defined(__aarch64__)
constexpr int kMachine = EM_AARCH64;
#elif defined(__arm__)
constexpr int kMachine = EM_ARM;
#else
constexpr int kMachine = -1;  // not checked
#endif

bool Within(std::uint64_t offset, std::uint64_t length, std::uint64_t size) {
  return offset <= size && length <= size - offset;
}

std::vector<unsigned char> ReadWhole(const std::string& path) {
  std::vector<unsigned char> bytes;
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return bytes;
  struct stat info {};
  if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0) {
    bytes.resize(static_cast<std::size_t>(info.st_size));
    std::size_t done = 0;
    while (done < bytes.size()) {
      const ssize_t got = read(fd, bytes.data() + done, bytes.size() - done);
      if (got <= 0) break;
      done += static_cast<std::size_t>(got);
    }
    bytes.resize(done);
  }
  close(fd);
  return bytes;
}

}  // namespace

bool IsLoadableImage(const std::string& path) {
  const std::vector<unsigned char> image = ReadWhole(path);
  const std::uint64_t size = image.size();
  Header header{};
  if (size < sizeof header) return false;
  std::memcpy(&header, image.data(), sizeof header);
  if (std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0 || header.e_ident[EI_CLASS] != kClass ||
      header.e_type != ET_DYN || (kMachine >= 0 && header.e_machine != kMachine) ||
      header.e_phentsize != sizeof(Segment)) {
    return false;
  }
  if (!Within(header.e_phoff, std::uint64_t{header.e_phnum} * sizeof(Segment), size)) return false;
  if (header.e_shoff != 0 &&
      !Within(header.e_shoff, std::uint64_t{header.e_shnum} * header.e_shentsize, size)) {
    return false;
  }
  for (unsigned i = 0; i < header.e_phnum; ++i) {
    Segment segment{};
    std::memcpy(&segment, image.data() + header.e_phoff + i * sizeof(Segment), sizeof segment);
    if (segment.p_type == PT_LOAD && !Within(segment.p_offset, segment.p_filesz, size)) {
      return false;
    }
  }
  return true;
}

}  // namespace corvalin
