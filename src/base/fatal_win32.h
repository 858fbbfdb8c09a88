#pragma once

#include <cstdint>

namespace quillon {

constexpr uint32_t kOutOfMemory = 203;

// The fatal-error report: a message box "Runtime error NNN at XXXXXXXX"
// (the location is the caller's return address), then the end of the program
// with the error number as exit code.
[[noreturn]] void FatalError(uint32_t number);

}  // namespace quillon
