#include "fs/directory_win32.h"

#include <windows.h>

#include "base/fatal_win32.h"
#include "fs/code_page_win32.h"

namespace quillon {

bool PathExists(const char* path) {
  return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}

bool CreateDirectoryPath(const char* directory, void (*created)(const char* path)) {
  PathText d(directory);
  ToBackslashes(d.data(), IsSystemLeadByte);
  StripBackslash(d.data(), IsSystemLeadByte);
  d.Resync();
  if (d.length() < 3) return d.empty() || PathExists(d.data());
  // Creating is the look: a directory that is there fails with its own error,
  // and only a missing parent sends the walk upwards.
  if (CreateDirectoryA(d.c_str(), nullptr) == FALSE) {
    DWORD error = GetLastError();
    if (error == ERROR_PATH_NOT_FOUND) {
      CreateDirectoryPath(DirectoryPart(d.c_str(), IsSystemLeadByte).c_str(), created);
      error = CreateDirectoryA(d.c_str(), nullptr) != FALSE ? ERROR_SUCCESS : GetLastError();
    }
    // Some systems answer "access denied" for a directory that exists.
    if (error == ERROR_ALREADY_EXISTS || (error != ERROR_SUCCESS && PathExists(d.data()))) return true;
    if (error != ERROR_SUCCESS) FatalError(error);
  }
  if (created != nullptr) created(d.c_str());
  return true;
}

bool IsPlainOrMissingDirectory(const char* directory) {
  constexpr DWORD kReparsePoint = 0x00000400;  // FILE_ATTRIBUTE_REPARSE_POINT, unknown to the 9x headers
  const DWORD attributes = GetFileAttributesA(directory);
  return attributes == INVALID_FILE_ATTRIBUTES || (attributes & kReparsePoint) == 0;
}

}  // namespace quillon
