#pragma once

namespace quillon {

// Joins the program file and its part files into the joined package file in
// the work directory and makes it the package. Reports a failed or cancelled
// join itself; false also when the joined file cannot be reopened for
// reading (without a message). The clean-up deletes the joined file.
[[nodiscard]] bool JoinPackageParts();

}  // namespace quillon
