#include "window_snapshot.h"

#include <commctrl.h>

#include <cstdint>
#include <cstdio>

namespace quillon::guidriver {
namespace {

// Guards the listing of list and combo box items.
constexpr int kMaxItems = 256;

bool Send(HWND window, UINT message, WPARAM wparam, LPARAM lparam, DWORD_PTR& result) {
  return SendMessageTimeoutW(window, message, wparam, lparam, SMTO_ABORTIFHUNG | SMTO_BLOCK, kMessageTimeoutMs,
                             &result) != 0;
}

std::string Rect(const RECT& r) {
  return "[" + std::to_string(r.left) + "," + std::to_string(r.top) + "," + std::to_string(r.right) + "," +
         std::to_string(r.bottom) + "]";
}

long long Handle(HWND window) {
  return static_cast<long long>(reinterpret_cast<uintptr_t>(window));
}

bool SameClass(HWND window, const wchar_t* name) {
  return lstrcmpiW(ClassName(window).c_str(), name) == 0;
}

const char* ButtonTypeName(LONG type) {
  static const char* const names[] = {"pushbutton",  "defpushbutton",   "checkbox",    "autocheckbox",
                                      "radiobutton", "3state",          "auto3state",  "groupbox",
                                      "userbutton",  "autoradiobutton", "pushbox",     "ownerdraw",
                                      "splitbutton", "defsplitbutton",  "commandlink", "defcommandlink"};
  return type >= 0 && type < 16 ? names[type] : "unknown";
}

// Item texts of a list box or combo box, when it keeps strings.
void DescribeItems(HWND control, bool combo, bool responsive, Json& out) {
  if (!responsive) return;
  const UINT countMsg = combo ? CB_GETCOUNT : LB_GETCOUNT;
  const UINT lengthMsg = combo ? CB_GETLBTEXTLEN : LB_GETTEXTLEN;
  const UINT textMsg = combo ? CB_GETLBTEXT : LB_GETTEXT;
  const UINT selectionMsg = combo ? CB_GETCURSEL : LB_GETCURSEL;
  const LONG style = GetWindowLongW(control, GWL_STYLE);
  // The owner-draw styles of combo and list boxes have the same bits.
  const bool ownerDraw = (style & (LBS_OWNERDRAWFIXED | LBS_OWNERDRAWVARIABLE)) != 0;
  const bool hasStrings = combo ? (style & CBS_HASSTRINGS) != 0 : (style & LBS_HASSTRINGS) != 0;
  DWORD_PTR result = 0;
  if (Send(control, selectionMsg, 0, 0, result)) out.Num("selected", static_cast<int>(static_cast<LRESULT>(result)));
  if (ownerDraw && !hasStrings) return;
  if (!Send(control, countMsg, 0, 0, result)) return;
  const auto count = static_cast<LRESULT>(result);
  std::vector<std::string> items;
  for (LRESULT i = 0; i < count && i < kMaxItems; ++i) {
    const auto index = static_cast<WPARAM>(i);
    if (!Send(control, lengthMsg, index, 0, result) || static_cast<LRESULT>(result) < 0) break;
    std::wstring text(static_cast<size_t>(result) + 1, L'\0');
    if (!Send(control, textMsg, index, reinterpret_cast<LPARAM>(text.data()), result)) break;
    const auto got = static_cast<LRESULT>(result);
    text.resize(got >= 0 && static_cast<size_t>(got) < text.size() ? static_cast<size_t>(got) : 0);
    items.push_back(JsonString(Utf8(text)));
  }
  out.Raw("items", JsonArray(items));
}

std::string DescribeControl(HWND control, HWND focus, bool responsive) {
  Json out;
  const std::wstring className = ClassName(control);
  const LONG style = GetWindowLongW(control, GWL_STYLE);
  RECT rect{};
  GetWindowRect(control, &rect);
  out.Num("hwnd", Handle(control))
      .Num("id", GetDlgCtrlID(control))
      .Str("class", className)
      .Str("text", ControlText(control, responsive))
      .Bool("enabled", IsWindowEnabled(control) != FALSE)
      .Bool("visible", IsWindowVisible(control) != FALSE)
      .Bool("focused", control == focus)
      .Num("style", static_cast<long long>(static_cast<DWORD>(style)))
      .Num("exstyle", static_cast<long long>(static_cast<DWORD>(GetWindowLongW(control, GWL_EXSTYLE))))
      .Raw("rect", Rect(rect))
      .Num("parent", Handle(GetParent(control)));
  DWORD_PTR result = 0;
  if (IsButtonClass(control)) {
    const LONG type = ButtonType(control);
    out.Str("type", ButtonTypeName(type));
    if (IsCheckable(type)) {
      const int state = responsive ? CheckState(control) : -1;
      if (state >= 0) {
        out.Num("checked", state);
      } else {
        out.Null("checked");
      }
    }
  } else if (lstrcmpiW(className.c_str(), L"Edit") == 0) {
    out.Bool("readonly", (style & ES_READONLY) != 0).Bool("password", (style & ES_PASSWORD) != 0);
  } else if (lstrcmpiW(className.c_str(), L"ListBox") == 0) {
    DescribeItems(control, false, responsive, out);
  } else if (lstrcmpiW(className.c_str(), L"ComboBox") == 0) {
    DescribeItems(control, true, responsive, out);
  } else if (lstrcmpiW(className.c_str(), PROGRESS_CLASSW) == 0 && responsive) {
    if (Send(control, PBM_GETPOS, 0, 0, result)) out.Num("pos", static_cast<int>(static_cast<LRESULT>(result)));
    DWORD_PTR low = 0;
    DWORD_PTR high = 0;
    if (Send(control, PBM_GETRANGE, TRUE, 0, low) && Send(control, PBM_GETRANGE, FALSE, 0, high)) {
      out.Raw("range", "[" + std::to_string(static_cast<int>(static_cast<LRESULT>(low))) + "," +
                           std::to_string(static_cast<int>(static_cast<LRESULT>(high))) + "]");
    }
  }
  return out.Text();
}

}  // namespace

bool Responsive(HWND window, UINT timeoutMs) {
  DWORD_PTR result = 0;
  return SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG | SMTO_BLOCK, timeoutMs, &result) != 0;
}

std::wstring ClassName(HWND window) {
  wchar_t name[256];
  const int length = GetClassNameW(window, name, 256);
  return std::wstring(name, length > 0 ? static_cast<size_t>(length) : 0);
}

std::wstring StoredText(HWND window) {
  // For a window of another process GetWindowText reads the text that the
  // system keeps and sends nothing.
  const int length = GetWindowTextLengthW(window);
  if (length <= 0) return {};
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  const int got = GetWindowTextW(window, text.data(), length + 1);
  text.resize(got > 0 ? static_cast<size_t>(got) : 0);
  return text;
}

std::wstring ControlText(HWND window, bool responsive) {
  if (!responsive) return StoredText(window);
  DWORD_PTR length = 0;
  if (!Send(window, WM_GETTEXTLENGTH, 0, 0, length)) return StoredText(window);
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  DWORD_PTR got = 0;
  if (!Send(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()), got)) return StoredText(window);
  text.resize(got < text.size() ? static_cast<size_t>(got) : text.size() - 1);
  return text;
}

std::vector<HWND> Descendants(HWND window) {
  std::vector<HWND> out;
  for (HWND child = GetWindow(window, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
    out.push_back(child);
    const std::vector<HWND> nested = Descendants(child);
    out.insert(out.end(), nested.begin(), nested.end());
  }
  return out;
}

HWND FindControl(HWND window, long long id) {
  for (HWND child : Descendants(window)) {
    const long long own = GetDlgCtrlID(child);
    if (own == id) return child;
    const bool ownMinusOne = own == -1 || own == 0xFFFF;
    if (ownMinusOne && (id == -1 || id == 0xFFFF)) return child;
  }
  return nullptr;
}

bool IsButtonClass(HWND window) {
  return SameClass(window, L"Button");
}

LONG ButtonType(HWND window) {
  return GetWindowLongW(window, GWL_STYLE) & BS_TYPEMASK;
}

bool IsCheckable(LONG buttonType) {
  switch (buttonType) {
    case BS_CHECKBOX:
    case BS_AUTOCHECKBOX:
    case BS_RADIOBUTTON:
    case BS_3STATE:
    case BS_AUTO3STATE:
    case BS_AUTORADIOBUTTON:
      return true;
    default:
      return false;
  }
}

int CheckState(HWND button) {
  DWORD_PTR result = 0;
  if (!Send(button, BM_GETCHECK, 0, 0, result)) return -1;
  return static_cast<int>(static_cast<LRESULT>(result));
}

HWND FocusedWindow(HWND window) {
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  if (!GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info)) return nullptr;
  return info.hwndFocus;
}

void DescribeWindow(HWND window, Json& out) {
  const bool responsive = Responsive(window, kMessageTimeoutMs);
  RECT rect{};
  GetWindowRect(window, &rect);
  RECT client{};
  GetClientRect(window, &client);
  DWORD pid = 0;
  const DWORD tid = GetWindowThreadProcessId(window, &pid);
  HWND focus = FocusedWindow(window);
  out.Num("hwnd", Handle(window))
      .Str("class", ClassName(window))
      .Str("caption", StoredText(window))
      .Raw("rect", Rect(rect))
      .Raw("client", "[" + std::to_string(client.right) + "," + std::to_string(client.bottom) + "]")
      .Num("style", static_cast<long long>(static_cast<DWORD>(GetWindowLongW(window, GWL_STYLE))))
      .Num("exstyle", static_cast<long long>(static_cast<DWORD>(GetWindowLongW(window, GWL_EXSTYLE))))
      .Bool("visible", IsWindowVisible(window) != FALSE)
      .Bool("enabled", IsWindowEnabled(window) != FALSE)
      .Bool("foreground", GetForegroundWindow() == window)
      .Bool("responding", responsive)
      .Num("owner", Handle(GetWindow(window, GW_OWNER)))
      .Num("pid", pid)
      .Num("tid", tid);
  if (focus != nullptr && IsChild(window, focus)) {
    out.Num("focus", GetDlgCtrlID(focus));
  } else {
    out.Null("focus");
  }
  DWORD_PTR result = 0;
  if (responsive && SameClass(window, L"#32770") && Send(window, DM_GETDEFID, 0, 0, result) &&
      HIWORD(result) == DC_HASDEFID) {
    out.Num("defid", LOWORD(result));
  } else {
    out.Null("defid");
  }
  std::vector<std::string> controls;
  for (HWND child : Descendants(window)) controls.push_back(DescribeControl(child, focus, responsive));
  out.Raw("controls", JsonArray(controls));
}

bool CaptureWindow(HWND window, const std::wstring& path) {
  RECT rect{};
  if (!GetWindowRect(window, &rect)) return false;
  // Only what is on the screen can be read back.
  RECT screen{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  RECT area{};
  if (!IntersectRect(&area, &rect, &screen)) return false;
  const int width = area.right - area.left;
  const int height = area.bottom - area.top;
  const size_t stride = (static_cast<size_t>(width) * 3 + 3) & ~static_cast<size_t>(3);
  const size_t imageSize = stride * static_cast<size_t>(height);

  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = height;  // bottom-up, as a BMP file stores it
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  info.bmiHeader.biCompression = BI_RGB;
  info.bmiHeader.biSizeImage = static_cast<DWORD>(imageSize);

  // A window that was just shown may still be painting: read the screen until
  // two pictures in a row agree.
  std::vector<BYTE> latest;
  std::vector<BYTE> pixels(imageSize);
  HDC screenDc = GetDC(nullptr);
  HDC memoryDc = CreateCompatibleDC(screenDc);
  HBITMAP bitmap = CreateCompatibleBitmap(screenDc, width, height);
  if (memoryDc != nullptr && bitmap != nullptr) {
    for (int attempt = 0; attempt < 10; ++attempt) {
      if (attempt > 0) Sleep(40);
      HGDIOBJ old = SelectObject(memoryDc, bitmap);
      const bool copied =
          BitBlt(memoryDc, 0, 0, width, height, screenDc, area.left, area.top, SRCCOPY | CAPTUREBLT) != FALSE;
      SelectObject(memoryDc, old);
      if (!copied ||
          GetDIBits(memoryDc, bitmap, 0, static_cast<UINT>(height), pixels.data(), &info, DIB_RGB_COLORS) != height) {
        break;
      }
      if (pixels == latest) break;
      latest.swap(pixels);
      pixels.resize(imageSize);
    }
  }
  if (bitmap != nullptr) DeleteObject(bitmap);
  if (memoryDc != nullptr) DeleteDC(memoryDc);
  ReleaseDC(nullptr, screenDc);
  if (latest.empty()) return false;

  BITMAPFILEHEADER file{};
  file.bfType = 0x4D42;  // "BM"
  file.bfOffBits = sizeof file + sizeof info.bmiHeader;
  file.bfSize = static_cast<DWORD>(file.bfOffBits + imageSize);
  FILE* out = _wfopen(path.c_str(), L"wb");
  if (out == nullptr) return false;
  bool ok = std::fwrite(&file, sizeof file, 1, out) == 1 &&
            std::fwrite(&info.bmiHeader, sizeof info.bmiHeader, 1, out) == 1 &&
            std::fwrite(latest.data(), 1, imageSize, out) == imageSize;
  ok = std::fclose(out) == 0 && ok;
  return ok;
}

}  // namespace quillon::guidriver
