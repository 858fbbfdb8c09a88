// The fixed buffers that records of several layers share.
#pragma once

#include <cstdint>

#include "base/fixed_text.h"

namespace quillon {

constexpr int32_t kMaxPath = 260;  // the ANSI file functions' limit, NUL included
using PathText = FixedText<kMaxPath>;

// The work, start and joined-package directories.
constexpr int32_t kDirectoryBufferSize = 256;

}  // namespace quillon
