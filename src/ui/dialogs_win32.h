// The dialog procedures of the licence dialog, the password dialog and the
// overwrite prompt.
#pragma once

#include <windows.h>

#include <cstdint>

#include "crypt/zip_crypt.h"

namespace quillon {

// Result IDOK when the user agreed to the licence.
INT_PTR CALLBACK LicenceDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// Result IDOK with the typed text in passwordBuffer; anything else cancels.
INT_PTR CALLBACK PasswordDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
extern char passwordBuffer[kPasswordBufferSize];
extern int32_t passwordLength;

// Leaves its decision in state.overwriteAnswer and may fix state.overwriteMode.
INT_PTR CALLBACK OverwritePromptProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

}  // namespace quillon
