// Keeps the desktop of a Wine session in use between runs. Wine closes a
// desktop a second after its last user ends, and every run after that
// starts the desktop's processes again (two explorer.exe, seconds each
// under emulation) before its first window can show. This hidden window
// keeps it open until the session's server is stopped.
//
//   desktop_keeper.exe [READY]   runs until it is ended; creates the file
//                                READY once the desktop is up
#include <windows.h>

int main(int argc, char** argv) {
  HWND window = CreateWindowExA(0, "STATIC", "desktop keeper", 0, 0, 0, 0, 0, nullptr, nullptr,
                                GetModuleHandleA(nullptr), nullptr);
  if (window == nullptr) return 1;
  if (argc > 1) {
    HANDLE ready = CreateFileA(argv[1], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (ready == INVALID_HANDLE_VALUE) return 2;
    CloseHandle(ready);
  }
  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0) DispatchMessageA(&message);
  return 0;
}
