// Keeps the desktop of a Wine session in use between runs. Wine closes a
// desktop a second after its last user ends, and every run after that
// starts the desktop's processes again (two explorer.exe, seconds each
// under emulation) before its first window can show. This hidden window
// keeps it open until the session's server is stopped.
//
//   desktop_keeper.exe      runs until it is ended
#include <windows.h>

int main() {
  HWND window = CreateWindowExA(0, "STATIC", "desktop keeper", 0, 0, 0, 0, 0, nullptr, nullptr,
                                GetModuleHandleA(nullptr), nullptr);
  if (window == nullptr) return 1;
  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0) DispatchMessageA(&message);
  return 0;
}
