// The driver's script: one command per line, '#' starts a comment line.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace quillon::guidriver {

// Enumerators carry k: plain names such as MoveFile are Windows macros.
enum class Op {
  kWaitWindow,       // wait-window CAPTION
  kWaitWindowClass,  // wait-window-class CLASS
  kWaitWindowAny,    // wait-window-any
  kWaitText,         // wait-text ID SUBSTRING
  kSnapshot,         // snapshot
  kClick,            // click ID
  kType,             // type ID TEXT
  kCheck,            // check ID
  kUncheck,          // uncheck ID
  kKey,              // key NAME
  kClose,            // close
  kWaitGone,         // wait-gone
  kWaitExit,         // wait-exit
  kSleep,            // sleep MS
  kTimeout,          // timeout SECONDS
  kMoveFile,         // move-file FROM|TO
};

// A key as the keyboard would deliver it.
struct Key {
  unsigned vk = 0;
  bool alt = false;
};

struct Command {
  int line = 0;
  Op op = Op::kSnapshot;
  std::string source;    // the line as written, for reports
  long long id = 0;      // control id
  std::wstring text;     // caption, class, substring or text to type; the source of move-file
  std::wstring target;   // the destination of move-file
  long long number = 0;  // milliseconds or seconds
  Key key;
};

struct ScriptError {
  int line = 0;
  std::string message;
};

// Parses the UTF-8 script text. Returns false and fills the error on the
// first line that is not a valid command.
bool ParseScript(std::string_view text, std::vector<Command>& commands, ScriptError& error);

// A control id: decimal, 0x hexadecimal, negative, or IDOK, IDCANCEL and the
// other standard dialog ids.
bool ParseId(std::string_view word, long long& id);

// Key names: enter, escape, tab, space, up, down, left, right, home, end,
// pageup, pagedown, delete, backspace, f1-f12, alt+f4.
bool ParseKey(std::string_view name, Key& key);

}  // namespace quillon::guidriver
