#include "base/setup_state.h"
#include "base/ui_texts.h"
#include "resources/resource_ids.h"
#include "ui/dialog_win32.h"
#include "ui/dialogs_win32.h"

namespace quillon {
namespace {

void OnInitDialog(HWND dialog) {
  SetWindowTextA(dialog, state.title);
  SetControlText(dialog, IDOK, Text(UiText::Yes));
  SetControlText(dialog, IDCANCEL, Text(UiText::No));
  SetControlText(dialog, IDC_DONT_ASK, Text(UiText::DontAskAgain));
  CenterOnScreen(dialog);
  FixedText<kMaxPath + 32> prompt(state.promptFileName.c_str());
  prompt.Append(Text(UiText::AlreadyExists));
  SetControlText(dialog, IDC_PROMPT_TEXT, prompt.c_str());
}

void OnAnswer(HWND dialog, int id) {
  const bool replace = id == IDOK;
  const bool dontAsk = SendMessageA(GetDlgItem(dialog, IDC_DONT_ASK), BM_GETCHECK, 0, 0) == BST_CHECKED;
  if (dontAsk) state.overwriteMode = replace ? OverwriteMode::Replace : OverwriteMode::Keep;
  state.overwriteAnswer = replace;
  EndDialog(dialog, id);
}

}  // namespace

INT_PTR CALLBACK OverwritePromptProc(HWND dialog, UINT message, WPARAM wParam, LPARAM /*lParam*/) {
  if (message == WM_INITDIALOG) {
    OnInitDialog(dialog);
    return FALSE;
  }
  if (message != WM_COMMAND) return FALSE;
  const int id = LOWORD(wParam);
  if (id != IDOK && id != IDCANCEL) return FALSE;
  OnAnswer(dialog, id);
  return TRUE;
}

}  // namespace quillon
