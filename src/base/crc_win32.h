#pragma once

#include <windows.h>

namespace quillon {

// Whether UpdateCrc may use carry-less multiplication here: the processor has
// it, and the system saves the SSE registers of every thread, which it reports
// through IsProcessorFeaturePresent (Windows 95 lacks the function, and
// Windows 98 and NT 4 do not report SSE2; SSE instructions would fault there).
// kernel is the module handle of kernel32.
[[nodiscard]] bool SystemAllowsCarrylessCrc(HMODULE kernel);

}  // namespace quillon
