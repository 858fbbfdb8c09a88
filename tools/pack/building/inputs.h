// The files and directories named on the command line, turned into the list
// of entries of the package, and the rules that every entry name must follow.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "building/output_guard.h"
#include "common/name_encoding.h"
#include "support/pack_support.h"
#include "system/system.h"

namespace quillon::pack {

// Throws PackError when the installer would refuse an entry of this name or
// write it under another name than ZIP tools do (its rule is in
// package/entry_name.h): empty, longer than 255 bytes, absolute, with "." or
// ".." or empty components or ones of dots and blanks only, with a backslash,
// a drive colon, a control character or a character that Windows refuses in
// file names, or naming a DOS device. Directory names end with "/". `origin`
// says where the name came from. The name is read in the characters of
// encoding.
void CheckEntryName(const std::string& name, bool directory, const std::string& origin, const NameEncoding& encoding);

// Where Windows keeps the entry: the installer's path of the name (trailing
// dots and blanks of its components dropped, "/" between them, and at the
// end of a directory), folded as Windows compares file names (ASCII letters
// only, which every ANSI code page has; the second byte of a double-byte
// character stays). Two entries of one key are one file on Windows.
[[nodiscard]] std::string FoldName(const std::string& name, const NameEncoding& encoding);

struct Input {
  std::string argument;             // as given, for messages
  std::optional<std::string> name;  // NAME of NAME=PATH
  std::filesystem::path path;
  std::optional<std::filesystem::path> base;  // --base in force for this input
  bool fromZip = false;                       // a ZIP archive whose entries are taken over
};

// Parses a positional argument: NAME=PATH splits at the first "=", unless
// plainPath is set (arguments after "--").
[[nodiscard]] Input ParseInputArgument(const std::string& argument, bool plainPath,
                                       const std::optional<std::filesystem::path>& base);

struct SourceItem {
  std::string name;  // name in the package; a directory's ends with "/"
  std::filesystem::path path;
  bool directory = false;  // only empty directories are listed
  int64_t modified = 0;    // seconds since 1970
  int64_t size = 0;
};

// Expands one file or directory input: a directory contributes its files in
// sorted order (depth first, names compared byte by byte) and an entry for
// each empty directory. Symbolic links are followed. Missing inputs, special
// files and directory cycles are refused; earlier outputs that the guard
// knows are left out. The names, UTF-8 on this side, are converted by
// encoding.
[[nodiscard]] std::vector<SourceItem> CollectInput(const Input& input, const OutputGuard& guard,
                                                   const NameEncoding& encoding);

}  // namespace quillon::pack
