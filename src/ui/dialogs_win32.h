// The dialog procedures of the licence dialog, the password dialog and the
// overwrite prompt.
#pragma once

#include <windows.h>

namespace quillon {

// Result IDOK when the user agreed to the licence.
INT_PTR CALLBACK LicenceDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// Its parameter is the PasswordText that takes the typed password. Result
// IDOK when a password was typed there; anything else cancels.
INT_PTR CALLBACK PasswordDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// The overwrite prompt's question and the tick it leaves; its parameter.
struct OverwriteQuestion {
  const char* promptFileName;  // the name part of the file that is there
  bool dontAskAgain;           // "Don't ask again" was ticked: the answer holds for the files after it
};

// Result IDOK to replace the file, anything else to keep it.
INT_PTR CALLBACK OverwritePromptProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

}  // namespace quillon
