#include "package/entry_stream.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "test_support.h"

namespace quillon {
namespace {

using Bytes = std::vector<uint8_t>;
using test::Put16;
using test::Put32;

struct Entry {
  std::string name;
  std::string data;
  uint32_t signature = kLocalHeaderSignature;
  std::string extra;
  int descriptors = 0;
};

Bytes Stream(const std::vector<Entry>& entries, const std::string& ending) {
  Bytes out;
  for (const Entry& e : entries) {
    Put32(out, e.signature);
    Put16(out, 20);
    Put16(out, e.descriptors > 0 ? 8 : 0);
    Put16(out, 0);
    Put16(out, 0x6000);
    Put16(out, 0x5A21);
    Put32(out, 0x11223344);
    Put32(out, static_cast<uint32_t>(e.data.size()));
    Put32(out, static_cast<uint32_t>(e.data.size()));
    Put16(out, static_cast<uint32_t>(e.name.size()));
    Put16(out, static_cast<uint32_t>(e.extra.size()));
    out.insert(out.end(), e.name.begin(), e.name.end());
    out.insert(out.end(), e.extra.begin(), e.extra.end());
    out.insert(out.end(), e.data.begin(), e.data.end());
    for (int i = 0; i < e.descriptors; ++i) {
      Put32(out, kDataDescriptorSignature);
      Put32(out, 0x11223344);
      Put32(out, static_cast<uint32_t>(e.data.size()));
      Put32(out, static_cast<uint32_t>(e.data.size()));
    }
  }
  out.insert(out.end(), ending.begin(), ending.end());
  return out;
}

struct Walked {
  std::string name;
  std::string data;
};

// Walks the stream the way the extraction loop does.
std::vector<Walked> Walk(const Bytes& bytes) {
  test::MemorySource source(bytes);
  EntryStream stream(source);
  std::vector<Walked> walked;
  stream.SeekPackage(0);
  while (stream.ReadEntryHeader()) {
    const int32_t entryStart = stream.lastSeekPosition;
    char name[256] = {};
    const int32_t nameLength = stream.entryHeader.nameLength < 256 ? stream.entryHeader.nameLength : 0;
    static_cast<void>(source.Read(name, nameLength));
    stream.SeekPackage(stream.DataPosition(entryStart));
    std::string data(static_cast<size_t>(stream.entryHeader.compressedSize), '\0');
    static_cast<void>(source.Read(data.data(), stream.entryHeader.compressedSize));
    walked.push_back({std::string(name, strnlen(name, static_cast<size_t>(nameLength))), data});
    stream.SeekPackage(stream.NextEntryPosition(entryStart));
  }
  return walked;
}

std::string Names(const std::vector<Walked>& walked) {
  std::string names;
  for (const Walked& w : walked) names += (names.empty() ? "" : ",") + w.name + "=" + w.data;
  return names;
}

Bytes Cut(Bytes bytes, size_t size) {
  bytes.resize(size);
  return bytes;
}

TEST(EntryStream, Walks) {
  const std::string centralDirectory("PK\x01\x02 rest of a central directory");
  const std::string endRecord("PK\x05\x06\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0", 22);
  struct Case {
    const char* label;
    Bytes stream;
    const char* expected;
  };
  const Case cases[] = {
      {"two entries and the end marker", Stream({{"a.txt", "one"}, {"b.txt", "two"}}, "RSF\x01"),
       "a.txt=one,b.txt=two"},
      {"a central directory ends the stream", Stream({{"a", "1"}}, centralDirectory), "a=1"},
      {"an end record ends the stream", Stream({{"a", "1"}}, endRecord), "a=1"},
      {"end of the file ends the stream", Stream({{"a", "1"}}, ""), "a=1"},
      {"data descriptor behind the data", Stream({{"a", "1", kLocalHeaderSignature, "", 1}, {"b", "2"}}, "RSF!"),
       "a=1,b=2"},
      {"two descriptors in a row", Stream({{"a", "1", kLocalHeaderSignature, "", 2}, {"b", "2"}}, ""), "a=1,b=2"},
      {"descriptor as the last thing in the file", Stream({{"a", "1", kLocalHeaderSignature, "", 1}}, ""), "a=1"},
      {"legacy signature", Stream({{"a", "1", kLegacyHeaderSignature}}, "RSF!"), "a=1"},
      {"extra field skipped", Stream({{"a", "data", kLocalHeaderSignature, "EXTRA"}}, ""), "a=data"},
      {"name with a NUL ends there", Stream({{std::string("ab\0cd", 5), "x"}}, ""), "ab=x"},
      {"no entries at all", Stream({}, "RSF!"), ""},
      {"unknown signature first", Stream({{"a", "1", 0x04034B51}}, ""), ""},
      {"header cut short by the end of the file", Cut(Stream({{"a", "1"}}, ""), 20), ""},
  };
  for (const Case& c : cases) EXPECT_EQ(c.expected, Names(Walk(c.stream))) << c.label;
}

TEST(EntryStream, HeaderFields) {
  const Bytes bytes = Stream({{"name", "data"}}, "");
  test::MemorySource source(bytes);
  EntryStream stream(source);
  stream.SeekPackage(0);
  ASSERT_TRUE(stream.ReadEntryHeader());
  const EntryHeader& h = stream.entryHeader;
  EXPECT_EQ(0u, h.flags);
  EXPECT_EQ(0u, h.method);
  EXPECT_EQ(0x6000u, h.modTime);
  EXPECT_EQ(0x5A21u, h.modDate);
  EXPECT_EQ(0x11223344u, h.crc32);
  EXPECT_EQ(4, h.compressedSize);
  EXPECT_EQ(4u, h.nameLength);
  EXPECT_EQ(34, stream.DataPosition(0));
  EXPECT_EQ(38, stream.NextEntryPosition(0));
}

TEST(EntryStream, PositionsNeverWrapOrGoBackwards) {
  Bytes bytes = Stream({{"n", ""}}, "");
  bytes[18] = 0xF0;  // compressed size 0xF00000F0: "negative" as a signed field
  bytes[21] = 0xF0;
  test::MemorySource source(bytes);
  EntryStream stream(source);
  stream.SeekPackage(0);
  ASSERT_TRUE(stream.ReadEntryHeader());
  EXPECT_EQ(-1, stream.NextEntryPosition(0));  // beyond any package, not before this entry
  EXPECT_EQ(-1, stream.NextEntryPosition(INT32_MAX - 10));
  stream.SeekPackage(-1);
  EXPECT_EQ(-1, stream.lastSeekPosition);
  EXPECT_FALSE(stream.ReadEntryHeader());
}

}  // namespace
}  // namespace quillon
