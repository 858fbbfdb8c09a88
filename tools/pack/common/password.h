// The password of an installer whose entries are encrypted, and where it comes
// from: a file, standard input or (visible to other users of the machine) the
// command line.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "common/name_encoding.h"
#include "crypt/zip_crypt.h"

namespace quillon::pack {

// The most the installer's password box takes (79 characters and a NUL), as
// bytes in the ANSI code page.
constexpr size_t kMaxPasswordLength = kPasswordBufferSize - 1;
// A password file larger than this is surely something else.
constexpr int64_t kMaxPasswordFileSize = 4096;

struct PasswordOption {
  std::optional<std::string> text;            // --password TEXT
  std::optional<std::filesystem::path> file;  // --password-file FILE
  bool fromStdin = false;                     // --password-stdin

  [[nodiscard]] bool given() const { return text || file || fromStdin; }
};

// Takes --password, --password-file and --password-stdin (value: empty for
// the last); false for any other option. Throws UsageError when a password
// is already given.
bool SetPasswordOption(PasswordOption& option, const std::string& flag, const std::string& value);

// Reads the password. A file holds it on its first and only line (a line end
// behind it is not part of it); standard input gives it up to its first line
// end, and from a terminal without echo, asked for twice when `confirm` is
// set. Throws PackError for a password that cannot be read, or that the
// installer's password box could not take: empty, longer than 79 bytes, or
// with a control character, which cannot be typed. With `codePage` the
// password (UTF-8 here) is converted to it before it is checked.
[[nodiscard]] std::string LoadPassword(const PasswordOption& option, bool confirm, const NameEncoding* codePage);

// Warns about bytes outside ASCII: the installer compares the bytes of what
// the user types, in the ANSI code page of the user's machine.
void WarnAboutPassword(const std::string& password);

}  // namespace quillon::pack
