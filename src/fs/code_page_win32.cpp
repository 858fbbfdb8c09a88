#include "fs/code_page_win32.h"

#include <windows.h>

namespace quillon {

bool IsSystemLeadByte(uint8_t byte) {
  return IsDBCSLeadByte(byte) != FALSE;
}

}  // namespace quillon
