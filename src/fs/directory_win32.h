#pragma once

#include "fs/path.h"

namespace quillon {

// Whether a file or directory is at path ("\" separated, no trailing "\").
[[nodiscard]] bool PathExists(const char* path);

// Creates directory and every missing parent, top down. Each directory it
// creates is passed to created (when given), parents first; a file or
// directory already there under a name counts as made. A directory that
// cannot be created ends the program with the fatal-error report. False only
// for a drive or relative name of under three characters that is not there.
bool CreateDirectoryPath(const char* directory, void (*created)(const char* path) = nullptr);

// Whether the work directory may be written into: it does not exist yet, or
// it is a plain directory. A junction or symbolic link in its place would lead
// every file somewhere else, so it is refused.
[[nodiscard]] bool IsPlainOrMissingDirectory(const char* directory);

}  // namespace quillon
