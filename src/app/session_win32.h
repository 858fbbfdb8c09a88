#pragma once

#include "fs/package_io.h"

namespace quillon {

// Makes the package ready before any window is shown. False when the main
// window is not to be shown; every failure has been reported by then.
[[nodiscard]] bool PrepareSession();

// Moves the package to distance from its start or end and records the
// position reached in lastSeekPosition (-1 when the move failed).
void SeekPackage(int32_t distance, SeekMethod method);

}  // namespace quillon
