#include "base/setup_state.h"
#include "base/ui_texts.h"
#include "resources/resource_ids.h"
#include "ui/dialog_win32.h"
#include "ui/dialogs_win32.h"

namespace quillon {

INT_PTR CALLBACK LicenceDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM /*lParam*/) {
  if (message == WM_INITDIALOG) {
    SetControlText(dialog, IDC_LICENCE_TEXT, state.licenceText != nullptr ? state.licenceText : "");
    SetWindowTextA(dialog, Text(UiText::LicenceCaption));
    SetControlText(dialog, IDC_LICENCE_REQUEST, Text(UiText::LicenceRequest));
    SetControlText(dialog, IDOK, Text(UiText::IAgree));
    SetControlText(dialog, IDCANCEL, Text(UiText::Cancel));
    CenterOnScreen(dialog);
    return FALSE;
  }
  if (message != WM_COMMAND) return FALSE;
  switch (LOWORD(wParam)) {
    case IDOK:
      EndDialog(dialog, IDOK);
      return FALSE;
    case IDCANCEL:
      EndDialog(dialog, IDCANCEL);
      return TRUE;
    default:
      return FALSE;
  }
}

}  // namespace quillon
