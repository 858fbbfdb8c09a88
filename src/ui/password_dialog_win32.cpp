#include "base/ui_texts.h"
#include "package/extract.h"
#include "resources/resource_ids.h"
#include "ui/dialog_win32.h"
#include "ui/dialogs_win32.h"

namespace quillon {

INT_PTR CALLBACK PasswordDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    KeepDialogParameter(dialog, lParam);
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
      // The edit control writes at most the text's capacity, its NUL included.
      auto* typed = static_cast<PasswordText*>(DialogParameter(dialog));
      GetDlgItemTextA(dialog, IDC_PASSWORD, typed->data(), PasswordText::capacity());
      typed->Resync();
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
