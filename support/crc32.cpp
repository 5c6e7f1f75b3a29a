#include "support/crc32.h"

#include <array>
#include <cstring>

#include "support/little_endian.h"

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#include <immintrin.h>
#endif

namespace corvalin {
namespace {

// Slicing by eight: table k gives the effect of a byte followed by k zero bytes, so eight bytes
// are folded per step with eight independent lookups. The results equal the byte-wise
// definition exactly; the tables are built by the compiler.
using SliceTables = std::array<std::array<std::uint32_t, 256>, 8>;

constexpr SliceTables MakeTables() {
  SliceTables tables{};
  for (std::uint32_t i = 0; i < 256; ++i) {
    std::uint32_t value = i;
    for (int bit = 0; bit < 8; ++bit) value = (value >> 1) ^ ((value & 1) ? 0xEDB88320u : 0);
    tables[0][i] = value;
  }
  for (std::size_t k = 1; k < 8; ++k) {
    for (std::size_t i = 0; i < 256; ++i) {
      const std::uint32_t previous = tables[k - 1][i];
      tables[k][i] = (previous >> 8) ^ tables[0][previous & 0xFF];
    }
  }
  return tables;
}

constexpr SliceTables kTables = MakeTables();

std::uint32_t SlicedUpdate(std::uint32_t value, const unsigned char* p, std::size_t count) {
  for (; count >= 8; count -= 8, p += 8) {
    const std::uint32_t low = LoadLittle32(p) ^ value;
    const std::uint32_t high = LoadLittle32(p + 4);
    value = kTables[7][low & 0xFF] ^ kTables[6][(low >> 8) & 0xFF] ^
            kTables[5][(low >> 16) & 0xFF] ^ kTables[4][low >> 24] ^ kTables[3][high & 0xFF] ^
            kTables[2][(high >> 8) & 0xFF] ^ kTables[1][(high >> 16) & 0xFF] ^
            kTables[0][high >> 24];
  }
  for (; count > 0; --count, ++p) value = (value >> 8) ^ kTables[0][(value ^ *p) & 0xFF];
  return value;
}

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#define CORVALIN_HAS_FOLDING 1

// Folding with carry-less multiplication: four 128-bit lanes fold 64 bytes per step, then
// fold into one lane, and a Barrett reduction gives the 32-bit remainder. The constants are
// powers of x modulo the reflected polynomial, as in Intel's white paper on CRC with
// PCLMULQDQ; the result is the same register value the tables give.
#define CORVALIN_FOLDING __attribute__((target("pclmul,sse4.1")))

CORVALIN_FOLDING inline __m128i Load(const unsigned char* at) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
}

// One lane moved 128 bits (or 512 with the wider constants) further and the next data added.
CORVALIN_FOLDING inline __m128i Fold(__m128i x, __m128i constants, __m128i next) {
  const __m128i low = _mm_clmulepi64_si128(x, constants, 0x00);
  const __m128i high = _mm_clmulepi64_si128(x, constants, 0x11);
  return _mm_xor_si128(_mm_xor_si128(low, high), next);
}

CORVALIN_FOLDING std::uint32_t FoldedUpdate(std::uint32_t value, const unsigned char* p,
                                            std::size_t count) {
  __m128i x1 = _mm_xor_si128(Load(p), _mm_cvtsi32_si128(static_cast<int>(value)));
  __m128i x2 = Load(p + 16), x3 = Load(p + 32), x4 = Load(p + 48);
  p += 64;
  count -= 64;
  const __m128i r2r1 = _mm_set_epi64x(0x00000001c6e41596LL, 0x0000000154442bd4LL);
  for (; count >= 64; count -= 64, p += 64) {
    x1 = Fold(x1, r2r1, Load(p));
    x2 = Fold(x2, r2r1, Load(p + 16));
    x3 = Fold(x3, r2r1, Load(p + 32));
    x4 = Fold(x4, r2r1, Load(p + 48));
  }
  const __m128i r4r3 = _mm_set_epi64x(0x00000000ccaa009eLL, 0x00000001751997d0LL);
  x1 = Fold(x1, r4r3, x2);
  x1 = Fold(x1, r4r3, x3);
  x1 = Fold(x1, r4r3, x4);
  for (; count >= 16; count -= 16, p += 16) x1 = Fold(x1, r4r3, Load(p));

  // 128 bits to 64, then to 32 with Barrett reduction.
  x1 = _mm_xor_si128(_mm_clmulepi64_si128(r4r3, x1, 0x01), _mm_srli_si128(x1, 8));
  const __m128i mask32 = _mm_set_epi32(0, 0, 0, -1);
  const __m128i r5 = _mm_set_epi64x(0, 0x0000000163cd6124LL);
  x1 = _mm_xor_si128(_mm_clmulepi64_si128(_mm_and_si128(x1, mask32), r5, 0x00),
                     _mm_srli_si128(x1, 4));
  const __m128i poly = _mm_set_epi64x(0x00000001f7011641LL, 0x00000001db710641LL);
  __m128i t = _mm_clmulepi64_si128(_mm_and_si128(x1, mask32), poly, 0x10);
  t = _mm_clmulepi64_si128(_mm_and_si128(t, mask32), poly, 0x00);
  value = static_cast<std::uint32_t>(_mm_extract_epi32(_mm_xor_si128(x1, t), 1));
  return SlicedUpdate(value, p, count);
}

bool HasFolding() {
  __builtin_cpu_init();
  return __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1");
}
#endif

}  // namespace

void CCrc32Dynamic::Update(const void* data, std::size_t count) {
  const auto* p = static_cast<const unsigned char*>(data);
#ifdef CORVALIN_HAS_FOLDING
  static const bool folding = HasFolding();
  if (folding && count >= 64) {
    value_ = FoldedUpdate(value_, p, count);
    return;
  }
#endif
  value_ = SlicedUpdate(value_, p, count);
}

namespace {

// Polynomials over GF(2) modulo the CRC's, in its reflected order: x^0 is the top bit.
std::uint32_t MultiplyModulo(std::uint32_t a, std::uint32_t b) {
  std::uint32_t product = 0;
  for (std::uint32_t bit = 1u << 31; bit != 0; bit >>= 1) {
    if ((a & bit) != 0) product ^= b;
    b = (b & 1) != 0 ? (b >> 1) ^ 0xEDB88320u : b >> 1;
  }
  return product;
}

// x^(8 * bytes): what appending that many bytes multiplies a checksum by.
std::uint32_t ShiftOver(std::uint64_t bytes) {
  std::uint32_t shift = 1u << 31;                                   // x^0
  for (std::uint32_t square = 1u << 23; bytes != 0; bytes >>= 1) {  // x^8, x^16, x^32, ...
    if ((bytes & 1) != 0) shift = MultiplyModulo(square, shift);
    square = MultiplyModulo(square, square);
  }
  return shift;
}

}  // namespace

// Computed here, not by zlib: its 64-bit combination is declared only where the platform has
// 64-bit file offsets (not for mingw), and its other one takes a long, 32 bits on Windows.
std::uint32_t CombineChecksums(std::uint32_t first, std::uint32_t second,
                               std::uint64_t second_length) {
  // The initial and final complements cancel out: the whole is the first moved past the
  // second's bytes, plus the second.
  return MultiplyModulo(ShiftOver(second_length), first) ^ second;
}

}  // namespace corvalin
