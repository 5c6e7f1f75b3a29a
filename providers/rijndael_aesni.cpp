// Rijndael on AES-NI for every block size. AESENC works on four columns with AES's own row
// shifts; for six and eight columns the bytes are first moved so that AESENC's shift lands
// them where Rijndael's wider shift would, after which SubBytes and MixColumns (which act per
// byte and per column) give the wide round exactly. Two builds: byte shuffles (SSSE3), and the
// AVX-512 VBMI two-source permute, one instruction shorter on every round of the serial modes.
#include "providers/implementation.h"

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))

#define CORVALIN_AESNI __attribute__((target("aes,sse4.1")))
#define CORVALIN_AESNI_VBMI 0
#define CORVALIN_AESNI_NAME shuffles
#include "providers/rijndael_aesni.inc"
#undef CORVALIN_AESNI
#undef CORVALIN_AESNI_VBMI
#undef CORVALIN_AESNI_NAME

#define CORVALIN_AESNI __attribute__((target("aes,sse4.1,avx512f,avx512vbmi,avx512vl")))
#define CORVALIN_AESNI_VBMI 1
#define CORVALIN_AESNI_NAME permutes
#include "providers/rijndael_aesni.inc"

namespace corvalin::rijndael {
namespace {

enum class Accel { kNone, kShuffles, kPermutes };

Accel Detect() {
  __builtin_cpu_init();
  if (!__builtin_cpu_supports("aes") || !__builtin_cpu_supports("sse4.1")) return Accel::kNone;
  if (__builtin_cpu_supports("avx512vbmi") && __builtin_cpu_supports("avx512vl")) {
    return Accel::kPermutes;
  }
  return Accel::kShuffles;
}

}  // namespace

const Implementation* Accelerated(int columns) {
  static const Accel available = Detect();
  switch (available) {
    case Accel::kPermutes:
      return permutes::ForColumns(columns);
    case Accel::kShuffles:
      return shuffles::ForColumns(columns);
    case Accel::kNone:
      break;
  }
  return nullptr;
}

const Implementation* AcceleratedWithShuffles(int columns) {
  return Accelerated(columns) == nullptr ? nullptr : shuffles::ForColumns(columns);
}

}  // namespace corvalin::rijndael

#else

namespace corvalin::rijndael {
const Implementation* Accelerated(int) {
  return nullptr;
}
const Implementation* AcceleratedWithShuffles(int) {
  return nullptr;
}
}  // namespace corvalin::rijndael

#endif
