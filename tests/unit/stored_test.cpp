#include "inflate/stored.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <vector>

#include "inflate_test_support.h"

namespace quillon {
namespace {

using test::Conditions;
using test::Decoded;

Decoded Copy(const std::vector<uint8_t>& package, const Conditions& c) {
  return test::RunDecoder(CopyStoredEntry, package, c);
}

std::vector<uint8_t> Pattern(size_t size) {
  std::vector<uint8_t> data(size);
  for (size_t i = 0; i < size; ++i) data[i] = static_cast<uint8_t>(i * 7 + i / 251);
  return data;
}

uint32_t ZlibCrc(const std::vector<uint8_t>& data) {
  return static_cast<uint32_t>(crc32(0, data.data(), static_cast<uInt>(data.size())));
}

struct CopyCase {
  size_t size;
  int32_t maxRead;  // 0: whole blocks
  std::vector<int32_t> writes;
};

TEST(StoredCopy, BlocksOf32768AndShortReads) {
  const CopyCase cases[] = {
      {0, 0, {}},
      {1, 0, {1}},
      {32768, 0, {32768}},
      {32769, 0, {32768, 1}},
      {100000, 0, {32768, 32768, 32768, 1696}},
      {10000, 4000, {4000, 4000, 2000}},  // short reads: what came is written, then the rest is asked for
  };
  for (const CopyCase& c : cases) {
    const std::vector<uint8_t> data = Pattern(c.size);
    std::vector<uint8_t> package = data;
    package.insert(package.end(), {'P', 'K', 3, 4});  // the next entry must not be read
    const Decoded expected{.bytes = data, .writes = c.writes, .crc = ZlibCrc(data), .consumed = c.size};
    EXPECT_EQ(expected, Copy(package, {.maxRead = c.maxRead, .dataSize = static_cast<int32_t>(c.size)})) << c.size;
  }
}

TEST(StoredCopy, PackageEndingEarlyStopsTheCopy) {
  const Decoded d = Copy(Pattern(100), {.dataSize = 5000});
  EXPECT_EQ(Pattern(100), d.bytes);
  EXPECT_EQ(0, d.dataRemaining);
}

TEST(StoredCopy, ShortWriteSetsIoFailedAndTheCrcCoversOnlyWhatWasWritten) {
  const std::vector<uint8_t> data = Pattern(70000);
  const Decoded d = Copy(data, {.capacity = 40000});
  EXPECT_TRUE(d.ioFailed);
  EXPECT_EQ(ZlibCrc(std::vector<uint8_t>(data.begin(), data.begin() + 40000)), d.crc);
  EXPECT_NE(ZlibCrc(data), d.crc);
}

TEST(StoredCopy, EncryptedDataDecryptsAcrossReadsOfAnySize) {
  const std::vector<uint8_t> data = Pattern(70000);
  for (int32_t maxRead : {0, 1000, 7}) {
    const Decoded d = Copy(test::Encrypt(data, "secret"), {.maxRead = maxRead, .password = "secret"});
    EXPECT_EQ(data, d.bytes) << maxRead;
    EXPECT_EQ(ZlibCrc(data), d.crc) << maxRead;
  }
}

}  // namespace
}  // namespace quillon
