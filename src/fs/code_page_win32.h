#pragma once

#include <cstdint>

namespace quillon {

// The lead-byte test of the system's ANSI code page, which every path of the
// stub is in.
[[nodiscard]] bool IsSystemLeadByte(uint8_t byte);

}  // namespace quillon
