// Stands in for the setup engine's runner in the end-to-end tests: appends
// its command line and current directory to the file named by the
// environment variable QUILLON_RECORD (one "cmdline=" and one "cwd=" line per
// run) and ends with the exit code in QUILLON_RECORD_EXIT (default 0).
#include <windows.h>

#include <cstdio>
#include <cstdlib>

int main() {
  char recordPath[MAX_PATH] = {};
  char exitText[32] = {};
  char directory[MAX_PATH] = {};
  GetEnvironmentVariableA("QUILLON_RECORD", recordPath, MAX_PATH);
  GetEnvironmentVariableA("QUILLON_RECORD_EXIT", exitText, sizeof exitText);
  GetCurrentDirectoryA(MAX_PATH, directory);
  if (recordPath[0] != '\0') {
    if (FILE* out = std::fopen(recordPath, "ab")) {
      std::fprintf(out, "cmdline=%s\ncwd=%s\n", GetCommandLineA(), directory);
      std::fclose(out);
    }
  }
  return exitText[0] != '\0' ? static_cast<int>(std::strtoul(exitText, nullptr, 0)) : 0;
}
