#include "inflate/crc.h"

namespace quillon {

const CrcTable* crcTable = nullptr;

void BuildCrcTable(CrcTable* table) {
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

[[gnu::always_inline]] inline uint32_t LoadLittle32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
         static_cast<uint32_t>(p[3]) << 24;
}

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

}  // namespace

// One register's chain of lookups is the limit, so long buffers run as pairs
// of stretches, the second from a zero register: its register is what the
// pair adds to the first's, once that is advanced over the second stretch.
#if defined(__GNUC__) && !defined(__clang__)
__attribute__((optimize("O2")))
#endif
void UpdateCrc(const uint8_t* data, int32_t count, uint32_t& crc) {
  if (count <= 0) return;
  const CrcTable& table = *crcTable;
  uint32_t c = crc;
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
