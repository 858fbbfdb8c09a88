// The manual page quillon-pack(1), written from the table of options and the
// texts beside it, so that it cannot drift from what the command line takes.
// The build writes it with the generator in tools/pack/manual_main.cpp;
// quillon-pack itself does not carry it.
#pragma once

#include <string>
#include <string_view>

namespace quillon::pack {

// The page in roff (man macros), section 1; date as YYYY-MM-DD.
[[nodiscard]] std::string ManualPage(std::string_view version, std::string_view date);

}  // namespace quillon::pack
