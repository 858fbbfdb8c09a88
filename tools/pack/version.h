// The packager's version, shown by --version.
#pragma once

namespace quillon::pack {

constexpr const char* kPackVersion = "1.0.0";

}  // namespace quillon::pack
