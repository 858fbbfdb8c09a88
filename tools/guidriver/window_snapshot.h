// Reading the windows of another process without ever blocking on it.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "json.h"

namespace quillon::guidriver {

// How long one message to the target may take before it counts as busy.
constexpr UINT kMessageTimeoutMs = 500;

// True when the thread of the window takes and answers a message within the
// timeout: its window procedure has run and it is pumping messages.
bool Responsive(HWND window, UINT timeoutMs);

std::wstring ClassName(HWND window);
// The text that the window keeps itself (captions, button and static labels);
// never sends a message.
std::wstring StoredText(HWND window);
// WM_GETTEXT when the window answers (edit controls keep their own text),
// the stored text otherwise.
std::wstring ControlText(HWND window, bool responsive);

// All descendants of the window, depth first in Z order, which for dialogs is
// the tab order.
std::vector<HWND> Descendants(HWND window);
// The first descendant with this control id; -1 and 0xFFFF name the same id.
HWND FindControl(HWND window, long long id);

bool IsButtonClass(HWND window);
// BS_* type of a button control.
LONG ButtonType(HWND window);
bool IsCheckable(LONG buttonType);
// BM_GETCHECK; -1 when the button did not answer.
int CheckState(HWND button);

// The control of the window's thread that has the keyboard focus, or null.
HWND FocusedWindow(HWND window);

// Adds the window and its controls to a JSON object, with "responding"
// telling whether the texts came from the window itself.
void DescribeWindow(HWND window, Json& out);

// Saves the screen area of the window as a 24-bit BMP. Returns false when
// nothing could be captured or written.
bool CaptureWindow(HWND window, const std::wstring& path);

}  // namespace quillon::guidriver
