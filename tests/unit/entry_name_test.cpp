#include "package/entry_name.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "shift_jis.h"
#include "test_support.h"

namespace quillon {
namespace {

using test::IsLeadByte932;

constexpr EntryNameKind kFile = EntryNameKind::File;
constexpr EntryNameKind kDirectory = EntryNameKind::Directory;
constexpr EntryNameKind kWork = EntryNameKind::WorkDirectory;
constexpr EntryNameKind kInvalid = EntryNameKind::Invalid;

struct Case {
  LeadByteTest isLead;
  const char* name;
  EntryNameKind kind;
  const char* path;  // for a name that is taken
};

void Check(const Case& c) {
  const EntryPath got = MakeEntryPath(c.name, static_cast<int32_t>(std::strlen(c.name)), c.isLead);
  EXPECT_EQ(c.kind, got.kind) << c.name;
  if (c.kind != kInvalid) {
    EXPECT_STREQ(c.path, got.path.c_str()) << c.name;
  }
}

TEST(EntryName, NamesThatStayInsideTheWorkDirectory) {
  const Case cases[] = {
      {NoLeadBytes, "setup.inf", kFile, "setup.inf"},
      {NoLeadBytes, "sub/dir/file.txt", kFile, "sub\\dir\\file.txt"},
      {NoLeadBytes, "sub\\file.txt", kFile, "sub\\file.txt"},
      {NoLeadBytes, "sub/", kDirectory, "sub"},
      {NoLeadBytes, "sub\\", kDirectory, "sub"},
      {NoLeadBytes, "..data", kFile, "..data"},
      {NoLeadBytes, "a..b/c", kFile, "a..b\\c"},
      {NoLeadBytes, "", kInvalid, ""},
      {NoLeadBytes, "C:\\Windows\\win.ini", kInvalid, ""},
      {NoLeadBytes, "C:relative", kInvalid, ""},
      {NoLeadBytes, "..", kInvalid, ""},
      {NoLeadBytes, "../escape.txt", kInvalid, ""},
      {NoLeadBytes, "sub/../../escape.txt", kInvalid, ""},
      {NoLeadBytes, "sub\\..\\x", kInvalid, ""},
      {NoLeadBytes, "sub/..", kInvalid, ""},
      {NoLeadBytes, "name:stream", kInvalid, ""},
      {NoLeadBytes, "what?.txt", kInvalid, ""},
      {NoLeadBytes, "star*.txt", kInvalid, ""},
      {NoLeadBytes, "quote\".txt", kInvalid, ""},
      {NoLeadBytes, "less<.txt", kInvalid, ""},
      {NoLeadBytes, "more>.txt", kInvalid, ""},
      {NoLeadBytes, "pipe|.txt", kInvalid, ""},
      {NoLeadBytes, "tab\t.txt", kInvalid, ""},
      {NoLeadBytes, "bell\x07.txt", kInvalid, ""},
      {NoLeadBytes, "CON", kInvalid, ""},
      {NoLeadBytes, "sub/nul.txt", kInvalid, ""},
      {NoLeadBytes, "com1", kInvalid, ""},
      {NoLeadBytes, "LPT9.log", kInvalid, ""},
      {NoLeadBytes, "aux /x", kInvalid, ""},
      {NoLeadBytes, "con./x", kInvalid, ""},
      {NoLeadBytes, "CONSOLE.txt", kFile, "CONSOLE.txt"},
      {NoLeadBytes, "com0", kFile, "com0"},
      {NoLeadBytes, "lpt", kFile, "lpt"},
      // Code page 932: a second byte 0x5C or 0x7C is part of the character ...
      {IsLeadByte932, SO FU TO "/" PO CHO TO ".txt", kFile, SO FU TO "\\" PO CHO TO ".txt"},
      {IsLeadByte932, HYO, kFile, HYO},
      {IsLeadByte932, PO ".txt", kFile, PO ".txt"},
      {IsLeadByte932, "sub\\" SO "\\" HYO "/", kDirectory, "sub\\" SO "\\" HYO},
      {IsLeadByte932, "sub/" HYO, kFile, "sub\\" HYO},  // a file named 表, not a directory
      {IsLeadByte932, "CON" SO, kFile, "CON" SO},
      {IsLeadByte932, SO "./" HYO ". ", kFile, SO "\\" HYO},
      // ... while real separators and forbidden characters still count.
      {IsLeadByte932, SO "/../../escape.txt", kInvalid, ""},
      {IsLeadByte932, "..\\" SO, kInvalid, ""},
      {IsLeadByte932, SO "\\..", kInvalid, ""},
      {IsLeadByte932, PO "|.txt", kInvalid, ""},
      {IsLeadByte932, HYO ":stream", kInvalid, ""},
      {IsLeadByte932, "C:" SO, kInvalid, ""},
      {IsLeadByte932, SO "/con.txt", kInvalid, ""},
      // The same bytes in code page 1252: "|" after 0x83, and "\" ends a directory.
      {NoLeadBytes, PO ".txt", kInvalid, ""},
      {NoLeadBytes, "sub/" HYO, kDirectory, "sub\\\x95"},
  };
  for (const Case& c : cases) Check(c);
}

TEST(EntryName, LeadingSeparatorsAreSkippedUnlessTheyNameAServer) {
  const Case cases[] = {
      {NoLeadBytes, "/etc/passwd", kFile, "etc\\passwd"},
      {NoLeadBytes, "\\Windows\\system.ini", kFile, "Windows\\system.ini"},
      {NoLeadBytes, "///a.txt", kFile, "a.txt"},
      {NoLeadBytes, "/\\/sub/", kDirectory, "sub"},
      {NoLeadBytes, "/", kInvalid, ""},
      {NoLeadBytes, "\\\\", kInvalid, ""},
      {NoLeadBytes, "//../x", kInvalid, ""},
      {NoLeadBytes, "\\\\server\\share\\x", kInvalid, ""},
      {NoLeadBytes, "//server/share/x", kInvalid, ""},
      {NoLeadBytes, "\\\\.\\COM1", kInvalid, ""},
      {NoLeadBytes, "/C:\\x", kInvalid, ""},
      {NoLeadBytes, "/../x", kInvalid, ""},
      {IsLeadByte932, "/" SO, kFile, SO},
  };
  for (const Case& c : cases) Check(c);
}

// Windows drops "." and empty components, and trailing dots and blanks of a
// name: the installer writes what Windows would, whoever reads the package.
TEST(EntryName, ComponentsAsWindowsWritesThem) {
  const Case cases[] = {
      {NoLeadBytes, "a/./b.txt", kFile, "a\\b.txt"},
      {NoLeadBytes, "./b.txt", kFile, "b.txt"},
      {NoLeadBytes, "a//b.txt", kFile, "a\\b.txt"},
      {NoLeadBytes, "a\\/.\\\\b.txt", kFile, "a\\b.txt"},
      {NoLeadBytes, "a/.", kFile, "a"},
      {NoLeadBytes, "name.", kFile, "name"},
      {NoLeadBytes, "name. . ", kFile, "name"},
      {NoLeadBytes, "a /b.txt", kFile, "a\\b.txt"},
      {NoLeadBytes, "a./b./", kDirectory, "a\\b"},
      {NoLeadBytes, ".hidden", kFile, ".hidden"},
      {NoLeadBytes, " lead", kFile, " lead"},
      {NoLeadBytes, "./", kWork, ""},
      {NoLeadBytes, "a/../", kInvalid, ""},
      {NoLeadBytes, ".", kInvalid, ""},
      {NoLeadBytes, "a/./", kDirectory, "a"},
      {NoLeadBytes, "...", kInvalid, ""},
      {NoLeadBytes, "a/.../b", kInvalid, ""},
      {NoLeadBytes, " ", kInvalid, ""},
      {NoLeadBytes, "a/ /b", kInvalid, ""},
      {NoLeadBytes, ". /b", kInvalid, ""},
  };
  for (const Case& c : cases) Check(c);
}

TEST(EntryName, LengthAndNul) {
  const std::string longest(kMaxEntryNameLength, 'n');
  EXPECT_EQ(kFile, MakeEntryPath(longest.data(), kMaxEntryNameLength, NoLeadBytes).kind);
  const std::string tooLong(kMaxEntryNameLength + 1, 'n');
  EXPECT_EQ(kInvalid, MakeEntryPath(tooLong.data(), kMaxEntryNameLength + 1, NoLeadBytes).kind);
  // The length counts the stored bytes, also those behind a NUL.
  const std::string withNul = "a.txt" + std::string(1, '\0') + std::string(kMaxEntryNameLength, 'x');
  EXPECT_EQ(kInvalid, MakeEntryPath(withNul.data(), static_cast<int32_t>(withNul.size()), NoLeadBytes).kind);
  const EntryPath cut = MakeEntryPath(withNul.data(), 10, NoLeadBytes);
  EXPECT_EQ(kFile, cut.kind);
  EXPECT_STREQ("a.txt", cut.path.c_str());
  const char leadingNul[] = {'\0', 'x'};
  EXPECT_EQ(kInvalid, MakeEntryPath(leadingNul, 2, NoLeadBytes).kind);
}

// A name that ends in a lead byte, in a buffer that ends right there, so a
// scan that went on past the end would be caught by the sanitizers.
TEST(EntryName, ACharacterCutByTheEndIsOneByte) {
  const Case cases[] = {
      {IsLeadByte932, "\x83", kFile, "\x83"},
      {IsLeadByte932, "a/\x83", kFile, "a\\\x83"},
      {IsLeadByte932, "dir\\\x95", kFile, "dir\\\x95"},
  };
  for (const Case& c : cases) {
    const std::vector<char> cut(c.name, c.name + std::strlen(c.name));
    const EntryPath got = MakeEntryPath(cut.data(), static_cast<int32_t>(cut.size()), c.isLead);
    EXPECT_EQ(c.kind, got.kind) << c.name;
    EXPECT_STREQ(c.path, got.path.c_str()) << c.name;
  }
}

}  // namespace
}  // namespace quillon
