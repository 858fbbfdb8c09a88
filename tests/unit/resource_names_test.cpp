#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <sstream>
#include <string>

#include "resources/resource_ids.h"

namespace quillon {
namespace {

// The names of stub.rc's dialogs and icon.
std::set<std::string> DefinedNames() {
  std::ifstream script(std::string(QUILLON_SOURCE_DIR) + "/src/resources/stub.rc");
  std::set<std::string> names;
  for (std::string line; std::getline(script, line);) {
    std::istringstream words(line);
    std::string name;
    std::string kind;
    if (words >> name >> kind && (kind == "DIALOG" || kind == "ICON")) names.insert(name);
  }
  return names;
}

// A name that the script does not define makes DialogBoxParamA fail, and the
// stub would end without showing a window; only the end-to-end tests under
// Wine would see it. The names are spelled as the script spells them.
TEST(ResourceNames, TheCodeAsksForNamesTheScriptDefines) {
  const std::set<std::string> defined = DefinedNames();
  ASSERT_FALSE(defined.empty()) << "stub.rc not found or without templates";
  for (const char* name : {kMainDialog, kLicenceDialog, kPasswordDialog, kOverwriteDialog, kIconName}) {
    EXPECT_EQ(defined.count(name), 1u) << name;
  }
}

}  // namespace
}  // namespace quillon
