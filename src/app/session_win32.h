#pragma once

namespace quillon {

// Makes the package ready before any window is shown. False when the main
// window is not to be shown; every failure has been reported by then.
[[nodiscard]] bool PrepareSession();

}  // namespace quillon
