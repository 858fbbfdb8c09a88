// The program entry: start-up, the main window, and the clean-up after it.
#include <windows.h>

#include "app/session_win32.h"
#include "base/crc.h"
#include "base/crc_win32.h"
#include "base/memory.h"
#include "base/report_win32.h"
#include "base/setup_state.h"
#include "base/system_function_win32.h"
#include "base/ui_texts.h"
#include "fs/file_win32.h"
#include "resources/resource_ids.h"
#include "ui/dialog_win32.h"
#include "ui/main_window_win32.h"

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

// Installers are run from download folders, where anyone can leave a DLL under
// a name that the process loads later. Where the system allows it, DLLs come
// from the system directory only, and never from the current directory.
void RestrictDllSearch(HMODULE kernel) {
  constexpr DWORD kSearchSystem32 = 0x00000800;  // LOAD_LIBRARY_SEARCH_SYSTEM32
  using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
  using SetDllDirectoryAFn = BOOL(WINAPI*)(LPCSTR);
  if (auto setDefault = SystemFunction<SetDefaultDllDirectoriesFn>(kernel, "SetDefaultDllDirectories")) {
    setDefault(kSearchSystem32);
  }
  if (auto setDirectory = SystemFunction<SetDllDirectoryAFn>(kernel, "SetDllDirectoryA")) setDirectory("");
}

[[noreturn]] void Run() {
  HMODULE kernel = GetModuleHandleA("kernel32.dll");
  RestrictDllSearch(kernel);
  state.instanceHandle = GetModuleHandleA(nullptr);
  state.title = static_cast<char*>(MemAlloc(kTextBufferSize));
  state.infFileName = static_cast<char*>(MemAlloc(kTextBufferSize));
  auto* table = static_cast<CrcTable*>(MemAlloc(sizeof(CrcTable)));
  BuildCrcTable(table);
  table->carryless = SystemAllowsCarrylessCrc(kernel);
  crcTable = table;

  if (PrepareSession()) ShowDialog(kMainDialog, MainWindowProc);
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
