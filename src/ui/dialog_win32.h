// What the four dialog procedures share.
#pragma once

#include <windows.h>

namespace quillon {

// Moves a window to the middle of the primary screen; a window larger than
// the screen gets negative coordinates.
void CenterOnScreen(HWND window);

void SetControlText(HWND dialog, int id, const char* text);

// Shows a modal dialog from the program's resources, without an owner.
INT_PTR ShowDialog(const char* templateName, DLGPROC procedure);

// Takes and dispatches at most one waiting message of the thread.
void PumpOneMessage();

}  // namespace quillon
