// quillon-pack-manual: the build's generator of what is written from the
// packager's table of options besides --help. Not installed.
//
//   quillon-pack-manual page DATE FILE   the manual page (DATE: YYYY-MM-DD)
//   quillon-pack-manual completion FILE  the bash completion
//   quillon-pack-manual options          the table, one option a line, for tests:
//                                        LONG SHORT VALUE KIND COMMANDS ("-" for none)
#include <cstdio>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "cli/completion.h"
#include "cli/manual_page.h"
#include "cli/option_table.h"
#include "cli/version.h"

namespace {

using namespace quillon::pack;

bool Write(const std::string& path, const std::string& text) {
  std::ofstream file(path, std::ios::binary);
  file << text;
  file.close();
  if (!file) (void)std::fprintf(stderr, "quillon-pack-manual: cannot write %s\n", path.c_str());
  return static_cast<bool>(file);
}

std::string_view KindName(ValueKind kind) {
  switch (kind) {
    case ValueKind::File:
      return "file";
    case ValueKind::Directory:
      return "directory";
    case ValueKind::Number:
      return "number";
    case ValueKind::Text:
      return "text";
    case ValueKind::None:
      break;
  }
  return "-";
}

std::string CommandNames(uint8_t commands) {
  std::string names;
  const std::pair<Command, const char*> known[] = {
      {kPack, "pack"}, {kList, "list"}, {kVerify, "verify"}, {kExtract, "extract"}};
  for (const auto& [bit, name] : known) {
    if ((commands & bit) != 0) names += (names.empty() ? "" : ",") + std::string(name);
  }
  return names;
}

int PrintOptions() {
  for (const OptionSpec& option : kOptions) {
    const std::string shortName = option.shortName != 0 ? std::string("-") + option.shortName : "-";
    const std::string value = option.value.empty() ? "-" : std::string(option.value);
    (void)std::printf("--%s %s %s %s %s\n", std::string(option.name).c_str(), shortName.c_str(), value.c_str(),
                      std::string(KindName(option.kind)).c_str(), CommandNames(option.commands).c_str());
  }
  return std::fflush(stdout) == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> arguments(argv + 1, argv + argc);
  if (arguments.size() == 3 && arguments[0] == "page") {
    return Write(arguments[2], ManualPage(kPackVersion, arguments[1])) ? 0 : 1;
  }
  if (arguments.size() == 2 && arguments[0] == "completion") return Write(arguments[1], BashCompletion()) ? 0 : 1;
  if (arguments.size() == 1 && arguments[0] == "options") return PrintOptions();
  (void)std::fputs("usage: quillon-pack-manual page DATE FILE | completion FILE | options\n", stderr);
  return 2;
}
