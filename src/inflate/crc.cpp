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
}

namespace {

uint32_t LoadLittle32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
         static_cast<uint32_t>(p[3]) << 24;
}

}  // namespace

void UpdateCrc(const uint8_t* data, int32_t count, uint32_t& crc) {
  if (count <= 0) return;
  const auto& t = crcTable->rows;
  uint32_t c = crc;
  while (count >= 8) {
    const uint32_t low = c ^ LoadLittle32(data);
    const uint32_t high = LoadLittle32(data + 4);
    c = t[7][low & 0xFFu] ^ t[6][(low >> 8) & 0xFFu] ^ t[5][(low >> 16) & 0xFFu] ^ t[4][low >> 24] ^
        t[3][high & 0xFFu] ^ t[2][(high >> 8) & 0xFFu] ^ t[1][(high >> 16) & 0xFFu] ^ t[0][high >> 24];
    data += 8;
    count -= 8;
  }
  while (count-- > 0) c = t[0][(c ^ *data++) & 0xFFu] ^ (c >> 8);
  crc = c;
}

}  // namespace quillon
