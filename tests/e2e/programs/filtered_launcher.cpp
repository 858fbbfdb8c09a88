// Starts a program with the caller's token filtered as User Account Control
// filters an administrator's: the Administrators group kept only for
// deny-only checks. Waits for it and ends with its exit code.
//
//   filtered_launcher.exe PROGRAM
//
// Exit codes of its own: 250 bad arguments, 251 no token, 252 the token
// cannot be filtered, 253 the program cannot be started.
#include <windows.h>

#include <cstdio>

int main(int argc, char** argv) {
  if (argc != 2) return 250;
  HANDLE token = nullptr;
  if (OpenProcessToken(GetCurrentProcess(), TOKEN_ALL_ACCESS, &token) == FALSE) return 251;

  SID_IDENTIFIER_AUTHORITY ntAuthority = {SECURITY_NT_AUTHORITY};
  PSID administrators = nullptr;
  if (AllocateAndInitializeSid(&ntAuthority, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0,
                               &administrators) == FALSE) {
    return 252;
  }
  SID_AND_ATTRIBUTES denyOnly = {administrators, 0};
  HANDLE filtered = nullptr;
  if (CreateRestrictedToken(token, 0, 1, &denyOnly, 0, nullptr, 0, nullptr, &filtered) == FALSE) {
    std::fprintf(stderr, "CreateRestrictedToken failed: %lu\n", GetLastError());
    return 252;
  }

  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  if (CreateProcessAsUserA(filtered, argv[1], nullptr, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                           &process) == FALSE) {
    std::fprintf(stderr, "CreateProcessAsUserA failed: %lu\n", GetLastError());
    return 253;
  }
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD code = 0;
  GetExitCodeProcess(process.hProcess, &code);
  return static_cast<int>(code);
}
