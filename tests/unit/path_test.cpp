#include "fs/path.h"

#include <gtest/gtest.h>

#include <string>

namespace quillon {
namespace {

struct SplitCase {
  const char* path;
  const char* directory;
  const char* name;
};

TEST(Path, DirectoryAndNameParts) {
  const SplitCase cases[] = {
      {"C:\\dir\\file", "C:\\dir", "file"},
      {"C:\\file", "C:\\", "file"},
      {"C:file", "C:", "file"},
      {"C:a", "C:a", "a"},  // three characters with a colon: a drive root, kept whole
      {"C:\\", "C:\\", ""},
      {"dir/sub/file", "dir/sub", "file"},
      {"\\file", "", "file"},
      {"file", "", "file"},
      {"dir\\", "dir", ""},  // a path ending in a separator has no name part
      {"a\\b/c", "a\\b", "c"},
      {"", "", ""},
  };
  for (const SplitCase& c : cases) {
    EXPECT_STREQ(c.directory, DirectoryPart(c.path).c_str()) << c.path;
    EXPECT_STREQ(c.name, NamePart(c.path).c_str()) << c.path;
  }
}

TEST(Path, NamePartIsCutAt255) {
  const std::string longName(300, 'n');
  EXPECT_EQ(255, NamePart(("C:\\" + longName).c_str()).length());
}

TEST(Path, BackslashesInPlace) {
  struct Case {
    const char* in;
    const char* appended;
    const char* stripped;
  };
  const Case cases[] = {
      {"C:\\TEMP", "C:\\TEMP\\", "C:\\TEMP"},
      {"C:\\TEMP\\", "C:\\TEMP\\", "C:\\TEMP"},
      {"C:\\TEMP\\\\", "C:\\TEMP\\\\", "C:\\TEMP\\"},  // one backslash only
      {"", "", ""},
  };
  for (const Case& c : cases) {
    char buffer[32] = {};
    std::string(c.in).copy(buffer, sizeof buffer - 1);
    EXPECT_TRUE(AppendBackslash(buffer, sizeof buffer));
    EXPECT_STREQ(c.appended, buffer) << c.in;
    std::string(c.in).copy(buffer, sizeof buffer - 1);
    buffer[std::string(c.in).size()] = '\0';
    StripBackslash(buffer);
    EXPECT_STREQ(c.stripped, buffer) << c.in;
  }
}

TEST(Path, AppendBackslashNeverOverflows) {
  char buffer[5] = "abcd";  // full: four characters and the NUL
  EXPECT_FALSE(AppendBackslash(buffer, sizeof buffer));
  EXPECT_STREQ("abcd", buffer);
  char roomy[6] = "abcd";
  EXPECT_TRUE(AppendBackslash(roomy, sizeof roomy));
  EXPECT_STREQ("abcd\\", roomy);
}

TEST(Path, ToBackslashes) {
  char buffer[] = "a/b/c.txt";
  ToBackslashes(buffer);
  EXPECT_STREQ("a\\b\\c.txt", buffer);
}

TEST(Path, TextFromBufferStopsAtNulOrLength) {
  const char bytes[] = {'a', 'b', '\0', 'c', 'd'};
  EXPECT_STREQ("ab", TextFromBuffer(bytes, 5).c_str());
  EXPECT_STREQ("a", TextFromBuffer(bytes, 1).c_str());
  EXPECT_STREQ("", TextFromBuffer(bytes, 0).c_str());
  const char leadingNul[] = {'\0', 'x'};
  EXPECT_STREQ("", TextFromBuffer(leadingNul, 2).c_str());
}

TEST(Path, EntryNamesThatStayInsideTheWorkDirectory) {
  struct Case {
    const char* name;
    bool safe;
  };
  const Case cases[] = {
      {"setup.inf", true},
      {"sub/dir/file.txt", true},
      {"sub\\file.txt", true},
      {"sub/", true},
      {"..data", true},
      {"a..b/c", true},
      {".", true},
      {"", false},
      {"/etc/passwd", false},
      {"\\Windows\\system.ini", false},
      {"C:\\Windows\\win.ini", false},
      {"C:relative", false},
      {"..", false},
      {"../escape.txt", false},
      {"sub/../../escape.txt", false},
      {"sub\\..\\x", false},
      {"sub/..", false},
      {"name:stream", false},
      {"what?.txt", false},
      {"star*.txt", false},
      {"quote\".txt", false},
      {"less<.txt", false},
      {"more>.txt", false},
      {"pipe|.txt", false},
      {"tab\t.txt", false},
      {"bell\x07.txt", false},
      {"CON", false},
      {"sub/nul.txt", false},
      {"com1", false},
      {"LPT9.log", false},
      {"aux /x", false},
      {"CONSOLE.txt", true},
      {"com0", true},
      {"lpt", true},
  };
  for (const Case& c : cases) EXPECT_EQ(c.safe, IsSafeEntryName(c.name)) << c.name;
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
