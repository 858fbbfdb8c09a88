// The bash completion of quillon-pack, written from the table of options
// (by the generator in tools/pack/manual_main.cpp, at build time).
#pragma once

#include <string>

namespace quillon::pack {

// A script that completes the commands, each command's options, files and
// directories for the options that take them, and the known values of others.
[[nodiscard]] std::string BashCompletion();

}  // namespace quillon::pack
