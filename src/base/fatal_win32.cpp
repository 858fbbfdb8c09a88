#include "base/fatal_win32.h"

#include <windows.h>

#include "base/ui_texts.h"

namespace quillon {
namespace {

// "Runtime error     at 00000000": the number right-aligned in four places
// with at least one blank before it, the location over the eight zeros.
void FormatReport(char* out, uint32_t number, uint32_t location) {
  char* p = out;
  for (const char* s = Text(UiText::RuntimeError); *s != '\0'; ++s) *p++ = *s;
  char digits[10];
  int count = 0;
  do {
    digits[count++] = static_cast<char>('0' + number % 10);
    number /= 10;
  } while (number != 0);
  for (int pad = count < 4 ? 4 - count : 1; pad > 0; --pad) *p++ = ' ';
  while (count > 0) *p++ = digits[--count];
  for (const char* s = " at "; *s != '\0'; ++s) *p++ = *s;
  for (int shift = 28; shift >= 0; shift -= 4) *p++ = "0123456789ABCDEF"[(location >> shift) & 0xFu];
  *p = '\0';
}

}  // namespace

void FatalError(uint32_t number) {
  char report[48];
  FormatReport(report, number, static_cast<uint32_t>(reinterpret_cast<uintptr_t>(__builtin_return_address(0))));
  MessageBoxA(nullptr, report, Text(UiText::Error), MB_OK);
  ExitProcess(number);
}

}  // namespace quillon
