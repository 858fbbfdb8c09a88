// Hands the INF file to the Windows setup engine: the DLL runner with
// InstallHinfSection, started from the work directory, waited for without a
// time-out.
#include "install/inf_launcher_win32.h"

#include <windows.h>

#include "base/fatal_win32.h"
#include "base/report_win32.h"
#include "base/setup_state.h"
#include "base/ui_texts.h"
#include "fs/code_page_win32.h"
#include "fs/directory_win32.h"
#include "install/inf_command.h"

namespace quillon {
namespace {

constexpr DWORD kFailedExitCode = 0xFFFFFFFFu;

// The INF path in its short form when that is shorter.
PathText ShortInfPath() {
  AppendBackslash(state.workDirectory, kDirectoryBufferSize, IsSystemLeadByte);
  const PathText path = BuildInfPath(state.infFileName, state.workDirectory, IsSystemLeadByte);
  char shortPath[kMaxPath] = {};
  const DWORD length = path.overflowed() ? 0 : GetShortPathNameA(path.c_str(), shortPath, kMaxPath);
  return length > 0 && static_cast<int32_t>(length) < path.length() ? PathText(shortPath) : path;
}

// The runner is taken by full path from where Windows keeps it, never found
// through the search path: a program of the same name in the installer's
// folder or the current directory is not run.
bool FindRunner(bool windows9x, PathText& runner) {
  const char* name = windows9x ? "\\RunDll.exe" : "\\RunDll32.exe";
  char windowsDirectory[kMaxPath] = {};
  GetWindowsDirectoryA(windowsDirectory, kMaxPath);
  const char* first = windows9x ? windowsDirectory : state.systemDirectory;
  const char* second = windows9x ? state.systemDirectory : windowsDirectory;
  const char* const directories[] = {first, second};
  for (const char* directory : directories) {
    runner = PathText(directory);
    StripBackslash(runner.data(), IsSystemLeadByte);
    runner.Resync();
    runner.Append(name);
    if (!runner.overflowed() && GetFileAttributesA(runner.c_str()) != INVALID_FILE_ATTRIBUTES) return true;
  }
  return false;
}

DWORD RunAndWait(const char* runner, char* commandLine) {
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_SHOWDEFAULT;
  PROCESS_INFORMATION process = {};
  if (CreateProcessA(runner, commandLine, nullptr, nullptr, FALSE, CREATE_NEW_CONSOLE | HIGH_PRIORITY_CLASS, nullptr,
                     nullptr, &startup, &process) == FALSE) {
    return kFailedExitCode;
  }
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD exitCode = kFailedExitCode;
  if (GetExitCodeProcess(process.hProcess, &exitCode) == FALSE) exitCode = kFailedExitCode;
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return exitCode;
}

void ChangeDirectory(const char* directory) {
  if (SetCurrentDirectoryA(directory) == FALSE) FatalError(GetLastError());
}

}  // namespace

void RunInfInstallation() {
  const PathText infPath = ShortInfPath();
  PathText setupX(state.systemDirectory);
  setupX.Append("\\SetupX.dll");
  const bool windows9x = !setupX.overflowed() && PathExists(setupX.c_str());
  CommandText command = BuildCommandLine(windows9x ? kRunner9xPrefix : kRunnerNtPrefix, infPath.c_str());

  StripBackslash(state.workDirectory, IsSystemLeadByte);
  ChangeDirectory(state.workDirectory);
  PathText runner;
  DWORD exitCode = kFailedExitCode;
  if (!infPath.overflowed() && !command.overflowed() && FindRunner(windows9x, runner)) {
    exitCode = RunAndWait(runner.c_str(), command.data());
  }
  if (exitCode == kFailedExitCode) Report(Text(UiText::InitFailed), Text(UiText::Error));
  ChangeDirectory(state.startDirectory);
}

}  // namespace quillon
