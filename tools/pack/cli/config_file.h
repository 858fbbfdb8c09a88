// The description file of a build (-c package.ini): every option and input
// of one installer, kept beside the files it names, so that a release build
// is one command that anyone can repeat.
//
//   ; comments start with ';' or '#'
//   [installer]
//   output = dist/setup.exe
//   title = My Program 1.0
//   inf = ><setup.inf
//   info = "Welcome!\r\nThis installs My Program."
//   licence-file = texts/licence.txt
//   admin = yes
//
//   [inputs]
//   input = program/
//   input = bin/tool.exe=build/tool.exe
//   from-zip = vendor/runtime.zip
//
// [installer] takes the packager's long options without their "--", a
// switch with yes or no; [inputs] takes `input` (as an input on the command
// line, NAME=PATH included), `path` (a path even with '=' in it, as after
// "--"), `from-zip` and `base`, in order. Relative paths
// count from the file's directory. A value is the rest of the line with the
// blanks around it removed, or a double-quoted text with the escapes \\ \"
// \r \n \t and \xHH.
#pragma once

#include <filesystem>
#include <vector>

#include "cli/options.h"

namespace quillon::pack {

// The settings the file holds, in its order. Throws UsageError, naming the
// file and line, for what it cannot make sense of, PackError when it cannot
// be read.
[[nodiscard]] std::vector<Setting> ReadDescriptionFile(const std::filesystem::path& path);

}  // namespace quillon::pack
