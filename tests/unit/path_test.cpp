#include "fs/path.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "shift_jis.h"
#include "test_support.h"

namespace quillon {
namespace {

using test::IsLeadByte932;

struct SplitCase {
  LeadByteTest isLead;
  const char* path;
  const char* directory;
  const char* name;
};

TEST(Path, DirectoryAndNameParts) {
  const SplitCase cases[] = {
      {NoLeadBytes, "C:\\dir\\file", "C:\\dir", "file"},
      {NoLeadBytes, "C:\\file", "C:\\", "file"},
      {NoLeadBytes, "C:file", "C:", "file"},
      {NoLeadBytes, "C:a", "C:a", "a"},  // three characters with a colon: a drive root, kept whole
      {NoLeadBytes, "C:\\", "C:\\", ""},
      {NoLeadBytes, "dir/sub/file", "dir/sub", "file"},
      {NoLeadBytes, "\\file", "", "file"},
      {NoLeadBytes, "file", "", "file"},
      {NoLeadBytes, "dir\\", "dir", ""},  // a path ending in a separator has no name part
      {NoLeadBytes, "a\\b/c", "a\\b", "c"},
      {NoLeadBytes, "", "", ""},
      // The second byte of a double-byte character never separates.
      {IsLeadByte932, "C:\\" SO FU TO "\\file", "C:\\" SO FU TO, "file"},
      {IsLeadByte932, "C:\\" SO FU TO, "C:\\", SO FU TO},
      {IsLeadByte932, "dir\\" SO, "dir", SO},
      {IsLeadByte932, HYO, "", HYO},
      {IsLeadByte932, HYO "\\", HYO, ""},
      {IsLeadByte932, "a/" PO, "a", PO},
      {IsLeadByte932, "C:" SO, "C:", SO},
      {IsLeadByte932, "C:\\dir\\", "C:\\dir", ""},
      {IsLeadByte932, "dir\\\x83", "dir", "\x83"},  // a character cut short by the end of the text
      // The same bytes in a single-byte code page: 0x5C is a backslash there.
      {NoLeadBytes, "dir\\" SO, "dir\\\x83", ""},
      {NoLeadBytes, HYO, "\x95", ""},
  };
  for (const SplitCase& c : cases) {
    EXPECT_STREQ(c.directory, DirectoryPart(c.path, c.isLead).c_str()) << c.path;
    EXPECT_STREQ(c.name, NamePart(c.path, c.isLead).c_str()) << c.path;
  }
}

TEST(Path, NamePartIsCutAt255BytesBeforeAWholeCharacter) {
  const std::string longName(300, 'n');
  EXPECT_EQ(255, NamePart(("C:\\" + longName).c_str(), NoLeadBytes).length());
  std::string fits = "n";
  for (int i = 0; i < 127; ++i) fits += SO;  // 255 bytes
  EXPECT_EQ(fits, NamePart(("C:\\" + fits).c_str(), IsLeadByte932).c_str());
  // One more byte in front: the last character no longer fits and goes whole.
  const std::string more = "n" + fits;
  EXPECT_EQ(more.substr(0, 254), NamePart(("C:\\" + more).c_str(), IsLeadByte932).c_str());
}

TEST(Path, BackslashesInPlace) {
  struct Case {
    LeadByteTest isLead;
    const char* in;
    const char* appended;
    const char* stripped;
  };
  const Case cases[] = {
      {NoLeadBytes, "C:\\TEMP", "C:\\TEMP\\", "C:\\TEMP"},
      {NoLeadBytes, "C:\\TEMP\\", "C:\\TEMP\\", "C:\\TEMP"},
      {NoLeadBytes, "C:\\TEMP\\\\", "C:\\TEMP\\\\", "C:\\TEMP\\"},  // one backslash only
      {NoLeadBytes, "", "", ""},
      {IsLeadByte932, "C:\\" HYO, "C:\\" HYO "\\", "C:\\" HYO},
      {IsLeadByte932, "C:\\" HYO "\\", "C:\\" HYO "\\", "C:\\" HYO},
      {IsLeadByte932, "C:\\" SO FU TO, "C:\\" SO FU TO "\\", "C:\\" SO FU TO},
      {NoLeadBytes, "C:\\" HYO, "C:\\" HYO, "C:\\\x95"},
  };
  for (const Case& c : cases) {
    char buffer[32] = {};
    std::strcpy(buffer, c.in);
    EXPECT_TRUE(AppendBackslash(buffer, sizeof buffer, c.isLead));
    EXPECT_STREQ(c.appended, buffer) << c.in;
    std::strcpy(buffer, c.in);
    StripBackslash(buffer, c.isLead);
    EXPECT_STREQ(c.stripped, buffer) << c.in;
  }
}

TEST(Path, AppendBackslashNeverOverflows) {
  char buffer[5] = "abcd";  // full: four characters and the NUL
  EXPECT_FALSE(AppendBackslash(buffer, sizeof buffer, NoLeadBytes));
  EXPECT_STREQ("abcd", buffer);
  char roomy[6] = "abcd";
  EXPECT_TRUE(AppendBackslash(roomy, sizeof roomy, NoLeadBytes));
  EXPECT_STREQ("abcd\\", roomy);
}

TEST(Path, ToBackslashes) {
  char plain[] = "a/b/c.txt";
  ToBackslashes(plain, NoLeadBytes);
  EXPECT_STREQ("a\\b\\c.txt", plain);
  char japanese[] = SO FU TO "/" PO "/" HYO;
  ToBackslashes(japanese, IsLeadByte932);
  EXPECT_STREQ(SO FU TO "\\" PO "\\" HYO, japanese);
}

// A text that ends in a lead byte, in a buffer that ends with its NUL, so a
// scan that went on past the NUL would be caught by the sanitizers.
std::vector<char> CutText(const char* text) {
  return std::vector<char>(text, text + std::strlen(text) + 1);
}

TEST(Path, ACharacterCutByTheEndIsOneByte) {
  struct Case {
    const char* text;
    const char* name;
    const char* converted;
  };
  const Case cases[] = {
      {"\x83", "\x83", "\x83"},
      {"a/\x83", "\x83", "a\\\x83"},
      {"dir\\\x95", "\x95", "dir\\\x95"},
  };
  for (const Case& c : cases) {
    std::vector<char> cut = CutText(c.text);
    EXPECT_STREQ(c.name, NamePart(cut.data(), IsLeadByte932).c_str()) << c.text;
    EXPECT_FALSE(EndsWithBackslash(cut.data(), IsLeadByte932)) << c.text;
    ToBackslashes(cut.data(), IsLeadByte932);
    StripBackslash(cut.data(), IsLeadByte932);
    EXPECT_STREQ(c.converted, cut.data()) << c.text;
  }
}

TEST(Path, TextFromBufferStopsAtNulOrLength) {
  const char bytes[] = {'a', 'b', '\0', 'c', 'd'};
  EXPECT_STREQ("ab", TextFromBuffer(bytes, 5).c_str());
  EXPECT_STREQ("a", TextFromBuffer(bytes, 1).c_str());
  EXPECT_STREQ("", TextFromBuffer(bytes, 0).c_str());
  const char leadingNul[] = {'\0', 'x'};
  EXPECT_STREQ("", TextFromBuffer(leadingNul, 2).c_str());
}

TEST(FixedText, OverflowIsRememberedAndNothingIsWrittenPastTheEnd) {
  FixedText<8> text("abc");
  text.Append("defg");
  EXPECT_FALSE(text.overflowed());
  EXPECT_STREQ("abcdefg", text.c_str());
  text.Append("h");
  EXPECT_TRUE(text.overflowed());
  EXPECT_STREQ("abcdefg", text.c_str());
  EXPECT_EQ(7, text.length());
}

}  // namespace
}  // namespace quillon
