// Traditional PKWARE encryption: the three-key state, its update and the
// keystream byte. The key update runs on CrcStep, so the CRC table must exist.
#pragma once

#include <cstdint>

namespace quillon {

struct ZipKeys {
  uint32_t key0;
  uint32_t key1;
  uint32_t key2;
};

void InitKeys(ZipKeys& keys, const char* password, int32_t length);
void UpdateKeys(ZipKeys& keys, uint8_t c);
[[nodiscard]] uint8_t DecryptByte(const ZipKeys& keys);

// Decrypts count bytes in place, in order: each byte is XORed with the
// keystream and the keys then take the plain byte.
void DecryptBuffer(ZipKeys& keys, uint8_t* data, int32_t count);

}  // namespace quillon
