// The packager's table of options against the list of options in
// docs/packager.md: the manual names every option with the value it takes,
// and no other.
#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>

#include "pack/cli/option_table.h"

namespace quillon::pack {
namespace {

// "--output FILE" and "-o FILE" for -o, --output.
std::set<std::string> FormsInTable() {
  std::set<std::string> forms;
  for (const OptionSpec& option : kOptions) {
    const std::string value = option.value.empty() ? "" : " " + std::string(option.value);
    forms.insert("--" + std::string(option.name) + value);
    if (option.shortName != 0) forms.insert(std::string("-") + option.shortName + value);
  }
  return forms;
}

// The forms in the first column of the table under "## Options".
std::set<std::string> FormsInManual() {
  std::ifstream file(QUILLON_SOURCE_DIR "/docs/packager.md");
  std::stringstream text;
  text << file.rdbuf();
  const std::string manual = text.str();
  const size_t section = manual.find("\n## Options\n");
  EXPECT_NE(section, std::string::npos) << "docs/packager.md has no section Options";
  std::set<std::string> forms;
  std::istringstream lines(manual.substr(section + 1));
  std::string line;
  std::getline(lines, line);  // the heading
  bool inTable = false;
  while (std::getline(lines, line)) {
    if (line.starts_with("## ")) break;
    if (!line.starts_with("|")) {
      if (inTable) break;  // the table ends with its last row
      continue;
    }
    inTable = true;
    const std::string cell = line.substr(1, line.find('|', 1) - 1);
    static const std::regex kForm("`(-[^`]+)`");
    for (std::sregex_iterator it(cell.begin(), cell.end(), kForm), end; it != end; ++it) forms.insert((*it)[1]);
  }
  return forms;
}

TEST(PackOptionTableTest, ManualListsEveryOptionWithItsValue) {
  const std::set<std::string> table = FormsInTable();
  const std::set<std::string> manual = FormsInManual();
  for (const std::string& form : table) {
    EXPECT_TRUE(manual.contains(form)) << form << ": not in docs/packager.md";
  }
  for (const std::string& form : manual) {
    EXPECT_TRUE(table.contains(form)) << form << ": no such option";
  }
}

TEST(PackOptionTableTest, NamesAreUnique) {
  std::set<std::string> names;
  std::set<char> shortNames;
  for (const OptionSpec& option : kOptions) {
    EXPECT_TRUE(names.insert(std::string(option.name)).second) << option.name;
    if (option.shortName != 0) {
      EXPECT_TRUE(shortNames.insert(option.shortName).second) << option.shortName;
    }
    EXPECT_NE(option.commands, 0) << option.name << ": no command takes it";
  }
}

}  // namespace
}  // namespace quillon::pack
