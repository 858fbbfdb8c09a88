#include "fs/directory_win32.h"

#include <windows.h>

#include "app/fatal_win32.h"
#include "fs/code_page_win32.h"

namespace quillon {

bool PathExists(char* path) {
  WIN32_FIND_DATAA found;
  HANDLE search = INVALID_HANDLE_VALUE;
  if (EndsWithBackslash(path, IsSystemLeadByte)) {
    PathText pattern(path);
    pattern.Append("*.*");
    if (pattern.overflowed()) return false;
    ToBackslashes(pattern.data(), IsSystemLeadByte);
    search = FindFirstFileA(pattern.c_str(), &found);
  } else {
    ToBackslashes(path, IsSystemLeadByte);
    search = FindFirstFileA(path, &found);
  }
  if (search == INVALID_HANDLE_VALUE) return false;
  FindClose(search);
  return true;
}

void CreateDirectoryPath(const char* directory, void (*created)(const char* path)) {
  PathText d(directory);
  ToBackslashes(d.data(), IsSystemLeadByte);
  StripBackslash(d.data(), IsSystemLeadByte);
  d.Resync();
  if (d.length() < 3 || PathExists(d.data())) return;
  CreateDirectoryPath(DirectoryPart(d.c_str(), IsSystemLeadByte).c_str(), created);
  if (CreateDirectoryA(d.c_str(), nullptr) == FALSE) FatalError(GetLastError());
  if (created != nullptr) created(d.c_str());
}

bool IsPlainOrMissingDirectory(const char* directory) {
  constexpr DWORD kReparsePoint = 0x00000400;  // FILE_ATTRIBUTE_REPARSE_POINT, unknown to the 9x headers
  const DWORD attributes = GetFileAttributesA(directory);
  return attributes == INVALID_FILE_ATTRIBUTES || (attributes & kReparsePoint) == 0;
}

}  // namespace quillon
