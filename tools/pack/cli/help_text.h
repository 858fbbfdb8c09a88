// The text of --help, written from the table of options.
#pragma once

#include <string>

namespace quillon::pack {

[[nodiscard]] std::string HelpText();

// Print the help or "quillon-pack VERSION" on standard output; the exit
// status: 1 when it cannot be written.
[[nodiscard]] int PrintHelp();
[[nodiscard]] int PrintVersion();

}  // namespace quillon::pack
