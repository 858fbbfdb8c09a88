#pragma once

namespace quillon {

// The administrator check for the running process. The security functions
// are looked up in advapi32 at run time, so the program loads wherever they
// are missing; a missing one counts as a failed call.
[[nodiscard]] bool IsAdministrator();

}  // namespace quillon
