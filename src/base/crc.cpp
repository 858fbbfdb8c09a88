#include "base/crc.h"

#include <cstddef>

#include "base/little_endian.h"

#if defined(__i386__) || defined(__x86_64__)
#include <cpuid.h>
#include <emmintrin.h>
#include <wmmintrin.h>
#define QUILLON_CARRYLESS 1
#endif

namespace quillon {

constinit const CrcTable* crcTable = nullptr;

void BuildCrcTable(CrcTable* table) {
  // x^(n+32) and x^(n-32) mod P for n = 256 and 128: multiplying by x moves
  // a reflected register one bit down; shifted one bit into 64-bit lanes.
  for (size_t i = 0; i < 4; ++i) {
    uint32_t v = 0x80000000u;  // x^0
    for (size_t n = (i < 2 ? 256 : 128) + 32 - 64 * (i % 2); n > 0; --n) {
      v = (v & 1u) != 0 ? (v >> 1) ^ 0xEDB88320u : v >> 1;
    }
    table->fold[2 * i] = v << 1;
    table->fold[2 * i + 1] = v >> 31;
  }
  table->carryless = false;
  for (uint32_t n = 0; n < 256; ++n) {
    uint32_t value = n;
    for (int k = 0; k < 8; ++k) {
      value = (value & 1u) != 0 ? (value >> 1) ^ 0xEDB88320u : value >> 1;
    }
    table->rows[0][n] = value;
  }
  // Row k advances a byte that still has k zero bytes to pass through.
  for (uint32_t n = 0; n < 256; ++n) {
    for (int k = 1; k < 8; ++k) {
      const uint32_t previous = table->rows[k - 1][n];
      table->rows[k][n] = table->rows[0][previous & 0xFFu] ^ (previous >> 8);
    }
  }
  // Advancing over zero bytes is linear in the register: find where each of
  // its 32 bits goes, and the sum over the bits of a byte gives the entry.
  uint32_t bit[32];
  for (uint32_t i = 0; i < 32; ++i) {
    uint32_t value = 1u << i;
    for (int32_t k = 0; k < kCrcStretch; ++k) value = table->rows[0][value & 0xFFu] ^ (value >> 8);
    bit[i] = value;
  }
  for (uint32_t k = 0; k < 4; ++k) {
    for (uint32_t v = 0; v < 256; ++v) {
      uint32_t sum = 0;
      for (uint32_t j = 0; j < 8; ++j) sum ^= (v >> j & 1u) != 0 ? bit[8 * k + j] : 0;
      table->skip[k][v] = sum;
    }
  }
}

namespace {

// Eight CrcSteps at once. The second word's lookups do not wait for the
// register, and the sums are paired so the chain through c stays short.
[[gnu::always_inline]] inline uint32_t Fold8(const CrcTable& table, uint32_t c, const uint8_t* data) {
  const auto& t = table.rows;
  const uint32_t low = c ^ LoadLittle32(data);
  const uint32_t high = LoadLittle32(data + 4);
  const uint32_t later =
      (t[3][high & 0xFFu] ^ t[2][(high >> 8) & 0xFFu]) ^ (t[1][(high >> 16) & 0xFFu] ^ t[0][high >> 24]);
  return ((t[7][low & 0xFFu] ^ t[6][(low >> 8) & 0xFFu]) ^ (t[5][(low >> 16) & 0xFFu] ^ t[4][low >> 24])) ^ later;
}

#ifdef QUILLON_CARRYLESS
// The stack of a 32-bit Windows thread is only 4-byte aligned.
#define QUILLON_CARRYLESS_TARGET __attribute__((target("pclmul,sse2")))
#ifdef __i386__
#define QUILLON_CARRYLESS_ENTRY __attribute__((target("pclmul,sse2"), force_align_arg_pointer))
#else
#define QUILLON_CARRYLESS_ENTRY QUILLON_CARRYLESS_TARGET
#endif

[[gnu::always_inline]] QUILLON_CARRYLESS_TARGET inline __m128i Load128(const uint8_t* p) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

// x moved forwards by the distance of k and added to next.
[[gnu::always_inline]] QUILLON_CARRYLESS_TARGET inline __m128i Fold128(__m128i x, __m128i k, __m128i next) {
  return _mm_xor_si128(_mm_xor_si128(_mm_clmulepi64_si128(x, k, 0x00), _mm_clmulepi64_si128(x, k, 0x11)), next);
}

// Folds count bytes (a multiple of 16, at least 32) with the register into
// 16 bytes whose CRC from a zero register is the register after them: two
// 128-bit lanes run 32 bytes apart and are moved forwards by multiplying
// without carry with x^n mod P for the distance, then folded into one.
QUILLON_CARRYLESS_ENTRY void FoldCarryless(const CrcTable& table, uint32_t crc, const uint8_t* data, int32_t count,
                                           uint8_t* rest) {
  __m128i x0 = _mm_xor_si128(Load128(data), _mm_cvtsi32_si128(static_cast<int>(crc)));
  __m128i x1 = Load128(data + 16);
  const __m128i k256 = Load128(reinterpret_cast<const uint8_t*>(table.fold));
  for (data += 32, count -= 32; count >= 32; data += 32, count -= 32) {
    x0 = Fold128(x0, k256, Load128(data));
    x1 = Fold128(x1, k256, Load128(data + 16));
  }
  const __m128i k128 = Load128(reinterpret_cast<const uint8_t*>(table.fold + 4));
  for (x0 = Fold128(x0, k128, x1); count >= 16; data += 16, count -= 16) x0 = Fold128(x0, k128, Load128(data));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(rest), x0);
}
#endif

}  // namespace

bool ProcessorHasCarrylessMultiply() {
#ifdef QUILLON_CARRYLESS
  unsigned a = 0;
  unsigned b = 0;
  unsigned c = 0;
  unsigned d = 0;
  // __get_cpuid checks first that the processor has CPUID (a 486 may not).
  return __get_cpuid(1, &a, &b, &c, &d) != 0 && (c & bit_PCLMUL) != 0 && (d & bit_SSE2) != 0;
#else
  return false;
#endif
}

// One register's chain of lookups is the limit, so long buffers run as pairs
// of stretches, the second from a zero register: its register is what the
// pair adds to the first's, once that is advanced over the second stretch.
#if defined(__GNUC__) && !defined(__clang__)
__attribute__((optimize("O2", "no-align-loops", "no-align-jumps", "no-align-labels")))
#endif
void UpdateCrc(const uint8_t* data, int32_t count, uint32_t& crc) {
  if (count <= 0) return;
  const CrcTable& table = *crcTable;
  uint32_t c = crc;
#ifdef QUILLON_CARRYLESS
  if (table.carryless && count >= 32) {
    const int32_t folded = count & ~15;
    uint8_t rest[16];
    FoldCarryless(table, c, data, folded, rest);
    c = 0;
    UpdateCrc(rest, 16, c);
    data += folded;
    count -= folded;
  }
#endif
  constexpr int32_t kPair = 2 * kCrcStretch;
  while (count >= kPair) {
    uint32_t first = c;
    uint32_t second = 0;
    for (int32_t i = 0; i < kCrcStretch; i += 8) {
      first = Fold8(table, first, data + i);
      second = Fold8(table, second, data + kCrcStretch + i);
    }
    const auto& s = table.skip;
    c = (s[0][first & 0xFFu] ^ s[1][(first >> 8) & 0xFFu]) ^ (s[2][(first >> 16) & 0xFFu] ^ s[3][first >> 24]) ^ second;
    data += kPair;
    count -= kPair;
  }
  while (count >= 8) {
    c = Fold8(table, c, data);
    data += 8;
    count -= 8;
  }
  while (count-- > 0) c = table.rows[0][(c ^ *data++) & 0xFFu] ^ (c >> 8);
  crc = c;
}

}  // namespace quillon
