#include "app/work_directory.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "test_support.h"

namespace quillon {
namespace {

struct Case {
  const char* label;
  std::string tempPath;
  int tempLength;  // -1: the length of tempPath
  const char* startDirectory;
  const char* expected;
};

TEST(WorkDirectory, Selection) {
  const std::string longTemp = "C:\\" + std::string(240, 't') + "\\";  // 244 characters with the backslash
  const std::string fitsTemp = "C:\\" + std::string(239, 't') + "\\";  // 243: the last that fits
  const Case cases[] = {
      {"temporary directory", "C:\\TEMP\\", -1, "C:\\WORK", "C:\\TEMP\\$Quillon.Tmp"},
      {"temporary directory without its backslash", "C:\\TEMP", -1, "C:\\WORK", "C:\\TEMP\\$Quillon.Tmp"},
      {"started in the temporary directory", "C:\\TEMP\\", -1, "C:\\TEMP", "C:\\WINDOWS\\SYSTEM\\$Quillon.Tmp"},
      {"comparison is case-sensitive", "C:\\TEMP\\", -1, "C:\\temp", "C:\\TEMP\\$Quillon.Tmp"},
      {"space in the temporary path", "C:\\Documents and Settings\\u\\Temp\\", -1, "C:\\",
       "C:\\WINDOWS\\SYSTEM\\$Quillon.Tmp"},
      {"one-character temporary path", "\\", -1, "C:\\", "C:\\WINDOWS\\SYSTEM\\$Quillon.Tmp"},
      {"query failed", "", 0, "C:\\", "C:\\WINDOWS\\SYSTEM\\$Quillon.Tmp"},
      {"query needed a larger buffer", "", 300, "C:\\", "C:\\WINDOWS\\SYSTEM\\$Quillon.Tmp"},
      {"temporary path too long for the suffix", longTemp, -1, "C:\\", "C:\\WINDOWS\\SYSTEM\\$Quillon.Tmp"},
  };
  for (const Case& c : cases) {
    char work[kDirectoryBufferSize];
    std::memset(work, 'x', sizeof work);
    const auto length = static_cast<uint32_t>(c.tempLength < 0 ? c.tempPath.size() : c.tempLength);
    ChooseWorkDirectory(c.tempPath.c_str(), length, c.startDirectory, "C:\\WINDOWS\\SYSTEM", work, NoLeadBytes);
    EXPECT_STREQ(c.expected, work) << c.label;
  }
  char work[kDirectoryBufferSize];
  ChooseWorkDirectory(fitsTemp.c_str(), static_cast<uint32_t>(fitsTemp.size()), "C:\\", "C:\\W", work, NoLeadBytes);
  EXPECT_EQ(fitsTemp + "$Quillon.Tmp", work);
  EXPECT_EQ(255u, std::strlen(work));
}

TEST(WorkDirectory, TemporaryPathEndingInADoubleByteCharacter) {
  // "\x95\x5C" is one character in code page 932, not a trailing backslash.
  const std::string temp = "C:\\TEMP\\\x95\x5C";
  char work[kDirectoryBufferSize];
  ChooseWorkDirectory(temp.c_str(), static_cast<uint32_t>(temp.size()), "C:\\", "C:\\W", work, test::IsLeadByte932);
  EXPECT_EQ(temp + "\\$Quillon.Tmp", work);
}

}  // namespace
}  // namespace quillon
