#include "crypt/zip_crypt.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace quillon {
namespace {

// A 12-byte encryption header for password whose last plain byte is check,
// and the data behind it, encrypted as a ZIP tool would.
std::vector<uint8_t> EncryptedHeader(const char* password, uint8_t check, const std::vector<uint8_t>& data = {}) {
  std::vector<uint8_t> plain;
  for (int i = 0; i < 11; ++i) plain.push_back(static_cast<uint8_t>(0x30 + i));
  plain.push_back(check);
  plain.insert(plain.end(), data.begin(), data.end());
  ZipKeys keys;
  InitKeys(keys, password, static_cast<int32_t>(std::strlen(password)));
  std::vector<uint8_t> out;
  for (uint8_t p : plain) {
    out.push_back(static_cast<uint8_t>(p ^ DecryptByte(keys)));
    UpdateKeys(keys, p);
  }
  return out;
}

struct VerifyCase {
  const char* label;
  const char* password;
  uint16_t flags;
  uint32_t crc;
  uint16_t time;
  bool fits;
};

TEST(ZipCrypt, VerifyPassword) {
  const std::vector<uint8_t> header = EncryptedHeader("right", 0xAB);
  const VerifyCase cases[] = {
      {"right password, check byte from the CRC", "right", 0, 0xAB000000, 0x0000, true},
      {"wrong password", "wrong", 0, 0xAB000000, 0x0000, false},
      {"empty password", "", 0, 0xAB000000, 0x0000, false},
      {"bit 3: the time's high byte decides", "right", 8, 0x00000000, 0xAB00, true},
      {"bit 3: a matching CRC does not count", "right", 8, 0xAB000000, 0x0000, false},
      {"no bit 3: a matching time does not count", "right", 0, 0x00000000, 0xAB00, false},
  };
  for (const VerifyCase& c : cases) {
    uint8_t buffer[24] = {};
    std::memcpy(buffer + 12, header.data(), 12);
    ZipKeys keys{1, 2, 3};
    const bool fits = VerifyPassword(keys, buffer, 12, c.flags, c.crc, c.time, c.password,
                                     static_cast<int32_t>(std::strlen(c.password)));
    EXPECT_EQ(c.fits, fits) << c.label;
    EXPECT_EQ(0, std::memcmp(buffer + 12, header.data(), 12)) << c.label;  // the encrypted copy stays
  }
}

TEST(ZipCrypt, EmptyPasswordLeavesTheKeysAlone) {
  uint8_t buffer[24] = {};
  ZipKeys keys{1, 2, 3};
  EXPECT_FALSE(VerifyPassword(keys, buffer, 12, 0, 0, 0, "", 0));
  EXPECT_EQ(1u, keys.key0);
  EXPECT_EQ(2u, keys.key1);
  EXPECT_EQ(3u, keys.key2);
}

TEST(ZipCrypt, RetryOnTheSameBufferAfterAWrongPassword) {
  const std::vector<uint8_t> header = EncryptedHeader("second", 0x42);
  uint8_t buffer[24] = {};
  std::memcpy(buffer + 12, header.data(), 12);
  ZipKeys keys;
  EXPECT_FALSE(VerifyPassword(keys, buffer, 12, 0, 0x42000000, 0, "first", 5));
  EXPECT_TRUE(VerifyPassword(keys, buffer, 12, 0, 0x42000000, 0, "second", 6));
  EXPECT_EQ(0x42, buffer[11]);
}

TEST(ZipCrypt, AfterAFitTheKeysStandAtTheFirstDataByte) {
  const std::vector<uint8_t> data = {'d', 'a', 't', 'a', 0, 0xFF, 0x80, '!'};
  std::vector<uint8_t> entry = EncryptedHeader("secret", 0x5A, data);
  uint8_t buffer[24] = {};
  std::memcpy(buffer + 12, entry.data(), 12);
  ZipKeys keys{};
  ASSERT_TRUE(VerifyPassword(keys, buffer, 12, 0, 0x5A000000, 0, "secret", 6));
  DecryptBuffer(keys, entry.data() + 12, static_cast<int32_t>(data.size()));
  EXPECT_EQ(data, std::vector<uint8_t>(entry.begin() + 12, entry.end()));
}

TEST(ZipCrypt, KeystreamByteDoesNotAdvanceTheKeys) {
  ZipKeys keys;
  InitKeys(keys, "abc", 3);
  EXPECT_EQ(DecryptByte(keys), DecryptByte(keys));
  // Known initial state: the keys without a password.
  InitKeys(keys, "", 0);
  EXPECT_EQ(0x12345678u, keys.key0);
  EXPECT_EQ(0x23456789u, keys.key1);
  EXPECT_EQ(0x34567890u, keys.key2);
}

}  // namespace
}  // namespace quillon
