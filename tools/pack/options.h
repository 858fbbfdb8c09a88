// The packager's command line.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "inputs.h"
#include "package_writer.h"
#include "password.h"

namespace quillon::pack {

// A text given on the command line or read from a file.
struct TextOption {
  std::optional<std::string> text;
  std::optional<std::filesystem::path> file;
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
  std::optional<std::string> nameEncoding;  // code page of the entry names, e.g. cp932
  PasswordOption password;                  // encrypt every entry with it
  int jobs = 0;                             // compressing threads; 0: one per processor
  bool quiet = false;                       // no progress and no summary
};

constexpr int kMaxJobs = 256;

// One option or input as given, before it takes effect; the command line and
// a description file both come down to a list of these.
struct Setting {
  std::string option;  // "--title", ...; empty for an input
  std::optional<std::string> value;
  bool plainPath = false;  // an input taken as a path, even with '=' in it
};

// The option that a description file's key stands for, and whether it takes
// a value; nullopt for a key that is no option of the packager's.
struct OptionKind {
  std::string option;
  bool valued = false;
};
[[nodiscard]] std::optional<OptionKind> FindOption(const std::string& key);

// Throws UsageError for anything it cannot make sense of. Options given with
// -c FILE come first; options on the command line replace theirs (inputs
// given there replace all of the file's inputs).
[[nodiscard]] Options ParseCommandLine(const std::vector<std::string>& arguments);

[[nodiscard]] const char* UsageText();

}  // namespace quillon::pack
