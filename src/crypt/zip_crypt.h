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

constexpr int32_t kEncryptionHeaderSize = 12;
constexpr int32_t kPasswordBufferSize = 80;  // a typed password: 79 characters and a NUL

// Whether password fits an entry. header holds 24 bytes: the 12 encrypted
// header bytes as read from the package in bytes 12 to 23, which are never
// changed, and room for their decryption in bytes 0 to 11, so one buffer can
// be tried with one password after another. The check byte is compared with
// the high byte of time when bit 3 of flags is set, else with the top byte of
// crc. An empty password fits nothing and leaves the keys alone; after a fit
// the keys stand at the entry's first data byte.
[[nodiscard]] bool VerifyPassword(ZipKeys& keys, uint8_t* header, uint8_t length, uint16_t flags, uint32_t crc,
                                  uint16_t time, const char* password, int32_t passwordLength);

}  // namespace quillon
