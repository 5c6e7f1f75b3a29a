#include "providers/rijndael.h"

#include <array>
#include <cstring>

#include "support/little_endian.h"
#include "support/secret_memory.h"

namespace corvalin::rijndael {
namespace {

constexpr std::uint8_t Times2(std::uint8_t x) {
  return static_cast<std::uint8_t>((x << 1) ^ ((x & 0x80) ? 0x1B : 0));
}

constexpr std::uint8_t Multiply(std::uint8_t a, std::uint8_t b) {
  std::uint8_t product = 0;
  while (b != 0) {
    if (b & 1) product ^= a;
    a = Times2(a);
    b >>= 1;
  }
  return product;
}

constexpr std::uint8_t RotateByte(std::uint8_t x, int n) {
  return static_cast<std::uint8_t>((x << n) | (x >> (8 - n)));
}

// Walks the multiplicative group by its generator 3: p runs through every non-zero byte while q
// is its inverse, so each entry costs a few steps. (Searching each byte's inverse by trial
// takes millions of steps, past what Clang evaluates in a constant expression.)
constexpr std::array<std::uint8_t, 256> MakeSbox() {
  std::array<std::uint8_t, 256> box{};
  box[0] = 0x63;  // 0 has no inverse and stands for itself
  std::uint8_t p = 1, q = 1;
  do {
    p = static_cast<std::uint8_t>(p ^ Times2(p));  // p * 3
    // q / 3, so that q stays the inverse of p
    q = static_cast<std::uint8_t>(q ^ (q << 1));
    q = static_cast<std::uint8_t>(q ^ (q << 2));
    q = static_cast<std::uint8_t>(q ^ (q << 4));
    if (q & 0x80) q ^= 0x09;
    box[p] = static_cast<std::uint8_t>(q ^ RotateByte(q, 1) ^ RotateByte(q, 2) ^ RotateByte(q, 3) ^
                                       RotateByte(q, 4) ^ 0x63);
  } while (p != 1);
  return box;
}

constexpr std::array<std::uint8_t, 256> Invert(const std::array<std::uint8_t, 256>& box) {
  std::array<std::uint8_t, 256> inverse{};
  for (int x = 0; x < 256; ++x) inverse[box[x]] = static_cast<std::uint8_t>(x);
  return inverse;
}

constexpr std::uint32_t Column(std::uint8_t r0, std::uint8_t r1, std::uint8_t r2, std::uint8_t r3) {
  return r0 | (std::uint32_t{r1} << 8) | (std::uint32_t{r2} << 16) | (std::uint32_t{r3} << 24);
}

constexpr std::uint32_t RotateLeft(std::uint32_t x, int n) {
  return n == 0 ? x : (x << n) | (x >> (32 - n));
}

using Tables = std::array<std::array<std::uint32_t, 256>, 4>;

// Table k of a round: the column a byte of row k contributes after SubBytes and MixColumns
// (or their inverses), already rotated into place.
constexpr Tables MakeTables(const std::array<std::uint8_t, 256>& box, std::uint8_t m0,
                            std::uint8_t m1, std::uint8_t m2, std::uint8_t m3) {
  Tables tables{};
  for (int x = 0; x < 256; ++x) {
    const std::uint8_t s = box[x];
    const std::uint32_t base =
        Column(Multiply(s, m0), Multiply(s, m1), Multiply(s, m2), Multiply(s, m3));
    for (int k = 0; k < 4; ++k) tables[k][x] = RotateLeft(base, 8 * k);
  }
  return tables;
}

constexpr std::array<std::uint8_t, 256> kSbox = MakeSbox();
constexpr std::array<std::uint8_t, 256> kInverseSbox = Invert(kSbox);
constexpr Tables kEncryptTables = MakeTables(kSbox, 2, 1, 1, 3);
constexpr Tables kDecryptTables = MakeTables(kInverseSbox, 14, 9, 13, 11);

// Row shifts depend on the block: rows 1..3 move by 1, 2, 3 columns for 4 and 6 columns, by
// 1, 3, 4 for 8 columns.
constexpr int Shift(int columns, int row) {
  if (columns == 8) return row == 0 ? 0 : (row == 1 ? 1 : row + 1);
  return row;
}

std::uint8_t Byte(std::uint32_t v, int row) {
  return static_cast<std::uint8_t>(v >> (8 * row));
}

std::uint32_t SubWord(std::uint32_t v) {
  return Column(kSbox[Byte(v, 0)], kSbox[Byte(v, 1)], kSbox[Byte(v, 2)], kSbox[Byte(v, 3)]);
}

std::uint32_t InverseMixColumn(std::uint32_t v) {
  return kDecryptTables[0][kSbox[Byte(v, 0)]] ^ kDecryptTables[1][kSbox[Byte(v, 1)]] ^
         kDecryptTables[2][kSbox[Byte(v, 2)]] ^ kDecryptTables[3][kSbox[Byte(v, 3)]];
}

template <int Nb>
void EncryptColumns(const Schedule& ks, const unsigned char* in, unsigned char* out) {
  std::uint32_t s[Nb], t[Nb];
  const std::uint32_t* rk = ks.words;
  for (int c = 0; c < Nb; ++c) s[c] = LoadLittle32(in + 4 * c) ^ rk[c];
  constexpr int c1 = Shift(Nb, 1), c2 = Shift(Nb, 2), c3 = Shift(Nb, 3);
  const std::uint32_t rounds = ks.rounds < 14 ? ks.rounds : 14;
  for (std::uint32_t round = 1; round < rounds; ++round) {
    rk += Nb;
    for (int c = 0; c < Nb; ++c) {
      t[c] = kEncryptTables[0][Byte(s[c], 0)] ^ kEncryptTables[1][Byte(s[(c + c1) % Nb], 1)] ^
             kEncryptTables[2][Byte(s[(c + c2) % Nb], 2)] ^
             kEncryptTables[3][Byte(s[(c + c3) % Nb], 3)] ^ rk[c];
    }
    std::memcpy(s, t, sizeof s);
  }
  rk += Nb;
  for (int c = 0; c < Nb; ++c) {
    const std::uint32_t v =
        Column(kSbox[Byte(s[c], 0)], kSbox[Byte(s[(c + c1) % Nb], 1)],
               kSbox[Byte(s[(c + c2) % Nb], 2)], kSbox[Byte(s[(c + c3) % Nb], 3)]);
    StoreLittle32(v ^ rk[c], out + 4 * c);
  }
}

template <int Nb>
void DecryptColumns(const Schedule& ks, const unsigned char* in, unsigned char* out) {
  std::uint32_t s[Nb], t[Nb];
  const std::uint32_t* rk = ks.words;
  for (int c = 0; c < Nb; ++c) s[c] = LoadLittle32(in + 4 * c) ^ rk[c];
  constexpr int c1 = Nb - Shift(Nb, 1), c2 = Nb - Shift(Nb, 2), c3 = Nb - Shift(Nb, 3);
  const std::uint32_t rounds = ks.rounds < 14 ? ks.rounds : 14;
  for (std::uint32_t round = 1; round < rounds; ++round) {
    rk += Nb;
    for (int c = 0; c < Nb; ++c) {
      t[c] = kDecryptTables[0][Byte(s[c], 0)] ^ kDecryptTables[1][Byte(s[(c + c1) % Nb], 1)] ^
             kDecryptTables[2][Byte(s[(c + c2) % Nb], 2)] ^
             kDecryptTables[3][Byte(s[(c + c3) % Nb], 3)] ^ rk[c];
    }
    std::memcpy(s, t, sizeof s);
  }
  rk += Nb;
  for (int c = 0; c < Nb; ++c) {
    const std::uint32_t v =
        Column(kInverseSbox[Byte(s[c], 0)], kInverseSbox[Byte(s[(c + c1) % Nb], 1)],
               kInverseSbox[Byte(s[(c + c2) % Nb], 2)], kInverseSbox[Byte(s[(c + c3) % Nb], 3)]);
    StoreLittle32(v ^ rk[c], out + 4 * c);
  }
}

}  // namespace

void ExpandEncryptionKey(int columns, const unsigned char* key, int key_length, Schedule& out) {
  const int nk = key_length / 4;
  const int rounds = (nk > columns ? nk : columns) + 6;
  const int total = columns * (rounds + 1);
  out.rounds = static_cast<std::uint32_t>(rounds);
  out.columns = static_cast<std::uint32_t>(columns);
  for (int i = 0; i < nk; ++i) out.words[i] = LoadLittle32(key + 4 * i);
  std::uint8_t rcon = 1;
  for (int i = nk; i < total; ++i) {
    std::uint32_t temp = out.words[i - 1];
    if (i % nk == 0) {
      temp = SubWord(RotateLeft(temp, 24)) ^ rcon;
      rcon = Times2(rcon);
    } else if (nk > 6 && i % nk == 4) {
      temp = SubWord(temp);
    }
    out.words[i] = out.words[i - nk] ^ temp;
  }
}

// The equivalent inverse cipher: round keys in reverse order, the inner ones passed through
// InvMixColumns so that decryption rounds have the same shape as encryption rounds.
void ExpandDecryptionKey(int columns, const unsigned char* key, int key_length, Schedule& out) {
  Schedule forward{};
  ExpandEncryptionKey(columns, key, key_length, forward);
  out.rounds = forward.rounds;
  out.columns = forward.columns;
  const int rounds = static_cast<int>(forward.rounds);
  for (int round = 0; round <= rounds; ++round) {
    for (int c = 0; c < columns; ++c) {
      const std::uint32_t w = forward.words[(rounds - round) * columns + c];
      const bool inner = round != 0 && round != rounds;
      out.words[round * columns + c] = inner ? InverseMixColumn(w) : w;
    }
  }
  WipeMemory(&forward, sizeof forward);
}

void EncryptBlock(int columns, const Schedule& schedule, const unsigned char* in,
                  unsigned char* out) {
  switch (columns) {
    case 4:
      EncryptColumns<4>(schedule, in, out);
      break;
    case 6:
      EncryptColumns<6>(schedule, in, out);
      break;
    default:
      EncryptColumns<8>(schedule, in, out);
      break;
  }
}

void DecryptBlock(int columns, const Schedule& schedule, const unsigned char* in,
                  unsigned char* out) {
  switch (columns) {
    case 4:
      DecryptColumns<4>(schedule, in, out);
      break;
    case 6:
      DecryptColumns<6>(schedule, in, out);
      break;
    default:
      DecryptColumns<8>(schedule, in, out);
      break;
  }
}

}  // namespace corvalin::rijndael
