// guidriver: starts a Windows program, records its windows as they appear and
// plays a script of user actions against them. Events go to stdout, one JSON
// object per line.
//
// With --serve it runs one request after another, each a line on standard
// input holding the arguments of a run separated by tabs, and ends each run
// with a "done" event carrying the run's exit code: a test session then
// starts the driver once instead of once per run, which under an emulated CPU
// is a good part of each run's time. The runs share the driver's environment,
// which its targets inherit.
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
    "usage: guidriver.exe [--shots DIR] [--timeout SECONDS] [--cwd DIR] SCRIPT -- TARGET.exe "
    "[ARGS...]\n"
    "       guidriver.exe --serve    (one run per line of standard input, arguments separated by tabs)\n"
    "SCRIPT is a file, or - for standard input.\n";

void EmitLine(const Json& event) {
  // Nothing is left to do about a failed write when the run ends anyway.
  static_cast<void>(std::printf("%s\n", event.Text().c_str()));
  static_cast<void>(std::fflush(stdout));
}

int UsageError(const std::string& message) {
  Json event;
  event.Str("event", "error").Num("line", 0).Str("command", "").Str("message", message);
  EmitLine(event);
  static_cast<void>(std::fprintf(stderr, "guidriver: %s\n%s", message.c_str(), kUsage));
  return quillon::guidriver::kBadUsage;
}

bool ReadAll(FILE* file, std::string& out) {
  char buffer[4096];
  size_t got = 0;
  while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) out.append(buffer, got);
  return std::ferror(file) == 0;
}

// The script's text, or an empty message: what went wrong.
std::string ReadScript(const std::wstring& path, std::string& text) {
  if (path == L"-") return ReadAll(stdin, text) ? "" : "cannot read the script from standard input";
  FILE* file = _wfopen(path.c_str(), L"rb");
  if (file == nullptr) return "cannot open the script " + quillon::guidriver::Utf8(path);
  const bool read = ReadAll(file, text);
  static_cast<void>(std::fclose(file));  // opened for reading only
  return read ? "" : "cannot read the script " + quillon::guidriver::Utf8(path);
}

// One run: the arguments as on the command line, without the program name.
int RunOnce(const std::vector<std::wstring>& args, bool scriptMayBeStdin) {
  using namespace quillon::guidriver;
  Options options;
  size_t i = 0;
  for (; i < args.size(); ++i) {
    const std::wstring& arg = args[i];
    const bool takesValue = arg == L"--shots" || arg == L"--timeout" || arg == L"--cwd";
    if (!takesValue) break;
    if (i + 1 >= args.size()) return UsageError(Utf8(arg) + " needs a value");
    const std::wstring& value = args[++i];
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
  if (i >= args.size()) return UsageError("the script is missing");
  options.scriptPath = args[i++];
  if (i >= args.size() || args[i] != L"--") return UsageError("'--' and the target program are missing");
  ++i;
  if (i >= args.size()) return UsageError("the target program is missing");
  options.target.assign(args.begin() + static_cast<std::ptrdiff_t>(i), args.end());

  if (options.scriptPath == L"-" && !scriptMayBeStdin) {
    return UsageError("the script cannot come from standard input, which brings the requests");
  }
  std::string text;
  const std::string unread = ReadScript(options.scriptPath, text);
  if (!unread.empty()) return UsageError(unread);

  std::vector<Command> commands;
  ScriptError error;
  if (!ParseScript(text, commands, error)) {
    Json event;
    event.Str("event", "error").Num("line", error.line).Str("command", "").Str("message", error.message);
    EmitLine(event);
    static_cast<void>(std::fprintf(stderr, "guidriver: script line %d: %s\n", error.line, error.message.c_str()));
    return kBadUsage;
  }
  if (!options.shotsDir.empty()) CreateDirectoryW(options.shotsDir.c_str(), nullptr);

  Driver driver(std::move(options));
  return driver.Run(commands);
}

bool ReadRequest(std::string& line) {
  line.clear();
  for (int c = std::getchar(); c != EOF; c = std::getchar()) {
    if (c == '\n') return true;
    line += static_cast<char>(c);
  }
  return !line.empty();
}

int Serve() {
  std::string line;
  while (ReadRequest(line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::vector<std::wstring> args;
    for (size_t start = 0;;) {
      const size_t tab = line.find('\t', start);
      args.push_back(quillon::guidriver::Wide(std::string_view(line).substr(start, tab - start)));
      if (tab == std::string::npos) break;
      start = tab + 1;
    }
    const int code = RunOnce(args, false);
    Json done;
    done.Str("event", "done").Num("code", code);
    EmitLine(done);
  }
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stdin), _O_BINARY);
  if (argc == 2 && std::wstring(argv[1]) == L"--serve") return Serve();
  return RunOnce(std::vector<std::wstring>(argv + 1, argv + argc), true);
}
