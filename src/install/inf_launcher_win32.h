#pragma once

namespace quillon {

// Runs the package's INF file through the setup engine in the work directory
// and waits for it to end. Reports its own failure.
void RunInfInstallation();

}  // namespace quillon
