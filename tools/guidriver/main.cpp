// guidriver: starts a Windows program, records its windows as they appear and
// plays a script of user actions against them. Events go to stdout, one JSON
// object per line.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "driver.h"
#include "json.h"
#include "script.h"

namespace {

using quillon::guidriver::Json;

constexpr const char* kUsage =
    "usage: guidriver.exe [--shots DIR] [--timeout SECONDS] [--cwd DIR] SCRIPT -- TARGET.exe [ARGS...]\n"
    "SCRIPT is a file, or - for standard input.\n";

int UsageError(const std::string& message) {
  Json event;
  event.Str("event", "error").Num("line", 0).Str("command", "").Str("message", message);
  // Nothing is left to do about a failed write when the run ends anyway.
  static_cast<void>(std::printf("%s\n", event.Text().c_str()));
  static_cast<void>(std::fflush(stdout));
  static_cast<void>(std::fprintf(stderr, "guidriver: %s\n%s", message.c_str(), kUsage));
  return quillon::guidriver::kBadUsage;
}

bool ReadAll(FILE* file, std::string& out) {
  char buffer[4096];
  size_t got = 0;
  while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) out.append(buffer, got);
  return std::ferror(file) == 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  using namespace quillon::guidriver;
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stdin), _O_BINARY);

  Options options;
  int i = 1;
  for (; i < argc; ++i) {
    const std::wstring arg = argv[i];
    const bool takesValue = arg == L"--shots" || arg == L"--timeout" || arg == L"--cwd";
    if (!takesValue) break;
    if (i + 1 >= argc) return UsageError(Utf8(arg) + " needs a value");
    const std::wstring value = argv[++i];
    if (arg == L"--shots") {
      options.shotsDir = value;
    } else if (arg == L"--cwd") {
      options.cwd = value;
    } else {
      wchar_t* end = nullptr;
      const double seconds = std::wcstod(value.c_str(), &end);
      if (end == value.c_str() || *end != L'\0' || !(seconds > 0) || seconds > 86400) {
        return UsageError("--timeout needs a number of seconds, not '" + Utf8(value) + "'");
      }
      options.timeoutMs = static_cast<DWORD>(seconds * 1000);
    }
  }
  if (i >= argc) return UsageError("the script is missing");
  options.scriptPath = argv[i++];
  if (i >= argc || std::wstring(argv[i]) != L"--") return UsageError("'--' and the target program are missing");
  ++i;
  if (i >= argc) return UsageError("the target program is missing");
  for (; i < argc; ++i) options.target.emplace_back(argv[i]);

  std::string text;
  if (options.scriptPath == L"-") {
    if (!ReadAll(stdin, text)) return UsageError("cannot read the script from standard input");
  } else {
    FILE* file = _wfopen(options.scriptPath.c_str(), L"rb");
    if (file == nullptr) return UsageError("cannot open the script " + Utf8(options.scriptPath));
    const bool read = ReadAll(file, text);
    static_cast<void>(std::fclose(file));  // opened for reading only
    if (!read) return UsageError("cannot read the script " + Utf8(options.scriptPath));
  }

  std::vector<Command> commands;
  ScriptError error;
  if (!ParseScript(text, commands, error)) {
    Json event;
    event.Str("event", "error").Num("line", error.line).Str("command", "").Str("message", error.message);
    static_cast<void>(std::printf("%s\n", event.Text().c_str()));
    static_cast<void>(std::fflush(stdout));
    static_cast<void>(std::fprintf(stderr, "guidriver: script line %d: %s\n", error.line, error.message.c_str()));
    return kBadUsage;
  }
  if (!options.shotsDir.empty()) CreateDirectoryW(options.shotsDir.c_str(), nullptr);

  Driver driver(std::move(options));
  return driver.Run(commands);
}
