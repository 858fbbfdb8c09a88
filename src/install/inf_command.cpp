#include "install/inf_command.h"

namespace quillon {

PathText BuildInfPath(const char* infText, const char* workDirectory, LeadByteTest isLead) {
  PathText path;
  for (const char* p = infText; *p != '\0' && *p != '|';) {
    if (p[0] == '>' && p[1] == '<') {
      path.Append(workDirectory);
      p += 2;
    } else {
      const int32_t length = CharacterLength(p, isLead);
      path.Append(p, length);
      p += length;
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
