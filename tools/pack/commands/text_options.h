// The texts and the password of an installer as the options give them: read,
// converted to the users' code page with --code-page, and checked.
#pragma once

#include <optional>
#include <string>

#include "building/package_writer.h"
#include "cli/options.h"
#include "common/name_encoding.h"

namespace quillon::pack {

// Reads the five texts. With --code-page they are converted to it (CR LF line
// ends included); without, they are taken as bytes, and a warning names
// those with bytes outside ASCII or line feeds without a carriage return.
// Throws PackError for a text that cannot be read or converted, or that is
// too long for the header.
[[nodiscard]] PackageTexts LoadTexts(const Options& options, const NameEncoding& encoding);

// The password, converted with --code-page (else taken as bytes, with a
// warning when outside ASCII); nullopt when none is given. `confirm`: asked
// twice on a terminal.
[[nodiscard]] std::optional<std::string> LoadPackagePassword(const PasswordOption& password,
                                                             const CodePageOption& codePage,
                                                             const NameEncoding& encoding, bool confirm);

}  // namespace quillon::pack
