// The plain error report: a message box without owner, style MB_OK, with the
// fixed text or the path as its text and the kind of failure as its caption.
#pragma once

namespace quillon {

void Report(const char* text, const char* caption);

}  // namespace quillon
