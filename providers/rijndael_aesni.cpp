// Rijndael on AES-NI for every block size. AESENC works on four columns with AES's own row
// shifts; for six and eight columns the bytes are first moved with byte shuffles so that
// AESENC's shift lands them where Rijndael's wider shift would, after which SubBytes and
// MixColumns (which act per byte and per column) give the wide round exactly.
#include "providers/implementation.h"

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))

#include <immintrin.h>

#include <array>
#include <cstdint>

#define CORVALIN_AESNI __attribute__((target("aes,sse4.1")))

namespace corvalin::rijndael {
namespace {

constexpr int Shift(int columns, int row) {
  if (columns == 8) return row == 0 ? 0 : (row == 1 ? 1 : row + 1);
  return row;
}

// Shuffle controls that gather, for each 4-column half h of the state, the bytes AESENC (or
// AESDEC) must see so that its own row shift yields the wide one: half h takes from the first
// half with from[h][0] and from the second with from[h][1]; 0x80 takes nothing.
struct Shuffles {
  std::array<std::array<std::array<std::uint8_t, 16>, 2>, 2> from{};
};

constexpr Shuffles MakeShuffles(int nb, bool decrypt) {
  Shuffles s{};
  for (int h = 0; h < 2; ++h) {
    for (int g = 0; g < 2; ++g) s.from[h][g].fill(0x80);
    for (int r = 0; r < 4; ++r) {
      for (int cp = 0; cp < 4; ++cp) {
        const int c = decrypt ? (cp + r) % 4 : (cp - r + 4) % 4;
        if (4 * h + c >= nb) continue;  // the unused columns of a six-column state
        const int col =
            decrypt ? (4 * h + c - Shift(nb, r) + nb) % nb : (4 * h + c + Shift(nb, r)) % nb;
        s.from[h][col / 4][4 * cp + r] = static_cast<std::uint8_t>(4 * (col % 4) + r);
      }
    }
  }
  return s;
}

template <int Nb, bool Decrypt>
constexpr Shuffles kShuffles = MakeShuffles(Nb, Decrypt);

template <int Nb>
struct State {
  __m128i a, b;  // columns 0-3 and 4-7 (4-5 for six columns; b unused for four)
};

template <int Nb>
CORVALIN_AESNI inline __m128i KeyA(const Schedule& s, std::uint32_t round) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(s.words + Nb * round));
}

template <int Nb>
CORVALIN_AESNI inline __m128i KeyB(const Schedule& s, std::uint32_t round) {
  const auto* at = reinterpret_cast<const __m128i*>(s.words + Nb * round + 4);
  return Nb == 8 ? _mm_loadu_si128(at) : _mm_loadl_epi64(at);
}

template <int Nb>
CORVALIN_AESNI inline State<Nb> Load(const unsigned char* p) {
  State<Nb> st;
  st.a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  if constexpr (Nb == 8) st.b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16));
  if constexpr (Nb == 6) st.b = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p + 16));
  if constexpr (Nb == 4) st.b = _mm_setzero_si128();
  return st;
}

template <int Nb>
CORVALIN_AESNI inline void Store(const State<Nb>& st, unsigned char* p) {
  _mm_storeu_si128(reinterpret_cast<__m128i*>(p), st.a);
  if constexpr (Nb == 8) _mm_storeu_si128(reinterpret_cast<__m128i*>(p + 16), st.b);
  if constexpr (Nb == 6) _mm_storel_epi64(reinterpret_cast<__m128i*>(p + 16), st.b);
}

template <int Nb, bool Decrypt>
CORVALIN_AESNI inline void Permute(State<Nb>& st) {
  if constexpr (Nb != 4) {
    constexpr const Shuffles& s = kShuffles<Nb, Decrypt>;
    const auto control = [](const std::array<std::uint8_t, 16>& bytes) {
      return _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes.data()));
    };
    const __m128i a = _mm_or_si128(_mm_shuffle_epi8(st.a, control(s.from[0][0])),
                                   _mm_shuffle_epi8(st.b, control(s.from[0][1])));
    const __m128i b = _mm_or_si128(_mm_shuffle_epi8(st.a, control(s.from[1][0])),
                                   _mm_shuffle_epi8(st.b, control(s.from[1][1])));
    st.a = a;
    st.b = b;
  }
}

template <int Nb>
CORVALIN_AESNI inline void AddKey(State<Nb>& st, const Schedule& s, std::uint32_t round) {
  st.a = _mm_xor_si128(st.a, KeyA<Nb>(s, round));
  if constexpr (Nb != 4) st.b = _mm_xor_si128(st.b, KeyB<Nb>(s, round));
}

template <int Nb, bool Decrypt, bool Last>
CORVALIN_AESNI inline void Round(State<Nb>& st, const Schedule& s, std::uint32_t round) {
  Permute<Nb, Decrypt>(st);
  const __m128i ka = KeyA<Nb>(s, round);
  if constexpr (Decrypt) {
    st.a = Last ? _mm_aesdeclast_si128(st.a, ka) : _mm_aesdec_si128(st.a, ka);
  } else {
    st.a = Last ? _mm_aesenclast_si128(st.a, ka) : _mm_aesenc_si128(st.a, ka);
  }
  if constexpr (Nb != 4) {
    const __m128i kb = KeyB<Nb>(s, round);
    if constexpr (Decrypt) {
      st.b = Last ? _mm_aesdeclast_si128(st.b, kb) : _mm_aesdec_si128(st.b, kb);
    } else {
      st.b = Last ? _mm_aesenclast_si128(st.b, kb) : _mm_aesenc_si128(st.b, kb);
    }
  }
}

std::uint32_t Rounds(const Schedule& s) {
  return s.rounds < 14 ? s.rounds : 14;
}

// Runs G blocks side by side: the rounds of independent blocks overlap in the pipeline.
template <int Nb, bool Decrypt, int G>
CORVALIN_AESNI inline void Group(const Schedule& s, const unsigned char* in, unsigned char* out) {
  State<Nb> st[G];
  for (int g = 0; g < G; ++g) {
    st[g] = Load<Nb>(in + 4 * Nb * g);
    AddKey<Nb>(st[g], s, 0);
  }
  const std::uint32_t rounds = Rounds(s);
  for (std::uint32_t r = 1; r < rounds; ++r) {
    for (int g = 0; g < G; ++g) Round<Nb, Decrypt, false>(st[g], s, r);
  }
  for (int g = 0; g < G; ++g) {
    Round<Nb, Decrypt, true>(st[g], s, rounds);
    Store<Nb>(st[g], out + 4 * Nb * g);
  }
}

template <int Nb>
CORVALIN_AESNI void EncryptOne(const Schedule& s, const unsigned char* in, unsigned char* out) {
  Group<Nb, false, 1>(s, in, out);
}

template <int Nb>
CORVALIN_AESNI void DecryptOne(const Schedule& s, const unsigned char* in, unsigned char* out) {
  Group<Nb, true, 1>(s, in, out);
}

template <int Nb, bool Decrypt>
CORVALIN_AESNI void Many(const Schedule& s, const unsigned char* in, unsigned char* out,
                         std::size_t blocks) {
  constexpr int kGroup = Nb == 4 ? 8 : 4;
  constexpr std::size_t kBytes = 4 * Nb;
  std::size_t i = 0;
  for (; i + kGroup <= blocks; i += kGroup) {
    Group<Nb, Decrypt, kGroup>(s, in + i * kBytes, out + i * kBytes);
  }
  for (; i < blocks; ++i) Group<Nb, Decrypt, 1>(s, in + i * kBytes, out + i * kBytes);
}

template <int Nb>
CORVALIN_AESNI State<Nb> Xor(const State<Nb>& x, const State<Nb>& y) {
  return {_mm_xor_si128(x.a, y.a), _mm_xor_si128(x.b, y.b)};
}

template <int Nb>
CORVALIN_AESNI State<Nb> EncryptState(const Schedule& s, State<Nb> st) {
  AddKey<Nb>(st, s, 0);
  const std::uint32_t rounds = Rounds(s);
  for (std::uint32_t r = 1; r < rounds; ++r) Round<Nb, false, false>(st, s, r);
  Round<Nb, false, true>(st, s, rounds);
  return st;
}

// CBC and CFB encryption chain every block to the one before: one block at a time, the
// chaining block kept in registers.
template <int Nb>
CORVALIN_AESNI void CbcEncrypt(const Schedule& s, const unsigned char* in, unsigned char* out,
                               std::size_t blocks, unsigned char* chain) {
  State<Nb> feedback = Load<Nb>(chain);
  for (std::size_t i = 0; i < blocks; ++i, in += 4 * Nb, out += 4 * Nb) {
    feedback = EncryptState<Nb>(s, Xor<Nb>(feedback, Load<Nb>(in)));
    Store<Nb>(feedback, out);
  }
  Store<Nb>(feedback, chain);
}

template <int Nb>
CORVALIN_AESNI void CfbEncrypt(const Schedule& s, const unsigned char* in, unsigned char* out,
                               std::size_t blocks, unsigned char* chain) {
  State<Nb> feedback = Load<Nb>(chain);
  for (std::size_t i = 0; i < blocks; ++i, in += 4 * Nb, out += 4 * Nb) {
    feedback = Xor<Nb>(EncryptState<Nb>(s, feedback), Load<Nb>(in));
    Store<Nb>(feedback, out);
  }
  Store<Nb>(feedback, chain);
}

template <int Nb>
constexpr Implementation kAesni = {EncryptOne<Nb>, DecryptOne<Nb>, Many<Nb, false>,
                                   Many<Nb, true>, CbcEncrypt<Nb>, CfbEncrypt<Nb>};

bool HasAesni() {
  __builtin_cpu_init();
  return __builtin_cpu_supports("aes") && __builtin_cpu_supports("sse4.1");
}

}  // namespace

const Implementation* Accelerated(int columns) {
  static const bool available = HasAesni();
  if (!available) return nullptr;
  if (columns == 4) return &kAesni<4>;
  if (columns == 6) return &kAesni<6>;
  return &kAesni<8>;
}

}  // namespace corvalin::rijndael

#else

namespace corvalin::rijndael {
const Implementation* Accelerated(int) {
  return nullptr;
}
}  // namespace corvalin::rijndael

#endif
