#include <windows.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

#include "platform/module_image.h"

namespace corvalin {
namespace {

#if defined(_WIN64)
constexpr WORD kMachine = IMAGE_FILE_MACHINE_AMD64;
#else
constexpr WORD kMachine = IMAGE_FILE_MACHINE_I386;
#endif

bool Within(std::uint64_t offset, std::uint64_t length, std::uint64_t size) {
  return offset <= size && length <= size - offset;
}

}  // namespace

bool IsLoadableImage(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  const std::vector<char> image((std::istreambuf_iterator<char>(in)),
                                std::istreambuf_iterator<char>());
  const std::uint64_t size = image.size();
  IMAGE_DOS_HEADER dos{};
  if (size < sizeof dos) return false;
  std::memcpy(&dos, image.data(), sizeof dos);
  if (dos.e_magic != IMAGE_DOS_SIGNATURE || dos.e_lfanew < 0) return false;
  const std::uint64_t at = static_cast<std::uint64_t>(dos.e_lfanew);
  DWORD signature = 0;
  IMAGE_FILE_HEADER file{};
  if (!Within(at, sizeof signature + sizeof file, size)) return false;
  std::memcpy(&signature, image.data() + at, sizeof signature);
  std::memcpy(&file, image.data() + at + sizeof signature, sizeof file);
  if (signature != IMAGE_NT_SIGNATURE || file.Machine != kMachine) return false;
  const std::uint64_t sections = at + sizeof signature + sizeof file + file.SizeOfOptionalHeader;
  if (!Within(sections, std::uint64_t{file.NumberOfSections} * sizeof(IMAGE_SECTION_HEADER),
              size)) {
    return false;
  }
  for (WORD i = 0; i < file.NumberOfSections; ++i) {
    IMAGE_SECTION_HEADER section{};
    std::memcpy(&section, image.data() + sections + i * sizeof section, sizeof section);
    if (!Within(section.PointerToRawData, section.SizeOfRawData, size)) return false;
  }
  return true;
}

}  // namespace corvalin
