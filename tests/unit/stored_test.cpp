#include "inflate/stored.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <vector>

#include "crypt/zip_crypt.h"
#include "test_support.h"

namespace quillon {
namespace {

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
    test::MemorySource source(package);
    source.maxRead = c.maxRead;
    test::MemorySink sink;
    EntryTransfer transfer;
    transfer.package = &source;
    transfer.output = &sink;
    transfer.dataRemaining = static_cast<int32_t>(c.size);
    CopyStoredEntry(transfer);
    EXPECT_EQ(data, sink.bytes) << c.size;
    EXPECT_EQ(c.writes, sink.writeSizes) << c.size;
    EXPECT_EQ(ZlibCrc(data), transfer.entryCrc ^ 0xFFFFFFFFu) << c.size;
    EXPECT_EQ(0, transfer.dataRemaining);
    EXPECT_EQ(c.size, source.position());
    EXPECT_FALSE(transfer.ioFailed);
  }
}

TEST(StoredCopy, PackageEndingEarlyStopsTheCopy) {
  test::MemorySource source(Pattern(100));
  test::MemorySink sink;
  EntryTransfer transfer;
  transfer.package = &source;
  transfer.output = &sink;
  transfer.dataRemaining = 5000;
  CopyStoredEntry(transfer);
  EXPECT_EQ(100u, sink.bytes.size());
  EXPECT_EQ(0, transfer.dataRemaining);
}

TEST(StoredCopy, ShortWriteSetsIoFailedAndTheCrcCoversOnlyWhatWasWritten) {
  const std::vector<uint8_t> data = Pattern(70000);
  test::MemorySource source(data);
  test::MemorySink sink;
  sink.capacity = 40000;
  EntryTransfer transfer;
  transfer.package = &source;
  transfer.output = &sink;
  transfer.dataRemaining = 70000;
  CopyStoredEntry(transfer);
  EXPECT_TRUE(transfer.ioFailed);
  EXPECT_EQ(ZlibCrc(std::vector<uint8_t>(data.begin(), data.begin() + 40000)), transfer.entryCrc ^ 0xFFFFFFFFu);
  EXPECT_NE(ZlibCrc(data), transfer.entryCrc ^ 0xFFFFFFFFu);
}

// Encrypts like a ZIP tool: the keys take each plain byte.
std::vector<uint8_t> Encrypt(const char* password, const std::vector<uint8_t>& plain) {
  ZipKeys keys;
  InitKeys(keys, password, static_cast<int32_t>(std::strlen(password)));
  std::vector<uint8_t> cipher;
  for (uint8_t p : plain) {
    cipher.push_back(static_cast<uint8_t>(p ^ DecryptByte(keys)));
    UpdateKeys(keys, p);
  }
  return cipher;
}

TEST(StoredCopy, EncryptedDataDecryptsAcrossReadsOfAnySize) {
  const std::vector<uint8_t> data = Pattern(70000);
  std::vector<uint8_t> header(12, 0x5A);
  header[11] = static_cast<uint8_t>(ZlibCrc(data) >> 24);
  std::vector<uint8_t> plain = header;
  plain.insert(plain.end(), data.begin(), data.end());
  const std::vector<uint8_t> cipher = Encrypt("secret", plain);

  for (int32_t maxRead : {0, 1000, 7}) {
    test::MemorySource source(std::vector<uint8_t>(cipher.begin() + 12, cipher.end()));
    source.maxRead = maxRead;
    uint8_t buffer[24] = {};
    std::memcpy(buffer + 12, cipher.data(), 12);
    EntryTransfer transfer;
    ASSERT_TRUE(VerifyPassword(transfer.keys, buffer, 12, 0, ZlibCrc(data), 0, "secret", 6));
    test::MemorySink sink;
    transfer.package = &source;
    transfer.output = &sink;
    transfer.flags = kFlagEncrypted;
    transfer.dataRemaining = 70000;
    CopyStoredEntry(transfer);
    EXPECT_EQ(data, sink.bytes) << maxRead;
    EXPECT_EQ(ZlibCrc(data), transfer.entryCrc ^ 0xFFFFFFFFu) << maxRead;
  }
}

}  // namespace
}  // namespace quillon
