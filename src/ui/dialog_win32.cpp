#include "ui/dialog_win32.h"

#include "base/setup_state.h"

namespace quillon {

void CenterOnScreen(HWND window) {
  RECT rect;
  GetWindowRect(window, &rect);
  const int x = (GetSystemMetrics(SM_CXSCREEN) - (rect.right - rect.left)) / 2;
  const int y = (GetSystemMetrics(SM_CYSCREEN) - (rect.bottom - rect.top)) / 2;
  SetWindowPos(window, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
}

void SetControlText(HWND dialog, int id, const char* text) {
  SendMessageA(GetDlgItem(dialog, id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text));
}

INT_PTR ShowDialog(const char* templateName, DLGPROC procedure, LPARAM parameter) {
  return DialogBoxParamA(state.instanceHandle, templateName, nullptr, procedure, parameter);
}

void KeepDialogParameter(HWND dialog, LPARAM parameter) {
  SetWindowLongPtrA(dialog, DWLP_USER, parameter);
}

void* DialogParameter(HWND dialog) {
  // The pointer that ShowDialog's caller gave as the parameter.
  return reinterpret_cast<void*>(GetWindowLongPtrA(dialog, DWLP_USER));  // NOLINT(performance-no-int-to-ptr)
}

void PumpOneMessage() {
  MSG message;
  if (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE) != FALSE) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
}

}  // namespace quillon
