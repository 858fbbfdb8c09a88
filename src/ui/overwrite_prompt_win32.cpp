#include "base/setup_state.h"
#include "base/ui_texts.h"
#include "resources/resource_ids.h"
#include "ui/dialog_win32.h"
#include "ui/dialogs_win32.h"

namespace quillon {
namespace {

void OnInitDialog(HWND dialog, const OverwriteQuestion& question) {
  SetWindowTextA(dialog, state.title);
  SetControlText(dialog, IDOK, Text(UiText::Yes));
  SetControlText(dialog, IDCANCEL, Text(UiText::No));
  SetControlText(dialog, IDC_DONT_ASK, Text(UiText::DontAskAgain));
  CenterOnScreen(dialog);
  FixedText<kMaxPath + 32> prompt(question.promptFileName);
  prompt.Append(Text(UiText::AlreadyExists));
  SetControlText(dialog, IDC_PROMPT_TEXT, prompt.c_str());
}

void OnAnswer(HWND dialog, int id) {
  auto* question = static_cast<OverwriteQuestion*>(DialogParameter(dialog));
  question->dontAskAgain = SendMessageA(GetDlgItem(dialog, IDC_DONT_ASK), BM_GETCHECK, 0, 0) == BST_CHECKED;
  EndDialog(dialog, id);
}

}  // namespace

INT_PTR CALLBACK OverwritePromptProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    KeepDialogParameter(dialog, lParam);
    OnInitDialog(dialog, *static_cast<const OverwriteQuestion*>(DialogParameter(dialog)));
    return FALSE;
  }
  if (message != WM_COMMAND) return FALSE;
  const int id = LOWORD(wParam);
  if (id != IDOK && id != IDCANCEL) return FALSE;
  OnAnswer(dialog, id);
  return TRUE;
}

}  // namespace quillon
