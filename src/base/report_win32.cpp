#include "base/report_win32.h"

#include <windows.h>

namespace quillon {

void Report(const char* text, const char* caption) {
  MessageBoxA(nullptr, text, caption, MB_OK);
}

}  // namespace quillon
