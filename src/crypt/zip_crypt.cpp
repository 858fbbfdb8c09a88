#include "crypt/zip_crypt.h"

#include "base/crc.h"
#include "base/zip_format.h"

namespace quillon {

void InitKeys(ZipKeys& keys, const char* password, int32_t length) {
  keys.key0 = 0x12345678u;
  keys.key1 = 0x23456789u;
  keys.key2 = 0x34567890u;
  for (int32_t i = 0; i < length; ++i) UpdateKeys(keys, static_cast<uint8_t>(password[i]));
}

void UpdateKeys(ZipKeys& keys, uint8_t c) {
  keys.key0 = CrcStep(c, keys.key0);
  keys.key1 = (keys.key1 + (keys.key0 & 0xFFu)) * 134775813u + 1u;
  keys.key2 = CrcStep(static_cast<uint8_t>(keys.key1 >> 24), keys.key2);
}

uint8_t DecryptByte(const ZipKeys& keys) {
  const uint32_t t = (keys.key2 & 0xFFFFu) | 2u;
  return static_cast<uint8_t>((t * (t ^ 1u)) >> 8);
}

void DecryptBuffer(ZipKeys& keys, uint8_t* data, int32_t count) {
  for (int32_t i = 0; i < count; ++i) {
    data[i] = static_cast<uint8_t>(data[i] ^ DecryptByte(keys));
    UpdateKeys(keys, data[i]);
  }
}

bool VerifyPassword(ZipKeys& keys, uint8_t* header, uint8_t length, uint16_t flags, uint32_t crc, uint16_t time,
                    const char* password, int32_t passwordLength) {
  if (passwordLength <= 0 || length == 0) return false;
  InitKeys(keys, password, passwordLength);
  for (uint8_t i = 0; i < length; ++i) {
    header[i] = static_cast<uint8_t>(header[length + i] ^ DecryptByte(keys));
    UpdateKeys(keys, header[i]);
  }
  const uint8_t check = header[length - 1];
  return (flags & kFlagDataDescriptor) != 0 ? check == (time >> 8) : check == (crc >> 24);
}

}  // namespace quillon
