#include "install/inf_command.h"

#include <gtest/gtest.h>

#include <string>

#include "test_support.h"

namespace quillon {
namespace {

TEST(InfCommand, InfPathFromTheInfText) {
  struct Case {
    const char* infText;
    const char* expected;
  };
  const Case cases[] = {
      {"><setup.inf", "C:\\TEMP\\$Quillon.Tmp\\setup.inf"},
      {"><a.inf|b.inf", "C:\\TEMP\\$Quillon.Tmp\\a.inf"},
      {"><a.inf|><b.inf", "C:\\TEMP\\$Quillon.Tmp\\a.inf"},
      {"><x\\><y.inf", "C:\\TEMP\\$Quillon.Tmp\\x\\C:\\TEMP\\$Quillon.Tmp\\y.inf"},
      {"D:\\setup\\plain.inf", "D:\\setup\\plain.inf"},
      {"relative.inf", "relative.inf"},
      {">x<", ">x<"},
      {"|everything cut", ""},
      {"", ""},
  };
  for (const Case& c : cases) {
    const PathText path = BuildInfPath(c.infText, "C:\\TEMP\\$Quillon.Tmp\\", NoLeadBytes);
    EXPECT_STREQ(c.expected, path.c_str()) << c.infText;
    EXPECT_FALSE(path.overflowed()) << c.infText;
  }
}

TEST(InfCommand, ABarThatIsTheSecondByteOfACharacterCutsNothing) {
  // "\x83\x7C" is one character (ポ) in code page 932, a "|" after 0x83 in 1252.
  EXPECT_STREQ("C:\\W\\\x83\x7C.inf", BuildInfPath("><\x83\x7C.inf|x", "C:\\W\\", test::IsLeadByte932).c_str());
  EXPECT_STREQ("C:\\W\\\x83", BuildInfPath("><\x83\x7C.inf|x", "C:\\W\\", NoLeadBytes).c_str());
  EXPECT_STREQ("\x83", BuildInfPath("\x83", "C:\\W\\", test::IsLeadByte932).c_str());  // cut short by the end
}

TEST(InfCommand, SubstitutionTooLongForAPathIsFlagged) {
  std::string text;
  for (int i = 0; i < 20; ++i) text += "><";
  const PathText path = BuildInfPath(text.c_str(), "C:\\a\\fairly\\long\\work\\directory\\$Quillon.Tmp\\", NoLeadBytes);
  EXPECT_TRUE(path.overflowed());
  EXPECT_LT(path.length(), kMaxPath);
}

TEST(InfCommand, CommandLine) {
  EXPECT_STREQ("RunDll32.exe SetupApi.dll,InstallHinfSection DefaultInstall 132 C:\\TEMP\\QUILLO~1.TMP\\setup.inf",
               BuildCommandLine(kRunnerNtPrefix, "C:\\TEMP\\QUILLO~1.TMP\\setup.inf").c_str());
  EXPECT_STREQ("RunDll.exe SetupX.dll,InstallHinfSection DefaultInstall 132 ",
               BuildCommandLine(kRunner9xPrefix, "").c_str());
}

}  // namespace
}  // namespace quillon
