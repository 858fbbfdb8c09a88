#include "install/inf_command.h"

namespace quillon {

PathText BuildInfPath(const char* infText, const char* workDirectory) {
  PathText path;
  for (const char* p = infText; *p != '\0' && *p != '|'; ++p) {
    if (p[0] == '>' && p[1] == '<') {
      path.Append(workDirectory);
      ++p;
    } else {
      path.Append(*p);
    }
  }
  return path;
}

CommandText BuildCommandLine(const char* prefix, const char* infPath) {
  CommandText command(prefix);
  command.Append(kInstallSection).Append(infPath);
  return command;
}

}  // namespace quillon
