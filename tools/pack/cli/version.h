// The packager's version, shown by --version.
#pragma once

namespace quillon::pack {

// QUILLON_VERSION comes from the project's VERSION in CMakeLists.txt.
constexpr const char* kPackVersion = QUILLON_VERSION;

}  // namespace quillon::pack
