#include "package/package_integrity.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "base/little_endian.h"
#include "base/zip_format.h"
#include "test_support.h"

namespace quillon {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes EndRecord(uint16_t commentLength) {
  Bytes record(kEndRecordSize, 0);
  StoreLittle32(record.data(), kEndRecordSignature);
  record[kEndRecordCommentLengthField] = static_cast<uint8_t>(commentLength);
  record[kEndRecordCommentLengthField + 1] = static_cast<uint8_t>(commentLength >> 8);
  return record;
}

// body, then the pieces in order.
Bytes Package(size_t bodySize, std::initializer_list<Bytes> pieces) {
  Bytes bytes(bodySize, 0x41);
  for (const Bytes& piece : pieces) bytes.insert(bytes.end(), piece.begin(), piece.end());
  return bytes;
}

TEST(PackageIntegrity, EndsThatPassAndFail) {
  const Bytes trailer = {'R', 'S', 'F', 0};
  struct Case {
    std::string label;
    Bytes package;
    bool passes;
  };
  const Case cases[] = {
      {"trailer", Package(100, {trailer}), true},
      {"trailer, any fourth byte", Package(100, {{'R', 'S', 'F', 'X'}}), true},
      {"trailer in lower case", Package(100, {{'r', 's', 'f', 0}}), false},
      {"end record, no comment", Package(100, {EndRecord(0)}), true},
      {"end record and its comment", Package(100, {EndRecord(5), Bytes(5, 'c')}), true},
      {"comment reaching past the end", Package(100, {EndRecord(500), Bytes(5, 'c')}), true},
      {"largest comment", Package(100, {EndRecord(0xFFFF), Bytes(0xFFFF, 'c')}), true},
      {"record ends before the end", Package(100, {EndRecord(0), Bytes(1, 0)}), false},
      {"comment ends before the end", Package(100, {EndRecord(3), Bytes(4, 'c')}), false},
      {"a later record reaches the end", Package(100, {EndRecord(0), EndRecord(0)}), true},
      {"largest comment, one byte short of the end", Package(100, {EndRecord(0xFFFF), Bytes(0xFFFF + 1, 'c')}), false},
      {"cut in the entry stream", Package(70000, {{0x50, 0x4B, 0x03, 0x04, 1, 2, 3}}), false},
      {"record only, the whole file", EndRecord(0), false},  // no larger than the record: nothing to scan
      {"record behind one byte", Package(1, {EndRecord(0)}), true},
      {"empty file", Bytes(), false},
      {"shorter than a trailer", Bytes{'R', 'S'}, false},
  };
  for (const Case& c : cases) {
    test::MemorySource source(c.package);
    EXPECT_EQ(c.passes, CheckPackageIntegrity(source, 0)) << c.label;
  }
}

// Where the check found the end, for the packager, which reads the central
// directory from that end record.
TEST(PackageIntegrity, WhereTheEndIs) {
  struct Case {
    std::string label;
    Bytes package;
    PackageTail::Kind kind;
    int32_t position;
  };
  const Case cases[] = {
      {"trailer", Package(100, {{'R', 'S', 'F', 0}}), PackageTail::Kind::Trailer, 100},
      {"end record", Package(100, {EndRecord(0)}), PackageTail::Kind::EndRecord, 100},
      {"comment reaching past the end", Package(100, {EndRecord(500), Bytes(5, 'c')}), PackageTail::Kind::EndRecord,
       100},
      // The first record that reaches the end, not one that happens to stand
      // in what follows it (a signature appended behind a reserve).
      {"two that reach", Package(100, {EndRecord(100), EndRecord(0)}), PackageTail::Kind::EndRecord, 100},
      {"none", Package(100, {EndRecord(0), Bytes(1, 0)}), PackageTail::Kind::Missing, -1},
  };
  for (const Case& c : cases) {
    test::MemorySource source(c.package);
    const PackageTail tail = FindPackageTail(source, 0);
    EXPECT_EQ(c.kind, tail.kind) << c.label;
    EXPECT_EQ(c.position, tail.position) << c.label;
  }
}

TEST(PackageIntegrity, ReadsThatDeliverLittleAtATime) {
  test::MemorySource source(Package(200000, {EndRecord(0)}));
  source.maxRead = 1000;
  EXPECT_TRUE(CheckPackageIntegrity(source, 0));
}

// The installer's own code holds the end record's signature (and the comment
// length after it can be anything): a package cut short behind a program
// image must not pass on the image's bytes.
TEST(PackageIntegrity, TheProgramImageIsNotScanned) {
  constexpr int32_t kImage = 35840;
  Bytes image(kImage, 0x90);
  const Bytes signature = EndRecord(0xFFFF);
  std::copy(signature.begin(), signature.end(), image.begin() + 30000);
  struct Case {
    std::string label;
    Bytes package;
    bool passes;
  };
  const Case cases[] = {
      {"cut inside the entry stream", Package(3000, {}), false},
      {"cut to its first byte", Package(1, {}), false},
      {"nothing behind the image", Bytes(), false},
      {"an end record", Package(3000, {EndRecord(0)}), true},
      {"a trailer", Package(3000, {{'R', 'S', 'F', 0}}), true},
  };
  for (const Case& c : cases) {
    Bytes file = image;
    file.insert(file.end(), c.package.begin(), c.package.end());
    test::MemorySource source(file);
    EXPECT_EQ(c.passes, CheckPackageIntegrity(source, kImage)) << c.label;
  }
  Bytes cut = image;
  cut.resize(kImage + 3000, 0x41);
  test::MemorySource whole(cut);
  EXPECT_TRUE(CheckPackageIntegrity(whole, 0)) << "the image's signature is in reach when scanned";
}

// A file that says it is larger than what can be read from it.
class ShortFile final : public PackageSource {
 public:
  int32_t Read(void* /*buffer*/, int32_t /*count*/) override { return 0; }
  int32_t Seek(int32_t distance, SeekMethod method) override {
    return method == SeekMethod::FromEnd ? kSize + distance : distance;
  }
  int32_t Size() override { return kSize; }
  static constexpr int32_t kSize = 5000;
};

TEST(PackageIntegrity, AnUnreadableTailFails) {
  ShortFile file;
  EXPECT_FALSE(CheckPackageIntegrity(file, 0));
}

}  // namespace
}  // namespace quillon
