#include "fs/path.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "test_support.h"

namespace quillon {
namespace {

using test::IsLeadByte932;

// Shift-JIS characters whose second byte is "\" or "|", and three without.
#define SO "\x83\x5C"   // ソ
#define HYO "\x95\x5C"  // 表
#define PO "\x83\x7C"   // ポ
#define FU "\x83\x74"   // フ
#define TO "\x83\x67"   // ト
#define CHO "\x81\x5B"  // ー

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
    EXPECT_FALSE(IsDirectoryName(cut.data(), IsLeadByte932)) << c.text;
    EXPECT_FALSE(EndsWithBackslash(cut.data(), IsLeadByte932)) << c.text;
    EXPECT_TRUE(IsSafeEntryName(cut.data(), IsLeadByte932)) << c.text;
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

TEST(Path, LeadingSeparatorsAreSkippedUnlessTheyNameAServer) {
  struct Case {
    const char* name;
    const char* skipped;
    bool safe;
  };
  const Case cases[] = {
      {"/etc/passwd", "etc/passwd", true},
      {"\\Windows\\system.ini", "Windows\\system.ini", true},
      {"///a.txt", "a.txt", true},
      {"/\\/sub/", "sub/", true},
      {"a/b", "a/b", true},
      {"/", "", false},
      {"\\\\", "", false},
      {"//../x", "//../x", false},
      {"\\\\server\\share\\x", "\\\\server\\share\\x", false},
      {"//server/share/x", "//server/share/x", false},
      {"\\\\.\\COM1", "\\\\.\\COM1", false},
      {"/C:\\x", "C:\\x", false},
      {"/../x", "../x", false},
  };
  for (const Case& c : cases) {
    const char* skipped = SkipLeadingSeparators(c.name);
    EXPECT_STREQ(c.skipped, skipped) << c.name;
    EXPECT_EQ(c.safe, IsSafeEntryName(skipped, NoLeadBytes)) << c.name;
  }
}

TEST(Path, EntryNamesThatStayInsideTheWorkDirectory) {
  struct Case {
    LeadByteTest isLead;
    const char* name;
    bool safe;
  };
  const Case cases[] = {
      {NoLeadBytes, "setup.inf", true},
      {NoLeadBytes, "sub/dir/file.txt", true},
      {NoLeadBytes, "sub\\file.txt", true},
      {NoLeadBytes, "sub/", true},
      {NoLeadBytes, "..data", true},
      {NoLeadBytes, "a..b/c", true},
      {NoLeadBytes, ".", true},
      {NoLeadBytes, "", false},
      {NoLeadBytes, "/etc/passwd", false},
      {NoLeadBytes, "\\Windows\\system.ini", false},
      {NoLeadBytes, "C:\\Windows\\win.ini", false},
      {NoLeadBytes, "C:relative", false},
      {NoLeadBytes, "..", false},
      {NoLeadBytes, "../escape.txt", false},
      {NoLeadBytes, "sub/../../escape.txt", false},
      {NoLeadBytes, "sub\\..\\x", false},
      {NoLeadBytes, "sub/..", false},
      {NoLeadBytes, "name:stream", false},
      {NoLeadBytes, "what?.txt", false},
      {NoLeadBytes, "star*.txt", false},
      {NoLeadBytes, "quote\".txt", false},
      {NoLeadBytes, "less<.txt", false},
      {NoLeadBytes, "more>.txt", false},
      {NoLeadBytes, "pipe|.txt", false},
      {NoLeadBytes, "tab\t.txt", false},
      {NoLeadBytes, "bell\x07.txt", false},
      {NoLeadBytes, "CON", false},
      {NoLeadBytes, "sub/nul.txt", false},
      {NoLeadBytes, "com1", false},
      {NoLeadBytes, "LPT9.log", false},
      {NoLeadBytes, "aux /x", false},
      {NoLeadBytes, "CONSOLE.txt", true},
      {NoLeadBytes, "com0", true},
      {NoLeadBytes, "lpt", true},
      // Code page 932: a second byte 0x5C or 0x7C is part of the character ...
      {IsLeadByte932, SO FU TO "/" PO CHO TO ".txt", true},
      {IsLeadByte932, HYO, true},
      {IsLeadByte932, PO ".txt", true},
      {IsLeadByte932, "sub\\" SO "\\" HYO "/", true},
      {IsLeadByte932, "CON" SO, true},
      // ... while real separators and forbidden characters still count.
      {IsLeadByte932, SO "/../../escape.txt", false},
      {IsLeadByte932, "..\\" SO, false},
      {IsLeadByte932, SO "\\..", false},
      {IsLeadByte932, PO "|.txt", false},
      {IsLeadByte932, HYO ":stream", false},
      {IsLeadByte932, "C:" SO, false},
      {IsLeadByte932, SO "/con.txt", false},
      {IsLeadByte932, "/" SO, false},
      // The same bytes in code page 1252: "|" after 0x83.
      {NoLeadBytes, PO ".txt", false},
  };
  for (const Case& c : cases) EXPECT_EQ(c.safe, IsSafeEntryName(c.name, c.isLead)) << c.name;
}

TEST(Path, DirectoryNamesEndWithASeparatorCharacter) {
  EXPECT_TRUE(IsDirectoryName("sub/", NoLeadBytes));
  EXPECT_TRUE(IsDirectoryName("sub\\", NoLeadBytes));
  EXPECT_FALSE(IsDirectoryName("sub", NoLeadBytes));
  EXPECT_FALSE(IsDirectoryName("", NoLeadBytes));
  EXPECT_TRUE(IsDirectoryName(SO "/", IsLeadByte932));
  EXPECT_FALSE(IsDirectoryName("sub/" HYO, IsLeadByte932));  // a file named 表
  EXPECT_TRUE(IsDirectoryName("sub/" HYO, NoLeadBytes));
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
