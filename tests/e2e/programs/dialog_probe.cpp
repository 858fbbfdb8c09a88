// A small dialog program for checking the GUI driver: controls of every kind
// the driver reads, message boxes, a blocking handler and a child process.
//
//   dialog_probe.exe                 the "Probe" dialog; the exit code tells how it ended:
//                                    10 OK (11 with "Remember" checked), 2 Cancel/Escape, 3 close box
//   dialog_probe.exe --exit N        ends at once with exit code N
//   dialog_probe.exe --message TEXT  an OK/Cancel message box "Probe message"; exits with the answer
//   dialog_probe.exe --spawn TEXT    runs "--message TEXT" as a child process and exits with its code
//   dialog_probe.exe --cwd           a message box "Probe message" with the current directory
//
// The "Slow" button blocks the dialog's thread until the file named by the
// variable QUILLON_PROBE_RELEASE exists (a test puts it there once it has
// seen the window busy), or for 3 s without it.
#include <windows.h>

#include <commctrl.h>
#include <shellapi.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

enum : WORD {
  kNameLabel = 100,
  kName = 101,
  kRemember = 102,
  kDisabled = 103,
  kHidden = 104,
  kAsk = 105,
  kStatus = 106,
  kSlow = 107,
  kList = 108,
  kProgress = 109,
  kSmall = 110,
  kLarge = 111,
  kConfirm = 112,
};

void BlockUntilReleased() {
  wchar_t release[MAX_PATH];
  const DWORD length = GetEnvironmentVariableW(L"QUILLON_PROBE_RELEASE", release, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) {
    Sleep(3000);
    return;
  }
  while (GetFileAttributesW(release) == INVALID_FILE_ATTRIBUTES) Sleep(20);
}

// A dialog template laid out in memory the way the resource compiler does.
class DialogTemplate {
 public:
  DialogTemplate(DWORD style, const wchar_t* caption, short cx, short cy) {
    PutDword(style | DS_SETFONT);
    PutDword(0);
    count_at_ = words_.size();
    words_.push_back(0);
    PutShort(0);
    PutShort(0);
    PutShort(cx);
    PutShort(cy);
    words_.push_back(0);  // no menu
    words_.push_back(0);  // the standard dialog class
    PutString(caption);
    words_.push_back(8);
    PutString(L"MS Shell Dlg");
  }

  // atom: 0x80 button, 0x81 edit, 0x82 static, 0x83 list box; 0 for a class name.
  void Add(WORD id, WORD atom, const wchar_t* class_name, const wchar_t* text, DWORD style, short x, short y, short cx,
           short cy) {
    if (words_.size() % 2 != 0) words_.push_back(0);
    PutDword(style | WS_CHILD);
    PutDword(0);
    PutShort(x);
    PutShort(y);
    PutShort(cx);
    PutShort(cy);
    words_.push_back(id);
    if (atom != 0) {
      words_.push_back(0xFFFF);
      words_.push_back(atom);
    } else {
      PutString(class_name);
    }
    PutString(text);
    words_.push_back(0);  // no creation data
    ++words_[count_at_];
  }

  const DLGTEMPLATE* Get() const { return reinterpret_cast<const DLGTEMPLATE*>(words_.data()); }

 private:
  void PutDword(DWORD value) {
    words_.push_back(LOWORD(value));
    words_.push_back(HIWORD(value));
  }
  void PutShort(short value) { words_.push_back(static_cast<WORD>(value)); }
  void PutString(const wchar_t* text) {
    for (; *text != L'\0'; ++text) words_.push_back(static_cast<WORD>(*text));
    words_.push_back(0);
  }

  std::vector<WORD> words_;
  size_t count_at_ = 0;
};

std::wstring ItemText(HWND dialog, int id) {
  wchar_t text[512];
  GetDlgItemTextW(dialog, id, text, 512);
  return text;
}

INT_PTR CALLBACK ProbeProc(HWND dialog, UINT message, WPARAM wparam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG: {
      // Texts set here, after the window exists, must be what the driver sees.
      SetDlgItemTextW(dialog, kName, L"initial");
      SetDlgItemTextW(dialog, kStatus, L"ready");
      for (const wchar_t* item : {L"alpha", L"beta", L"gamma"}) {
        SendDlgItemMessageW(dialog, kList, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item));
      }
      SendDlgItemMessageW(dialog, kList, LB_SETCURSEL, 1, 0);
      SendDlgItemMessageW(dialog, kProgress, PBM_SETRANGE32, 0, 200);
      SendDlgItemMessageW(dialog, kProgress, PBM_SETPOS, 50, 0);
      CheckRadioButton(dialog, kSmall, kLarge, kSmall);
      return TRUE;
    }
    case WM_COMMAND:
      switch (LOWORD(wparam)) {
        case IDOK: {
          const bool remember = IsDlgButtonChecked(dialog, kRemember) == BST_CHECKED;
          const auto item = SendDlgItemMessageW(dialog, kList, LB_GETCURSEL, 0, 0);
          const std::wstring summary = L"name=" + ItemText(dialog, kName) + L"; remember=" + (remember ? L"1" : L"0") +
                                       L"; size=" + (IsDlgButtonChecked(dialog, kLarge) ? L"large" : L"small") +
                                       L"; item=" + std::to_wstring(item);
          MessageBoxW(dialog, summary.c_str(), L"Probe result", MB_OK | MB_ICONINFORMATION);
          EndDialog(dialog, remember ? 11 : 10);
          return TRUE;
        }
        case IDCANCEL:
          EndDialog(dialog, 2);
          return TRUE;
        case kAsk: {
          const int answer =
              MessageBoxW(dialog, L"Proceed with the probe?", L"Probe question", MB_YESNOCANCEL | MB_ICONQUESTION);
          SetDlgItemTextW(dialog, kStatus, (L"answer: " + std::to_wstring(answer)).c_str());
          return TRUE;
        }
        case kConfirm: {
          const int answer = MessageBoxW(dialog, L"Really?", L"Probe confirm", MB_YESNO | MB_ICONWARNING);
          SetDlgItemTextW(dialog, kStatus, (L"confirm: " + std::to_wstring(answer)).c_str());
          return TRUE;
        }
        case kSlow:
          // A long synchronous task in the window's own thread.
          SetDlgItemTextW(dialog, kStatus, L"working");
          BlockUntilReleased();
          SetDlgItemTextW(dialog, kStatus, L"slow done");
          return TRUE;
        default:
          return FALSE;
      }
    case WM_CLOSE:
      EndDialog(dialog, 3);
      return TRUE;
    default:
      return FALSE;
  }
}

int ShowProbe() {
  // The progress bar class comes with the common controls library.
  LoadLibraryW(L"comctl32.dll");
  const DWORD tab = WS_VISIBLE | WS_TABSTOP;
  DialogTemplate t(DS_MODALFRAME | DS_CENTER | WS_POPUP | WS_CAPTION | WS_SYSMENU, L"Probe", 240, 170);
  t.Add(kNameLabel, 0x82, nullptr, L"&Name:", WS_VISIBLE | SS_LEFT, 8, 10, 40, 10);
  t.Add(kName, 0x81, nullptr, L"", tab | WS_BORDER | ES_AUTOHSCROLL, 50, 8, 120, 14);
  t.Add(kRemember, 0x80, nullptr, L"&Remember me", tab | BS_AUTOCHECKBOX, 8, 28, 80, 12);
  t.Add(kSmall, 0x80, nullptr, L"&Small", tab | WS_GROUP | BS_AUTORADIOBUTTON, 100, 28, 50, 12);
  t.Add(kLarge, 0x80, nullptr, L"&Large", WS_VISIBLE | BS_AUTORADIOBUTTON, 150, 28, 50, 12);
  t.Add(kList, 0x83, nullptr, L"", tab | WS_GROUP | WS_BORDER | WS_VSCROLL | LBS_NOTIFY, 8, 46, 80, 50);
  t.Add(kProgress, 0, L"msctls_progress32", L"", WS_VISIBLE | WS_BORDER, 100, 46, 130, 12);
  t.Add(kDisabled, 0x80, nullptr, L"Disabled", tab | WS_DISABLED | BS_PUSHBUTTON, 100, 64, 60, 14);
  t.Add(kHidden, 0x80, nullptr, L"Hidden", WS_TABSTOP | BS_PUSHBUTTON, 170, 64, 60, 14);
  t.Add(kAsk, 0x80, nullptr, L"&Ask...", tab | BS_PUSHBUTTON, 100, 82, 60, 14);
  t.Add(kConfirm, 0x80, nullptr, L"C&onfirm...", tab | BS_PUSHBUTTON, 170, 82, 60, 14);
  t.Add(kSlow, 0x80, nullptr, L"S&low", tab | BS_PUSHBUTTON, 100, 100, 60, 14);
  t.Add(kStatus, 0x82, nullptr, L"", WS_VISIBLE | SS_LEFT, 8, 124, 224, 10);
  t.Add(IDOK, 0x80, nullptr, L"OK", tab | WS_GROUP | BS_DEFPUSHBUTTON, 116, 148, 56, 14);
  t.Add(IDCANCEL, 0x80, nullptr, L"Cancel", tab | BS_PUSHBUTTON, 176, 148, 56, 14);
  return static_cast<int>(DialogBoxIndirectParamW(GetModuleHandleW(nullptr), t.Get(), nullptr, ProbeProc, 0));
}

int Spawn(const std::wstring& text) {
  wchar_t self[MAX_PATH];
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring command_line = L"\"" + std::wstring(self) + L"\" --message \"" + text + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(nullptr, command_line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
    return 100;
  }
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD code = 0;
  GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return static_cast<int>(code);
}

}  // namespace

int main() {
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  const std::wstring mode = argc > 1 ? argv[1] : L"";
  const std::wstring value = argc > 2 ? argv[2] : L"";
  if (mode == L"--exit") return static_cast<int>(std::wcstol(value.c_str(), nullptr, 10));
  if (mode == L"--message") return MessageBoxW(nullptr, value.c_str(), L"Probe message", MB_OKCANCEL);
  if (mode == L"--spawn") return Spawn(value);
  if (mode == L"--cwd") {
    wchar_t cwd[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, cwd);
    return MessageBoxW(nullptr, cwd, L"Probe message", MB_OKCANCEL);
  }
  return ShowProbe();
}
