// The setup engine's command line:
//
//   <runner prefix>,InstallHinfSection DefaultInstall 132 <INF path>
//
// where the INF path comes from the package's INF text: cut before the first
// "|", every "><" replaced by the work directory with a trailing backslash.
#pragma once

#include "fs/path.h"

namespace quillon {

constexpr char kRunner9xPrefix[] = "RunDll.exe SetupX.dll";
constexpr char kRunnerNtPrefix[] = "RunDll32.exe SetupApi.dll";
constexpr char kInstallSection[] = ",InstallHinfSection DefaultInstall 132 ";

using CommandText = FixedText<kMaxPath + sizeof kRunnerNtPrefix + sizeof kInstallSection>;

// The INF path before it is shortened. workDirectory ends with a backslash.
// Its overflowed() tells a path too long for the file functions. The text is
// read in characters: a "|" that is the second byte of one cuts nothing.
[[nodiscard]] PathText BuildInfPath(const char* infText, const char* workDirectory, LeadByteTest isLead);

[[nodiscard]] CommandText BuildCommandLine(const char* prefix, const char* infPath);

}  // namespace quillon
