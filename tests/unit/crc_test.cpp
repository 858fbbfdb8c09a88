#include "base/crc.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <random>
#include <vector>

#include "test_support.h"

namespace quillon {
namespace {

TEST(Crc, CheckValue) {
  const char* text = "123456789";
  uint32_t crc = 0xFFFFFFFFu;
  UpdateCrc(reinterpret_cast<const uint8_t*>(text), 9, crc);
  EXPECT_EQ(0xCBF43926u, crc ^ 0xFFFFFFFFu);
}

TEST(Crc, StepAndBlockAgreeWithZlibAtEveryLengthAndSplit) {
  std::mt19937 random(7);
  std::vector<uint8_t> data(1000);
  for (auto& b : data) b = static_cast<uint8_t>(random());
  for (size_t length = 0; length <= 40; ++length) {
    for (size_t split = 0; split <= length; split += 3) {
      uint32_t block = 0xFFFFFFFFu;
      UpdateCrc(data.data() + 1, static_cast<int32_t>(split), block);  // odd start: unaligned loads
      UpdateCrc(data.data() + 1 + split, static_cast<int32_t>(length - split), block);
      uint32_t step = 0xFFFFFFFFu;
      for (size_t i = 0; i < length; ++i) step = CrcStep(data[1 + i], step);
      const auto expected = static_cast<uint32_t>(crc32(0, data.data() + 1, static_cast<uInt>(length)));
      EXPECT_EQ(expected, block ^ 0xFFFFFFFFu) << length << "/" << split;
      EXPECT_EQ(expected, step ^ 0xFFFFFFFFu) << length;
    }
  }
}

// The folding path takes buffers of 64 bytes and more; the table path the
// rest, and everything where the processor lacks carry-less multiplication.
TEST(Crc, BothPathsAgreeWithZlibAcrossTheFoldingSizes) {
  if (!ProcessorHasCarrylessMultiply()) GTEST_SKIP() << "no carry-less multiplication on this processor";
  std::mt19937 random(11);
  std::vector<uint8_t> data(40000);
  for (auto& b : data) b = static_cast<uint8_t>(random());
  const CrcTable* const saved = crcTable;
  CrcTable table{};
  BuildCrcTable(&table);
  crcTable = &table;
  std::vector<size_t> lengths;
  for (size_t length = 0; length <= 200; ++length) lengths.push_back(length);
  for (size_t length : {255, 256, 511, 512, 513, 1000, 4095, 32767, 32768, 32769, 39999}) lengths.push_back(length);
  for (size_t length : lengths) {
    for (size_t start : {0, 1, 7}) {
      if (start + length > data.size()) continue;
      const auto expected = static_cast<uint32_t>(crc32(0x12345678u, data.data() + start, static_cast<uInt>(length)));
      for (bool carryless : {false, true}) {
        table.carryless = carryless;
        uint32_t crc = 0x12345678u ^ 0xFFFFFFFFu;
        UpdateCrc(data.data() + start, static_cast<int32_t>(length), crc);
        EXPECT_EQ(expected, crc ^ 0xFFFFFFFFu) << length << " from " << start << (carryless ? ", folded" : "");
      }
    }
  }
  crcTable = saved;
}

TEST(Crc, CountOfZeroOrBelowLeavesTheRegister) {
  uint32_t crc = 0x12345678u;
  UpdateCrc(nullptr, 0, crc);
  UpdateCrc(nullptr, -5, crc);
  EXPECT_EQ(0x12345678u, crc);
}

}  // namespace
}  // namespace quillon
