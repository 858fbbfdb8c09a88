#pragma once

#include <windows.h>

namespace quillon {

// Writes every entry of the package below the work directory, showing each
// file in the main window's status area. Leaves state.extractionSucceeded,
// state.extractedFiles and state.createdDirectories; reports its own errors.
void ExtractEntries(HWND mainWindow);

}  // namespace quillon
