// The packager's command line.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "inputs.h"
#include "package_writer.h"

namespace quillon::pack {

// A text given on the command line or read from a file.
struct TextOption {
  std::optional<std::string> text;
  std::optional<std::filesystem::path> file;
};

struct Options {
  bool help = false;
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
  int jobs = 0;                             // compressing threads; 0: one per processor
  bool quiet = false;                       // no progress and no summary
};

constexpr int kMaxJobs = 256;

// Throws UsageError for anything it cannot make sense of.
[[nodiscard]] Options ParseCommandLine(const std::vector<std::string>& arguments);

[[nodiscard]] const char* UsageText();

}  // namespace quillon::pack
