// The main window: title and information text, "&Install" that runs the whole
// installation, and "&Close"/"&Finish" that tidies up after it.
#include "ui/main_window_win32.h"

#include "base/setup_state.h"
#include "base/ui_texts.h"
#include "fs/code_page_win32.h"
#include "fs/path.h"
#include "install/inf_launcher_win32.h"
#include "resources/resource_ids.h"
#include "ui/dialog_win32.h"
#include "ui/dialogs_win32.h"
#include "ui/extraction_win32.h"

namespace quillon {
namespace {

constexpr INT_PTR kExtractionFailed = 1;
constexpr INT_PTR kClosed = 2;

void SetStatus(HWND window, const char* prefix, const char* first, const char* second = "", const char* third = "") {
  FixedText<1024> text(prefix);
  text.Append(first).Append(second).Append(third);
  SetControlText(window, IDC_STATUS, text.c_str());
}

void OnInitDialog(HWND window) {
  HICON icon = LoadIconA(state.instanceHandle, kIconName);
  SetClassLongA(window, GCL_HICON, static_cast<LONG>(reinterpret_cast<LONG_PTR>(icon)));
  state.overwriteMode = OverwriteMode::Ask;
  state.installStarted = false;
  if (state.hasTitle) SetWindowTextA(window, state.title);
  SetControlText(window, IDOK, Text(UiText::Install));
  SetControlText(window, IDCANCEL, Text(UiText::Close));
  SetControlText(window, IDC_STATUS, state.infoText != nullptr ? state.infoText : "");
  CenterOnScreen(window);
}

void ShowLicenceInformation() {
  // The licence-information text is at most 255 bytes and the prefix 62.
  FixedText<kLicenceInfoPrefixLength + 256> text(state.licenceInfoPrefix);
  text.Append(state.licenceInfoText != nullptr ? state.licenceInfoText : "");
  MessageBoxA(nullptr, text.c_str(), Text(UiText::LicenceInfoCaption), MB_OK);
}

// Deletes what the extraction created, files first, then its directories
// deepest first, so that the work directory can go at program end.
void DeleteExtractedFiles(HWND window) {
  for (int32_t i = 0; i < state.extractedFiles.Count(); ++i) {
    const char* path = state.extractedFiles.At(i);
    DeleteFileA(path);
    SetStatus(window, kBreak4, Text(UiText::Deleting), path);
    PumpOneMessage();
  }
  for (int32_t i = state.createdDirectories.Count() - 1; i >= 0; --i) {
    RemoveDirectoryA(state.createdDirectories.At(i));
  }
}

void OnInstall(HWND window) {
  if (state.header.licenceLength != 0 && ShowDialog(kLicenceDialog, LicenceDialogProc) != IDOK) return;
  state.installStarted = true;
  StripBackslash(state.workDirectory, IsSystemLeadByte);
  HWND install = GetDlgItem(window, IDOK);
  HWND close = GetDlgItem(window, IDCANCEL);
  if (state.header.hideInfoButton) {
    DestroyWindow(install);
    install = nullptr;  // later labels and enables of button 1 then reach nothing
  }
  EnableWindow(install, FALSE);
  EnableWindow(close, FALSE);

  ExtractEntries(window);
  if (!state.extractionSucceeded) {
    EndDialog(window, kExtractionFailed);
    return;
  }
  SetStatus(window, kBreak3, Text(UiText::SetupIsUpdating), kBreak2, Text(UiText::UpdatingSettings));
  RunInfInstallation();
  SetControlText(window, IDCANCEL, Text(UiText::Finish));
  SetStatus(window, kBreak4, Text(UiText::ClickFinish));
  SetActiveWindow(close);
  SetControlText(window, IDOK, Text(UiText::Info));
  EnableWindow(close, TRUE);
  EnableWindow(install, TRUE);
  if (!state.header.waitForFinish) {
    SetForegroundWindow(window);
    SendMessageA(close, BM_CLICK, 0, 0);
  }
}

void OnClose(HWND window) {
  DeleteExtractedFiles(window);
  EndDialog(window, kClosed);
}

}  // namespace

INT_PTR CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM /*lParam*/) {
  if (message == WM_INITDIALOG) {
    OnInitDialog(window);
    return FALSE;
  }
  if (message != WM_COMMAND) return FALSE;
  switch (LOWORD(wParam)) {
    case IDOK:
      if (state.installStarted) {
        ShowLicenceInformation();
      } else {
        OnInstall(window);
      }
      return FALSE;
    case IDCANCEL:
      OnClose(window);
      return TRUE;
    default:
      return FALSE;
  }
}

}  // namespace quillon
