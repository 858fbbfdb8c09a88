// The CRC-32 of long buffers, where UpdateCrc runs two stretches side by side
// and joins their registers: every length and start around the stretch pairs
// must give zlib's CRC, whatever the register coming in.
#include <gtest/gtest.h>
#include <zlib.h>

#include <random>
#include <vector>

#include "base/crc.h"

namespace quillon {
namespace {

TEST(UpdateCrc, LongBuffersAgreeWithZlibAtEveryLengthAndStart) {
  std::mt19937 random(32);
  std::vector<uint8_t> data(4 * kCrcStretch + 64);
  for (auto& b : data) b = static_cast<uint8_t>(random());
  for (int32_t length = 2 * kCrcStretch - 9; length <= 4 * kCrcStretch + 9; ++length) {
    const int32_t start = length % 7;
    const uint32_t before = static_cast<uint32_t>(crc32(0, data.data(), static_cast<uInt>(start)));
    uint32_t crc = before ^ 0xFFFFFFFFu;
    UpdateCrc(data.data() + start, length, crc);
    const auto expected = static_cast<uint32_t>(crc32(before, data.data() + start, static_cast<uInt>(length)));
    ASSERT_EQ(expected, crc ^ 0xFFFFFFFFu) << "length " << length;
  }
}

}  // namespace
}  // namespace quillon
