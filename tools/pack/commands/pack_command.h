// Writing an installer: the inputs planned and checked, the entries made on
// every processor and written in order, the installer read back with the
// installer's own code, and the files moved into place.
#pragma once

#include "cli/options.h"

namespace quillon::pack {

// Writes the installer the options describe; the exit status. Throws
// PackError for anything that keeps it from being written (nothing is left
// then). programPath is argv[0], for finding the stub.
[[nodiscard]] int RunPack(const Options& options, const char* programPath);

}  // namespace quillon::pack
