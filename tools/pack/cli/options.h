// The packager's command line.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "building/inputs.h"
#include "building/package_writer.h"
#include "cli/option_table.h"
#include "common/password.h"

namespace quillon::pack {

// A text given on the command line or read from a file.
struct TextOption {
  std::optional<std::string> text;
  std::optional<std::filesystem::path> file;
};

// How the texts and names of an installer meet the code page of the
// machines it is for (--code-page, --name-encoding).
struct CodePageOption {
  std::optional<std::string> codePage;  // e.g. "1252", "cp932"
  bool convertsTexts = false;           // --code-page: texts and the password too, not only names
};

struct Options {
  bool help = false;
  bool version = false;
  std::optional<std::filesystem::path> config;  // the description file, -c
  std::filesystem::path output;
  std::optional<std::filesystem::path> stub;
  TextOption title;
  TextOption inf;
  TextOption licenceInfo;
  TextOption info;
  TextOption licence;
  PackageFlags flags;
  int level = kDefaultLevel;
  Ending ending = Ending::CentralDirectory;
  std::optional<int64_t> splitSize;     // --split: the largest file
  std::optional<uint16_t> signReserve;  // --sign-reserve
  std::vector<Input> inputs;            // files, directories and archives, in the order given
  std::vector<HeaderOverride> overrides;
  CodePageOption codePage;
  PasswordOption password;  // encrypt every entry with it
  int jobs = 0;             // compressing threads; 0: one per processor
  bool quiet = false;       // no progress and no summary
};

constexpr int kMaxJobs = 256;

// One option or input as given, before it takes effect; the command line and
// a description file both come down to a list of these.
struct Setting {
  const OptionSpec* option = nullptr;  // null for an input (or the installer looked into)
  std::optional<std::string> value;
  bool plainPath = false;  // an input taken as a path, even with '=' in it
};

// Splits the arguments of `command` (behind its name) into options with
// their values and the other arguments. Throws UsageError for an option that
// the command does not take, or a value missing or given to a switch.
[[nodiscard]] std::vector<Setting> Tokenize(const std::vector<std::string>& arguments, Command command);

// Takes --code-page or --name-encoding; throws UsageError when the other is
// given already.
void SetCodePage(CodePageOption& codePage, const OptionSpec& option, const std::string& value);

// Throws UsageError for anything it cannot make sense of. Options given with
// -c FILE come first; options on the command line replace theirs (inputs
// given there replace all of the file's inputs).
[[nodiscard]] Options ParseCommandLine(const std::vector<std::string>& arguments);

}  // namespace quillon::pack
