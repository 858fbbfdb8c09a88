#include "base/ui_texts.h"
#include "resources/resource_ids.h"
#include "ui/dialog_win32.h"
#include "ui/dialogs_win32.h"

namespace quillon {

char passwordBuffer[kPasswordBufferSize];
int32_t passwordLength;

INT_PTR CALLBACK PasswordDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM /*lParam*/) {
  if (message == WM_INITDIALOG) {
    SetWindowTextA(dialog, Text(UiText::PasswordCaption));
    SetControlText(dialog, IDOK, Text(UiText::Ok));
    SetControlText(dialog, IDCANCEL, Text(UiText::Cancel));
    CenterOnScreen(dialog);
    SetFocus(GetDlgItem(dialog, IDC_PASSWORD));
    return FALSE;
  }
  if (message != WM_COMMAND) return FALSE;
  switch (LOWORD(wParam)) {
    case IDOK: {
      const UINT n = GetDlgItemTextA(dialog, IDC_PASSWORD, passwordBuffer, kPasswordBufferSize);
      passwordLength = static_cast<int32_t>(n < kPasswordBufferSize ? n : kPasswordBufferSize - 1);
      passwordBuffer[passwordLength] = '\0';
      EndDialog(dialog, IDOK);
      return FALSE;
    }
    case IDCANCEL:
      EndDialog(dialog, IDCANCEL);
      return TRUE;
    default:
      return FALSE;
  }
}

}  // namespace quillon
