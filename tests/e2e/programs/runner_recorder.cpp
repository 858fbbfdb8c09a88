// Stands in for the setup engine's runner in the end-to-end tests. Each run
// appends one record to the file named by the environment variable
// QUILLON_RECORD:
//
//   cmdline=<the command line as GetCommandLineA gives it>
//   cwd=<the current directory>
//   exe=<the program file that ran>
//   show=<STARTUPINFO dwFlags>,<wShowWindow>
//   inf=<long form of the path after " 132 ", or "-" when it names no file>
//   end
//
// Further variables:
//   QUILLON_RECORD_EXIT   exit code (default 0; "0xFFFFFFFF" for -1)
//   QUILLON_RECORD_SLEEP  milliseconds to wait before ending
//   QUILLON_RECORD_COPY   a directory that receives a copy of the current
//                         directory's tree (file times kept), taken before
//                         the record is written: the work directory as the
//                         setup engine found it
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

std::string Variable(const char* name) {
  char value[1024] = {};
  const DWORD length = GetEnvironmentVariableA(name, value, sizeof value);
  return length > 0 && length < sizeof value ? std::string(value, length) : std::string();
}

// Copies the tree below source into target, which is created.
void CopyTree(const std::string& source, const std::string& target) {
  CreateDirectoryA(target.c_str(), nullptr);
  WIN32_FIND_DATAA found;
  const HANDLE search = FindFirstFileA((source + "\\*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    const std::string name = found.cFileName;
    if (name == "." || name == "..") continue;
    const std::string from = source + "\\" + name;
    const std::string to = target + "\\" + name;
    if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
      CopyTree(from, to);
    } else {
      CopyFileA(from.c_str(), to.c_str(), FALSE);
    }
  } while (FindNextFileA(search, &found));
  FindClose(search);
}

// The long form of the INF path that ends the setup engine's command line.
std::string InfLongPath(const char* commandLine) {
  const char* marker = std::strstr(commandLine, " 132 ");
  if (marker == nullptr) return "-";
  char longPath[MAX_PATH * 2] = {};
  const DWORD length = GetLongPathNameA(marker + 5, longPath, sizeof longPath);
  return length > 0 && length < sizeof longPath ? std::string(longPath, length) : std::string("-");
}

}  // namespace

int main() {
  char directory[MAX_PATH] = {};
  GetCurrentDirectoryA(MAX_PATH, directory);
  const std::string copy = Variable("QUILLON_RECORD_COPY");
  if (!copy.empty()) CopyTree(directory, copy);

  char program[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, program, MAX_PATH);
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  GetStartupInfoA(&startup);
  const std::string record = Variable("QUILLON_RECORD");
  if (!record.empty()) {
    if (FILE* out = std::fopen(record.c_str(), "ab")) {
      std::fprintf(out, "cmdline=%s\ncwd=%s\nexe=%s\nshow=%lu,%u\ninf=%s\nend\n", GetCommandLineA(), directory, program,
                   startup.dwFlags, startup.wShowWindow, InfLongPath(GetCommandLineA()).c_str());
      std::fclose(out);
    }
  }
  const std::string sleep = Variable("QUILLON_RECORD_SLEEP");
  if (!sleep.empty()) Sleep(std::strtoul(sleep.c_str(), nullptr, 0));
  const std::string exitText = Variable("QUILLON_RECORD_EXIT");
  return exitText.empty() ? 0 : static_cast<int>(std::strtoul(exitText.c_str(), nullptr, 0));
}
