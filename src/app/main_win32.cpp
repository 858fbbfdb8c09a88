// The program entry: start-up, the main window, and the clean-up after it.
#include <windows.h>

#include "app/memory.h"
#include "app/session_win32.h"
#include "app/setup_state.h"
#include "fs/file_win32.h"
#include "inflate/crc.h"
#include "ui/dialog_win32.h"
#include "ui/main_window_win32.h"
#include "ui/ui_texts.h"

namespace quillon {

// constinit: the stub has no runtime to run a constructor for it.
constinit SetupState state{};

namespace {

void CleanUp(CrcTable* table) {
  // Closed whenever it is open: a failed write says nothing about the package.
  if (IsOpen(state.packageHandle) && CloseHandle(state.packageHandle) == FALSE) {
    Report(Text(UiText::CannotCloseFile), Text(UiText::Error));
  }
  // Also after a failed or cancelled join: the work directory must be empty.
  if (!state.joinedPackagePath.empty()) DeleteFileA(state.joinedPackagePath.c_str());
  MemFree(table);
  crcTable = nullptr;
  RemoveDirectoryA(state.workDirectory);
}

[[noreturn]] void Run() {
  state.instanceHandle = GetModuleHandleA(nullptr);
  state.title = static_cast<char*>(MemAlloc(kTextBufferSize));
  state.infFileName = static_cast<char*>(MemAlloc(kTextBufferSize));
  auto* table = static_cast<CrcTable*>(MemAlloc(sizeof(CrcTable)));
  BuildCrcTable(table);
  crcTable = table;

  if (PrepareSession()) ShowDialog("DLG_Main", MainWindowProc);
  CleanUp(table);

  MemFree(state.title);
  MemFree(state.infFileName);
  ExitProcess(0);
}

}  // namespace
}  // namespace quillon

extern "C" void StubEntry() {
  quillon::Run();
}
