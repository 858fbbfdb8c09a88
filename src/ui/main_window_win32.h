#pragma once

#include <windows.h>

namespace quillon {

INT_PTR CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

}  // namespace quillon
