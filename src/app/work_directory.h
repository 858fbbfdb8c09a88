// The per-run work directory: a base directory followed by "\$Quillon.Tmp".
// The base is the temporary directory, or the system directory when the
// temporary one is unusable: a one-character path, the current directory
// itself, a path with a space, a path the query could not deliver, or one too
// long to leave room for the suffix.
#pragma once

#include <cstdint>

#include "fs/path.h"

namespace quillon {

constexpr char kWorkDirectorySuffix[] = "\\$Quillon.Tmp";

// tempPath and tempLength are what GetTempPathA reported for a buffer of 254
// bytes (0 on failure, more than 253 when the path did not fit). Writes a
// NUL-terminated path into workDirectory; never writes past its 256 bytes.
// The paths are in the code page that isLead belongs to.
void ChooseWorkDirectory(const char* tempPath, uint32_t tempLength, const char* startDirectory,
                         const char* systemDirectory, char workDirectory[kDirectoryBufferSize], LeadByteTest isLead);

}  // namespace quillon
