// What the four dialog procedures share.
#pragma once

#include <windows.h>

namespace quillon {

// Moves a window to the middle of the primary screen; a window larger than
// the screen gets negative coordinates.
void CenterOnScreen(HWND window);

void SetControlText(HWND dialog, int id, const char* text);

// Shows a modal dialog from the program's resources, without an owner.
// parameter reaches the procedure as the lParam of WM_INITDIALOG: what the
// dialog is asked and where it leaves its answer, so that no dialog talks to
// its caller through a global.
INT_PTR ShowDialog(const char* templateName, DLGPROC procedure, LPARAM parameter = 0);

// Keeps the parameter of WM_INITDIALOG with the dialog, for the messages
// after it; DialogParameter gives it back.
void KeepDialogParameter(HWND dialog, LPARAM parameter);
[[nodiscard]] void* DialogParameter(HWND dialog);

// Takes and dispatches at most one waiting message of the thread.
void PumpOneMessage();

}  // namespace quillon
