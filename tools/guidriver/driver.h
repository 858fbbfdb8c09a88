// Runs a target program and a script against its windows.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "json.h"
#include "script.h"

namespace quillon::guidriver {

struct Options {
  std::wstring shotsDir;  // empty: no screenshots
  DWORD timeoutMs = 20000;
  std::wstring cwd;  // empty: the driver's own
  std::wstring scriptPath;
  std::vector<std::wstring> target;  // program and its arguments
};

// Exit codes of the driver.
enum ExitCode : int {
  kScriptPassed = 0,
  kStepFailed = 1,
  kBadUsage = 2,
  kTargetNotStarted = 3,
};

class Driver {
 public:
  explicit Driver(Options options);
  ~Driver();
  Driver(const Driver&) = delete;
  Driver& operator=(const Driver&) = delete;

  // Starts the target, runs the commands and waits for the target to end.
  int Run(const std::vector<Command>& commands);

 private:
  struct Seen {
    HWND window;
    ULONGLONG firstSeen;
    bool reported;
  };

  Json Event(const char* name) const;
  void Emit(const Json& event) const;

  bool Start();
  // Adds the processes started by the ones already followed.
  void FollowChildren();
  bool TreeAlive() const;
  // Visible top-level windows of the target and its child processes, topmost first.
  std::vector<HWND> Windows() const;
  // Records windows that appeared or went away, and the end of the target.
  void Poll();
  bool Settled(HWND window) const;
  void Snapshot(HWND window, const char* reason);
  void AddSnapshot(HWND window, const char* reason, Json& out);

  // Polls until ready() holds or the step's time is up; fills failure_.
  template <typename Ready>
  bool WaitFor(Ready ready, const std::string& what, bool needsTarget);

  bool Execute(const Command& command);
  bool WaitWindow(const Command& command);
  bool WaitText(const Command& command);
  bool Click(const Command& command);
  bool Type(const Command& command);
  bool SetCheck(const Command& command, bool checked);
  bool PressKey(const Command& command);
  bool Close();
  bool WaitExit();
  void Sleep(DWORD ms);

  bool NeedCurrent();
  // Waits until the thread of the current window has handled all that was
  // posted to it before, so that the next action or snapshot sees the state
  // that a user would (the focus, enabled controls, texts). A busy thread
  // holds this up until the step's time is up; with record_busy, a thread
  // that answers no message for kSettleMs ends the wait early instead, so
  // that a busy window can be recorded as it is.
  bool Sync(bool recordBusy = false);
  // The control as a user could reach it: present, visible, enabled, in an
  // enabled window.
  HWND UsableControl(long long id);
  void Fail(int line, const std::string& source);
  void KillTree();

  Options options_;
  ULONGLONG startTick_;
  DWORD timeoutMs_;
  PROCESS_INFORMATION process_{};
  struct Child {
    DWORD pid;
    HANDLE handle;
    ULONGLONG created;  // FILETIME ticks
  };
  std::vector<Child> followed_;  // processes started by the target and its children
  ULONGLONG targetCreated_ = 0;
  bool exitReported_ = false;
  bool killed_ = false;
  std::vector<Seen> seen_;
  std::vector<HWND> claimed_;
  HWND current_ = nullptr;
  int snapshotSeq_ = 0;
  std::string failure_;
};

}  // namespace quillon::guidriver
