#include "script.h"

#include <windows.h>

#include <cctype>
#include <charconv>

#include "json.h"

namespace quillon::guidriver {
namespace {

bool SameWord(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
  }
  return true;
}

bool IsSpace(char c) {
  return c == ' ' || c == '\t';
}

// Splits off the first word; the rest starts at the next non-blank.
std::string_view NextWord(std::string_view& rest) {
  size_t end = 0;
  while (end < rest.size() && !IsSpace(rest[end])) ++end;
  std::string_view word = rest.substr(0, end);
  while (end < rest.size() && IsSpace(rest[end])) ++end;
  rest.remove_prefix(end);
  return word;
}

bool ParseNumber(std::string_view word, long long& value) {
  if (word.empty()) return false;
  const auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), value);
  return error == std::errc() && end == word.data() + word.size();
}

struct OpName {
  const char* name;
  Op op;
};

constexpr OpName kOps[] = {
    {"wait-window", Op::kWaitWindow},
    {"wait-window-class", Op::kWaitWindowClass},
    {"wait-window-any", Op::kWaitWindowAny},
    {"wait-text", Op::kWaitText},
    {"snapshot", Op::kSnapshot},
    {"click", Op::kClick},
    {"type", Op::kType},
    {"check", Op::kCheck},
    {"uncheck", Op::kUncheck},
    {"key", Op::kKey},
    {"close", Op::kClose},
    {"wait-gone", Op::kWaitGone},
    {"wait-exit", Op::kWaitExit},
    {"sleep", Op::kSleep},
    {"timeout", Op::kTimeout},
    {"move-file", Op::kMoveFile},
};

bool ParseLine(std::string_view line, Command& command, std::string& error) {
  std::string_view rest = line;
  const std::string_view name = NextWord(rest);
  bool known = false;
  for (const OpName& op : kOps) {
    if (name == op.name) {
      command.op = op.op;
      known = true;
    }
  }
  if (!known) {
    error = "unknown command '" + std::string(name) + "'";
    return false;
  }
  auto wantId = [&]() {
    const std::string_view word = NextWord(rest);
    if (ParseId(word, command.id)) return true;
    error = word.empty() ? "a control id is missing" : "'" + std::string(word) + "' is not a control id";
    return false;
  };
  auto wantNothing = [&]() {
    if (rest.empty()) return true;
    error = "unexpected '" + std::string(rest) + "'";
    return false;
  };
  switch (command.op) {
    case Op::kWaitWindow:
    case Op::kWaitWindowClass:
      if (rest.empty()) {
        error = command.op == Op::kWaitWindow ? "the caption is missing" : "the class name is missing";
        return false;
      }
      command.text = Wide(rest);
      return true;
    case Op::kWaitText:
    case Op::kType:
      if (!wantId()) return false;
      command.text = Wide(rest);
      return true;
    case Op::kClick:
    case Op::kCheck:
    case Op::kUncheck:
      return wantId() && wantNothing();
    case Op::kKey: {
      const std::string_view word = NextWord(rest);
      if (!ParseKey(word, command.key)) {
        error = word.empty() ? "the key name is missing" : "unknown key '" + std::string(word) + "'";
        return false;
      }
      return wantNothing();
    }
    case Op::kSleep:
    case Op::kTimeout: {
      const std::string_view word = NextWord(rest);
      if (!ParseNumber(word, command.number) || command.number < 0 || command.number > 86400000) {
        error =
            "'" + std::string(word) + "' is not a number of " + (command.op == Op::kSleep ? "milliseconds" : "seconds");
        return false;
      }
      if (command.op == Op::kTimeout && (command.number == 0 || command.number > 86400)) {
        error = "the timeout must be between 1 and 86400 seconds";
        return false;
      }
      return wantNothing();
    }
    case Op::kMoveFile: {
      // '|' cannot occur in a Windows path, so it separates the two.
      const size_t bar = rest.find('|');
      if (bar == std::string_view::npos || bar == 0 || bar + 1 == rest.size()) {
        error = "move-file wants FROM|TO";
        return false;
      }
      command.text = Wide(rest.substr(0, bar));
      command.target = Wide(rest.substr(bar + 1));
      return true;
    }
    case Op::kWaitWindowAny:
    case Op::kSnapshot:
    case Op::kClose:
    case Op::kWaitGone:
    case Op::kWaitExit:
      return wantNothing();
  }
  return false;
}

}  // namespace

bool ParseId(std::string_view word, long long& id) {
  struct Named {
    const char* name;
    int id;
  };
  static constexpr Named kNamed[] = {{"IDOK", IDOK},
                                     {"IDCANCEL", IDCANCEL},
                                     {"IDABORT", IDABORT},
                                     {"IDRETRY", IDRETRY},
                                     {"IDIGNORE", IDIGNORE},
                                     {"IDYES", IDYES},
                                     {"IDNO", IDNO},
                                     {"IDCLOSE", IDCLOSE},
                                     {"IDHELP", IDHELP},
                                     {"IDTRYAGAIN", IDTRYAGAIN},
                                     {"IDCONTINUE", IDCONTINUE}};
  for (const Named& named : kNamed) {
    if (SameWord(word, named.name)) {
      id = named.id;
      return true;
    }
  }
  if (word.size() > 2 && word[0] == '0' && (word[1] == 'x' || word[1] == 'X')) {
    std::string_view digits = word.substr(2);
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), id, 16);
    return error == std::errc() && end == digits.data() + digits.size() && id <= 0xFFFFFFFFLL;
  }
  return ParseNumber(word, id) && id >= -0x80000000LL && id <= 0xFFFFFFFFLL;
}

bool ParseKey(std::string_view name, Key& key) {
  struct Named {
    const char* name;
    unsigned vk;
  };
  static constexpr Named kKeys[] = {
      {"enter", VK_RETURN}, {"return", VK_RETURN}, {"escape", VK_ESCAPE}, {"esc", VK_ESCAPE},
      {"tab", VK_TAB},      {"space", VK_SPACE},   {"up", VK_UP},         {"down", VK_DOWN},
      {"left", VK_LEFT},    {"right", VK_RIGHT},   {"home", VK_HOME},     {"end", VK_END},
      {"pageup", VK_PRIOR}, {"pagedown", VK_NEXT}, {"delete", VK_DELETE}, {"backspace", VK_BACK},
  };
  key = Key{};
  if (name.size() > 4 && SameWord(name.substr(0, 4), "alt+")) {
    key.alt = true;
    name.remove_prefix(4);
  }
  for (const Named& named : kKeys) {
    if (SameWord(name, named.name)) {
      key.vk = named.vk;
      return true;
    }
  }
  if (name.size() >= 2 && name.size() <= 3 && (name[0] == 'f' || name[0] == 'F')) {
    long long number = 0;
    if (ParseNumber(name.substr(1), number) && number >= 1 && number <= 12) {
      key.vk = static_cast<unsigned>(VK_F1 + number - 1);
      return true;
    }
  }
  return false;
}

bool ParseScript(std::string_view text, std::vector<Command>& commands, ScriptError& error) {
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  int number = 0;
  while (!text.empty()) {
    ++number;
    const size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    while (!line.empty() && IsSpace(line.front())) line.remove_prefix(1);
    if (line.empty() || line.front() == '#') continue;
    Command command;
    command.line = number;
    command.source = std::string(line);
    std::string message;
    if (!ParseLine(line, command, message)) {
      error = {number, message};
      return false;
    }
    commands.push_back(std::move(command));
  }
  return true;
}

}  // namespace quillon::guidriver
