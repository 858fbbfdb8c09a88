#include "driver.h"

#include <tlhelp32.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>

#include "window_snapshot.h"

namespace quillon::guidriver {
namespace {

constexpr DWORD kPollMs = 25;
// A window that stays busy this long after it shows is recorded as it is.
constexpr ULONGLONG kSettleMs = 1000;
constexpr UINT kSetTextTimeoutMs = 5000;
constexpr DWORD kKilledExitCode = 1;

std::wstring QuoteArgument(const std::wstring& argument) {
  if (!argument.empty() && argument.find_first_of(L" \t\"") == std::wstring::npos) return argument;
  std::wstring out = L"\"";
  size_t backslashes = 0;
  for (const wchar_t c : argument) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    out.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    backslashes = 0;
    out += c;
  }
  out.append(backslashes * 2, L'\\');
  out += L'"';
  return out;
}

// A file name part made of the caption: letters, digits, '-', '_' and '.'.
std::wstring FileNamePart(const std::wstring& caption) {
  std::wstring out;
  for (const wchar_t c : caption) {
    const bool plain = (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') || (c >= L'0' && c <= L'9') || c == L'-' ||
                       c == L'_' || c == L'.';
    if (plain) {
      out += c;
    } else if (!out.empty() && out.back() != L'_') {
      out += L'_';
    }
    if (out.size() >= 40) break;
  }
  while (!out.empty() && (out.back() == L'_' || out.back() == L'.')) out.pop_back();
  return out.empty() ? L"window" : out;
}

long long Handle(HWND window) {
  return static_cast<long long>(reinterpret_cast<uintptr_t>(window));
}

std::string Quoted(const std::wstring& text) {
  return "'" + Utf8(text) + "'";
}

std::string IdText(long long id) {
  return std::to_string(id);
}

// Programs that the system starts for the whole session on behalf of the
// first process that needs them (the desktop, the console host, services);
// they are no part of the target and must outlive it.
bool IsSessionProgram(const wchar_t* exe) {
  static const wchar_t* const kPrograms[] = {L"explorer.exe", L"conhost.exe", L"services.exe", L"winedevice.exe",
                                             L"plugplay.exe", L"svchost.exe", L"rpcss.exe",    L"winemenubuilder.exe"};
  for (const wchar_t* program : kPrograms) {
    if (lstrcmpiW(exe, program) == 0) return true;
  }
  return false;
}

ULONGLONG CreationTime(HANDLE process) {
  FILETIME created{};
  FILETIME exited{};
  FILETIME kernel{};
  FILETIME user{};
  if (!GetProcessTimes(process, &created, &exited, &kernel, &user)) return 0;
  return (static_cast<ULONGLONG>(created.dwHighDateTime) << 32) | created.dwLowDateTime;
}

struct WindowSearch {
  std::vector<DWORD> pids;
  std::vector<HWND> found;
};

BOOL CALLBACK CollectWindow(HWND window, LPARAM context) {
  // EnumWindows hands the pointer back as it was given.
  auto* search = reinterpret_cast<WindowSearch*>(context);  // NOLINT(performance-no-int-to-ptr)
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  const bool ours = std::find(search->pids.begin(), search->pids.end(), pid) != search->pids.end();
  if (ours && IsWindowVisible(window)) search->found.push_back(window);
  return TRUE;
}

}  // namespace

Driver::Driver(Options options)
    : options_(std::move(options)), startTick_(GetTickCount64()), timeoutMs_(options_.timeoutMs) {}

Driver::~Driver() {
  for (const Child& child : followed_) CloseHandle(child.handle);
  if (process_.hProcess != nullptr) CloseHandle(process_.hProcess);
  if (process_.hThread != nullptr) CloseHandle(process_.hThread);
}

Json Driver::Event(const char* name) const {
  Json event;
  event.Str("event", name).Num("t", static_cast<long long>(GetTickCount64() - startTick_));
  return event;
}

void Driver::Emit(const Json& event) const {
  const std::string line = event.Text() + "\n";
  // The events are the only output: a failed write has nowhere to be told.
  static_cast<void>(std::fwrite(line.data(), 1, line.size(), stdout));
  static_cast<void>(std::fflush(stdout));
}

bool Driver::Start() {
  std::wstring commandLine;
  for (const std::wstring& argument : options_.target) {
    if (!commandLine.empty()) commandLine += L' ';
    commandLine += QuoteArgument(argument);
  }
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  const wchar_t* cwd = options_.cwd.empty() ? nullptr : options_.cwd.c_str();
  if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, cwd, &startup, &process_)) {
    const DWORD error = GetLastError();
    Json event = Event("error");
    event.Num("line", 0)
        .Str("command", "")
        .Str("message", "cannot start " + Utf8(commandLine) + " (error " + std::to_string(error) + ")");
    Emit(event);
    return false;
  }
  targetCreated_ = std::max<ULONGLONG>(CreationTime(process_.hProcess), 1);
  Json event = Event("start");
  event.Num("pid", process_.dwProcessId).Str("command_line", commandLine).Str("cwd", options_.cwd);
  Emit(event);
  return true;
}

void Driver::FollowChildren() {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return;
  std::vector<PROCESSENTRY32W> entries;
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
    entries.push_back(entry);
  }
  CloseHandle(snapshot);
  // When a followed process was created, or 0 when it is not followed.
  auto created = [&](DWORD pid) -> ULONGLONG {
    if (pid == process_.dwProcessId) return targetCreated_;
    for (const Child& child : followed_) {
      if (child.pid == pid) return child.created;
    }
    return 0;
  };
  // Grandchildren may be listed before their parents: repeat until stable.
  for (bool added = true; added;) {
    added = false;
    for (const PROCESSENTRY32W& e : entries) {
      const ULONGLONG parentCreated = created(e.th32ParentProcessID);
      if (parentCreated == 0 || created(e.th32ProcessID) != 0) continue;
      // The name may not be there yet just after the start: look again later.
      if (e.szExeFile[0] == L'\0' || IsSessionProgram(e.szExeFile)) continue;
      HANDLE handle =
          OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, e.th32ProcessID);
      if (handle == nullptr) continue;
      // Process ids come back soon: a process older than the one whose id it
      // names as its parent was started by an earlier holder of that id.
      const ULONGLONG ownCreated = CreationTime(handle);
      if (ownCreated == 0 || ownCreated < parentCreated) {
        CloseHandle(handle);
        continue;
      }
      followed_.push_back({e.th32ProcessID, handle, ownCreated});
      Json event = Event("child");
      event.Num("pid", e.th32ProcessID).Num("parent", e.th32ParentProcessID).Str("exe", e.szExeFile);
      Emit(event);
      added = true;
    }
  }
}

bool Driver::TreeAlive() const {
  if (WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT) return true;
  return std::any_of(followed_.begin(), followed_.end(),
                     [](const Child& c) { return WaitForSingleObject(c.handle, 0) == WAIT_TIMEOUT; });
}

std::vector<HWND> Driver::Windows() const {
  WindowSearch search;
  search.pids.push_back(process_.dwProcessId);
  for (const Child& child : followed_) search.pids.push_back(child.pid);
  EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

void Driver::Poll() {
  FollowChildren();
  const ULONGLONG now = GetTickCount64();
  const std::vector<HWND> visible = Windows();
  for (auto it = seen_.begin(); it != seen_.end();) {
    const bool exists = IsWindow(it->window) != FALSE;
    if (exists && IsWindowVisible(it->window)) {
      ++it;
      continue;
    }
    if (it->reported) {
      Json event = Event("gone");
      event.Num("hwnd", Handle(it->window)).Bool("destroyed", !exists);
      Emit(event);
    }
    it = seen_.erase(it);
  }
  // EnumWindows lists the topmost first; the oldest of new windows is last.
  for (auto it = visible.rbegin(); it != visible.rend(); ++it) {
    HWND window = *it;
    if (std::none_of(seen_.begin(), seen_.end(), [&](const Seen& s) { return s.window == window; })) {
      seen_.push_back({window, now, false});
    }
  }
  for (Seen& s : seen_) {
    if (s.reported) continue;
    // The window procedure has run once the thread answers; a thread that
    // stays busy gets its window recorded as it is.
    if (Responsive(s.window, 100) || GetTickCount64() - s.firstSeen >= kSettleMs) {
      s.reported = true;
      Snapshot(s.window, "new");
    }
  }
  if (!exitReported_ && WaitForSingleObject(process_.hProcess, 0) == WAIT_OBJECT_0) {
    DWORD code = 0;
    GetExitCodeProcess(process_.hProcess, &code);
    exitReported_ = true;
    Json event = Event("exit");
    event.Num("code", code).Bool("killed", killed_);
    Emit(event);
  }
}

bool Driver::Settled(HWND window) const {
  return std::any_of(seen_.begin(), seen_.end(), [&](const Seen& s) { return s.window == window && s.reported; });
}

void Driver::AddSnapshot(HWND window, const char* reason, Json& out) {
  out.Str("reason", reason).Num("seq", ++snapshotSeq_);
  DescribeWindow(window, out);
  if (options_.shotsDir.empty()) return;
  wchar_t number[16];
  static_cast<void>(swprintf(number, 16, L"%03d-", snapshotSeq_));
  std::wstring path = options_.shotsDir;
  if (!path.empty() && path.back() != L'\\' && path.back() != L'/') path += L'\\';
  path += number + FileNamePart(StoredText(window)) + L".bmp";
  if (CaptureWindow(window, path)) {
    out.Str("shot", path);
  } else {
    out.Str("shot_error", "cannot capture or save " + Utf8(path));
  }
}

void Driver::Snapshot(HWND window, const char* reason) {
  Json event = Event("snapshot");
  AddSnapshot(window, reason, event);
  Emit(event);
}

template <typename Ready>
bool Driver::WaitFor(Ready ready, const std::string& what, bool needsTarget) {
  const ULONGLONG deadline = GetTickCount64() + timeoutMs_;
  for (;;) {
    Poll();
    if (ready()) return true;
    if (needsTarget && !TreeAlive()) {
      DWORD code = 0;
      GetExitCodeProcess(process_.hProcess, &code);
      failure_ = "the target ended (exit code " + std::to_string(code) + ") while waiting for " + what;
      return false;
    }
    if (GetTickCount64() >= deadline) {
      char seconds[32];
      static_cast<void>(std::snprintf(seconds, sizeof seconds, "%.1f", timeoutMs_ / 1000.0));
      failure_ = "timed out after " + std::string(seconds) + " s waiting for " + what;
      return false;
    }
    ::Sleep(kPollMs);
  }
}

bool Driver::NeedCurrent() {
  if (current_ == nullptr) {
    failure_ = "there is no current window: wait for one first";
    return false;
  }
  if (!IsWindow(current_)) {
    failure_ = "the current window is gone";
    return false;
  }
  return true;
}

bool Driver::Sync(bool recordBusy) {
  // The system makes WM_PAINT only when no posted message or input is left
  // in the thread's queue: once a spot made invalid here has been painted,
  // the clicks and keys posted before have all been handled.
  HWND window = current_;
  if (!IsWindowVisible(window)) return true;
  RECT spot{0, 0, 1, 1};
  if (!RedrawWindow(window, &spot, nullptr, RDW_INVALIDATE)) return NeedCurrent();
  // A thread that answers a sent message is pumping and so gets to what was
  // posted too: only one that stays silent counts as busy.
  ULONGLONG answered = GetTickCount64();
  auto handled = [&]() {
    if (!IsWindow(window) || !GetUpdateRect(window, nullptr, FALSE)) return true;
    if (!recordBusy) return false;
    if (Responsive(window, kPollMs)) answered = GetTickCount64();
    return GetTickCount64() - answered >= kSettleMs;
  };
  const bool painted = WaitFor(handled, "the window to handle its messages", true);
  return painted && NeedCurrent();
}

HWND Driver::UsableControl(long long id) {
  if (!NeedCurrent() || !Sync()) return nullptr;
  HWND control = FindControl(current_, id);
  if (control == nullptr) {
    failure_ = "the window " + Quoted(StoredText(current_)) + " has no control " + IdText(id);
  } else if (!IsWindowVisible(control)) {
    failure_ = "control " + IdText(id) + " (" + Quoted(StoredText(control)) + ") is hidden";
  } else if (!IsWindowEnabled(control)) {
    failure_ = "control " + IdText(id) + " (" + Quoted(StoredText(control)) + ") is disabled";
  } else if (!IsWindowEnabled(current_)) {
    failure_ = "the window " + Quoted(StoredText(current_)) + " is disabled (is a modal window open?)";
  } else {
    return control;
  }
  return nullptr;
}

bool Driver::WaitWindow(const Command& command) {
  std::string what;
  switch (command.op) {
    case Op::kWaitWindow:
      what = "a window with the caption " + Quoted(command.text);
      break;
    case Op::kWaitWindowClass:
      what = "a window of the class " + Quoted(command.text);
      break;
    default:
      what = "a new window";
      break;
  }
  HWND found = nullptr;
  auto ready = [&]() {
    const std::vector<HWND> windows = Windows();
    if (command.op == Op::kWaitWindowAny) {
      // The newest window that was never the current one.
      for (auto it = seen_.rbegin(); it != seen_.rend(); ++it) {
        if (it->reported && std::find(claimed_.begin(), claimed_.end(), it->window) == claimed_.end() &&
            std::find(windows.begin(), windows.end(), it->window) != windows.end()) {
          found = it->window;
          return true;
        }
      }
      return false;
    }
    for (HWND window : windows) {
      const std::wstring actual = command.op == Op::kWaitWindow ? StoredText(window) : ClassName(window);
      if (actual == command.text && Settled(window)) {
        found = window;
        return true;
      }
    }
    return false;
  };
  if (!WaitFor(ready, what, true)) return false;
  current_ = found;
  if (std::find(claimed_.begin(), claimed_.end(), found) == claimed_.end()) claimed_.push_back(found);
  Snapshot(found, "wait-window");
  return true;
}

bool Driver::WaitText(const Command& command) {
  if (!NeedCurrent()) return false;
  std::wstring last;
  bool present = false;
  bool gone = false;
  auto ready = [&]() {
    // Waiting on a window that went away cannot succeed.
    gone = !IsWindow(current_);
    if (gone) return true;
    HWND control = FindControl(current_, command.id);
    present = control != nullptr;
    if (!present) return false;
    last = ControlText(control, true);
    return last.find(command.text) != std::wstring::npos;
  };
  const std::string what = Quoted(command.text) + " in control " + IdText(command.id);
  const bool waited = WaitFor(ready, what, true);
  if (gone) {
    failure_ = "the current window went away while waiting for " + what;
    return false;
  }
  if (!waited) {
    if (present) {
      failure_ += "; its text is " + Quoted(last);
    } else {
      failure_ += "; the window has no such control";
    }
    return false;
  }
  Snapshot(current_, "wait-text");
  return true;
}

bool Driver::Click(const Command& command) {
  HWND control = UsableControl(command.id);
  if (control == nullptr) return false;
  if (!IsButtonClass(control) || ButtonType(control) == BS_GROUPBOX) {
    failure_ = "control " + IdText(command.id) + " is a " + Utf8(ClassName(control)) + ", not a button";
    return false;
  }
  // Posted, so that a click that opens a modal window or runs a long task
  // in the target does not hold up the driver.
  if (!PostMessageW(control, BM_CLICK, 0, 0)) {
    failure_ = "cannot post the click (error " + std::to_string(GetLastError()) + ")";
    return false;
  }
  return true;
}

bool Driver::Type(const Command& command) {
  HWND control = UsableControl(command.id);
  if (control == nullptr) return false;
  if (lstrcmpiW(ClassName(control).c_str(), L"Edit") == 0 && (GetWindowLongW(control, GWL_STYLE) & ES_READONLY)) {
    failure_ = "edit control " + IdText(command.id) + " is read-only";
    return false;
  }
  DWORD_PTR result = 0;
  if (!SendMessageTimeoutW(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(command.text.c_str()),
                           SMTO_ABORTIFHUNG | SMTO_BLOCK, kSetTextTimeoutMs, &result)) {
    failure_ = "control " + IdText(command.id) + " did not take the text in time";
    return false;
  }
  if (result == 0 || static_cast<LRESULT>(result) < 0) {
    failure_ = "control " + IdText(command.id) + " refused the text";
    return false;
  }
  return true;
}

bool Driver::SetCheck(const Command& command, bool checked) {
  HWND control = UsableControl(command.id);
  if (control == nullptr) return false;
  const LONG type = IsButtonClass(control) ? ButtonType(control) : -1;
  if (!IsCheckable(type)) {
    failure_ = "control " + IdText(command.id) + " is not a check box or radio button";
    return false;
  }
  if (!checked && (type == BS_RADIOBUTTON || type == BS_AUTORADIOBUTTON)) {
    failure_ = "radio button " + IdText(command.id) + " cannot be cleared by a click; check another one";
    return false;
  }
  const int wanted = checked ? BST_CHECKED : BST_UNCHECKED;
  // A three-state box may need two clicks; each click must change the state.
  for (int click = 0; click < 3; ++click) {
    const int before = CheckState(control);
    if (before == wanted) return true;
    if (before < 0) {
      failure_ = "control " + IdText(command.id) + " does not answer";
      return false;
    }
    if (!PostMessageW(control, BM_CLICK, 0, 0)) {
      failure_ = "cannot post the click (error " + std::to_string(GetLastError()) + ")";
      return false;
    }
    const std::string what = "control " + IdText(command.id) + " to change its state from " + std::to_string(before);
    if (!WaitFor([&]() { return CheckState(control) != before; }, what, true)) return false;
  }
  failure_ = "control " + IdText(command.id) + " does not take the state " + std::to_string(wanted);
  return false;
}

bool Driver::PressKey(const Command& command) {
  if (!NeedCurrent() || !Sync()) return false;
  if (!IsWindowEnabled(current_)) {
    failure_ = "the window " + Quoted(StoredText(current_)) + " is disabled (is a modal window open?)";
    return false;
  }
  // Keys go to the control with the focus; the dialog manager sees them in
  // the target's message loop just as typed ones.
  HWND to = FocusedWindow(current_);
  if (to != current_ && !IsChild(current_, to)) to = current_;
  const UINT vk = command.key.vk;
  const UINT scan = MapVirtualKeyW(vk, MAPVK_VK_TO_VSC);
  bool extended = false;
  switch (vk) {
    case VK_UP:
    case VK_DOWN:
    case VK_LEFT:
    case VK_RIGHT:
    case VK_HOME:
    case VK_END:
    case VK_PRIOR:
    case VK_NEXT:
    case VK_DELETE:
      extended = true;
      break;
    default:
      break;
  }
  const DWORD down = 1u | (scan << 16) | (extended ? 1u << 24 : 0u) | (command.key.alt ? 1u << 29 : 0u);
  const DWORD up = down | (1u << 30) | (1u << 31);
  const UINT downMsg = command.key.alt ? WM_SYSKEYDOWN : WM_KEYDOWN;
  const UINT upMsg = command.key.alt ? WM_SYSKEYUP : WM_KEYUP;
  if (!PostMessageW(to, downMsg, vk, static_cast<LPARAM>(down)) ||
      !PostMessageW(to, upMsg, vk, static_cast<LPARAM>(up))) {
    failure_ = "cannot post the key (error " + std::to_string(GetLastError()) + ")";
    return false;
  }
  return true;
}

bool Driver::Close() {
  if (!NeedCurrent() || !Sync()) return false;
  const LONG style = GetWindowLongW(current_, GWL_STYLE);
  const bool closeBox = (style & WS_SYSMENU) != 0 && (style & WS_CAPTION) == WS_CAPTION &&
                        (GetClassLongW(current_, GCL_STYLE) & CS_NOCLOSE) == 0;
  if (!closeBox) {
    failure_ = "the window " + Quoted(StoredText(current_)) + " has no close box";
    return false;
  }
  if (!IsWindowEnabled(current_)) {
    failure_ = "the window " + Quoted(StoredText(current_)) + " is disabled (is a modal window open?)";
    return false;
  }
  if (!PostMessageW(current_, WM_SYSCOMMAND, SC_CLOSE, 0)) {
    failure_ = "cannot post the close command (error " + std::to_string(GetLastError()) + ")";
    return false;
  }
  return true;
}

bool Driver::WaitExit() {
  return WaitFor([&]() { return exitReported_; }, "the target to end", false);
}

void Driver::Sleep(DWORD ms) {
  const ULONGLONG end = GetTickCount64() + ms;
  do {
    Poll();
    const ULONGLONG now = GetTickCount64();
    if (now >= end) break;
    ::Sleep(static_cast<DWORD>(std::min<ULONGLONG>(kPollMs, end - now)));
  } while (true);
}

bool Driver::Execute(const Command& command) {
  switch (command.op) {
    case Op::kWaitWindow:
    case Op::kWaitWindowClass:
    case Op::kWaitWindowAny:
      return WaitWindow(command);
    case Op::kWaitText:
      return WaitText(command);
    case Op::kSnapshot:
      // Keys and clicks are posted: the snapshot shows what they did.
      if (!NeedCurrent() || !Sync(true)) return false;
      Snapshot(current_, "snapshot");
      return true;
    case Op::kClick:
      return Click(command);
    case Op::kType:
      return Type(command);
    case Op::kCheck:
      return SetCheck(command, true);
    case Op::kUncheck:
      return SetCheck(command, false);
    case Op::kKey:
      return PressKey(command);
    case Op::kClose:
      return Close();
    case Op::kWaitGone: {
      if (current_ == nullptr) return NeedCurrent();
      HWND window = current_;
      return WaitFor([&]() { return !IsWindow(window); }, "the window " + Quoted(StoredText(window)) + " to go away",
                     false);
    }
    case Op::kWaitExit:
      return WaitExit();
    case Op::kSleep:
      Sleep(static_cast<DWORD>(command.number));
      return true;
    case Op::kTimeout:
      timeoutMs_ = static_cast<DWORD>(command.number * 1000);
      return true;
    case Op::kMoveFile:
      if (MoveFileW(command.text.c_str(), command.target.c_str()) == FALSE) {
        failure_ = "cannot move the file (error " + std::to_string(GetLastError()) + ")";
        return false;
      }
      return true;
  }
  return false;
}

void Driver::KillTree() {
  // A target that ended on its own just before keeps its own exit code.
  killed_ = !exitReported_ && WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT;
  std::vector<HANDLE> handles{process_.hProcess};
  for (const Child& child : followed_) handles.push_back(child.handle);
  for (HANDLE handle : handles) {
    if (WaitForSingleObject(handle, 0) == WAIT_TIMEOUT) TerminateProcess(handle, kKilledExitCode);
  }
  for (HANDLE handle : handles) WaitForSingleObject(handle, 5000);
}

void Driver::Fail(int line, const std::string& source) {
  Json event = Event("error");
  event.Num("line", line).Str("command", source).Str("message", failure_);
  std::vector<std::string> windows;
  for (HWND window : Windows()) {
    Json snapshot;
    AddSnapshot(window, "error", snapshot);
    windows.push_back(snapshot.Text());
  }
  event.Raw("windows", JsonArray(windows));
  Emit(event);
  KillTree();
  Poll();
}

int Driver::Run(const std::vector<Command>& commands) {
  if (!Start()) return kTargetNotStarted;
  for (const Command& command : commands) {
    Json step = Event("step");
    step.Num("line", command.line).Str("command", command.source);
    Emit(step);
    if (!Execute(command)) {
      Fail(command.line, command.source);
      return kStepFailed;
    }
  }
  if (!exitReported_ && !WaitExit()) {
    failure_ = "the target did not end within " + std::to_string(timeoutMs_ / 1000) + " s after the script";
    Fail(0, "");
    return kStepFailed;
  }
  // Programs that the target started and left running would outlive the run.
  for (const Child& child : followed_) {
    if (WaitForSingleObject(child.handle, 0) != WAIT_TIMEOUT) continue;
    Json event = Event("leftover");
    event.Num("pid", child.pid);
    Emit(event);
    TerminateProcess(child.handle, kKilledExitCode);
  }
  return kScriptPassed;
}

}  // namespace quillon::guidriver
