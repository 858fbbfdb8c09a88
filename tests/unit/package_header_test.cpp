#include "package/package_header.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace quillon {
namespace {

PackageHeader RoundTrip(const PackageHeader& header) {
  uint8_t raw[kPackageHeaderSize];
  FormatPackageHeader(header, raw);
  EXPECT_EQ(0, std::memcmp(raw, "QLX", 3));
  EXPECT_TRUE(HasPackageMagic(raw));
  return ParsePackageHeader(raw);
}

TEST(PackageHeader, DataStartOfTheWorkedExample) {
  PackageHeader header;
  header.titleLength = 34;
  header.infLength = 14;
  header.licenceInfoLength = 39;
  header.infoLength = 248;
  header.licenceLength = 6970;
  EXPECT_EQ(43167, ComputeDataStart(RoundTrip(header)));
}

TEST(PackageHeader, FieldsAtTheirOffsets) {
  const uint8_t raw[22] = {'Q', 'L',  'X',  7, 34, 14, 2, 39,   0xF8, 0,    0,
                           0,   0x3A, 0x1B, 0, 0,  0,  9, 0x78, 0x56, 0x34, 0x12};
  const PackageHeader header = ParsePackageHeader(raw);
  EXPECT_TRUE(header.waitForFinish);  // any nonzero byte counts as set
  EXPECT_EQ(34, header.titleLength);
  EXPECT_EQ(14, header.infLength);
  EXPECT_TRUE(header.adminRequired);
  EXPECT_EQ(39, header.licenceInfoLength);
  EXPECT_EQ(248, header.infoLength);
  EXPECT_EQ(6970, header.licenceLength);
  EXPECT_FALSE(header.hideInfoButton);
  EXPECT_TRUE(header.multiPart);
  EXPECT_EQ(0x12345678, header.totalSize);
}

TEST(PackageHeader, DataStartNeverWrapsOrGoesBackwards) {
  struct Case {
    int32_t infoLength;
    int32_t licenceLength;
    int32_t expected;
  };
  const Case cases[] = {
      {0, 0, 35862},
      {-100, 0, 35862},  // a negative length is no text, not a step back
      {0, -35862, 35862},
      {INT32_MAX, 0, -1},  // the sum does not fit a file position
      {INT32_MAX - 35862, 0, INT32_MAX},
      {INT32_MAX / 2 + 1, INT32_MAX / 2 + 1, -1},
  };
  for (const Case& c : cases) {
    PackageHeader header;
    header.infoLength = c.infoLength;
    header.licenceLength = c.licenceLength;
    EXPECT_EQ(c.expected, ComputeDataStart(header)) << c.infoLength << " " << c.licenceLength;
  }
}

TEST(Scrambler, FirstByteStaysAndKeystreamHasHighBitSet) {
  std::string zeros(300, '\0');
  DescrambleText(reinterpret_cast<uint8_t*>(zeros.data()), static_cast<int32_t>(zeros.size()));
  EXPECT_EQ(0, zeros[0]);
  for (size_t i = 1; i < zeros.size(); ++i) EXPECT_GE(static_cast<uint8_t>(zeros[i]), 0x80) << i;
}

TEST(Scrambler, KnownKeystreamAndInverse) {
  // s1 = 417 * 134775813 + 1 mod 2^32 = 0x15DF0C26; s1 >> 25 = 0x0A, so byte 1 is XORed with 0x8A.
  uint8_t text[] = {'A', 0, 0};
  DescrambleText(text, 3);
  EXPECT_EQ('A', text[0]);
  EXPECT_EQ(0x8A, text[1]);
  const std::string plain = "The licence text, scrambled and back again.";
  std::string work = plain;
  DescrambleText(reinterpret_cast<uint8_t*>(work.data()), static_cast<int32_t>(work.size()));
  EXPECT_NE(plain, work);
  DescrambleText(reinterpret_cast<uint8_t*>(work.data()), static_cast<int32_t>(work.size()));
  EXPECT_EQ(plain, work);
}

TEST(Scrambler, BuiltInPrefixDescramblesToReadableText) {
  LicenceInfoPrefix prefix = ScrambledLicenceInfoPrefix();
  const std::string stored(prefix.bytes, sizeof prefix.bytes);
  EXPECT_EQ(std::string::npos, stored.find("Quillon"));  // not readable in the image
  DescrambleText(prefix.bytes, kLicenceInfoPrefixLength);
  const std::string plain(prefix.bytes, sizeof prefix.bytes);
  EXPECT_EQ(62u, plain.size());
  EXPECT_NE(std::string::npos, plain.find("Quillon"));
  EXPECT_EQ("\r\n\r\n", plain.substr(58));
}

TEST(Scrambler, LengthsZeroAndOneChangeNothing) {
  uint8_t one[] = {'x', 'y'};
  DescrambleText(one, 0);
  DescrambleText(one, 1);
  EXPECT_EQ('x', one[0]);
  EXPECT_EQ('y', one[1]);
}

}  // namespace
}  // namespace quillon
