#include "fs/file_win32.h"

namespace quillon {

int32_t HandleFile::Read(void* buffer, int32_t count) {
  DWORD got = 0;
  if (count <= 0 || ReadFile(handle_, buffer, static_cast<DWORD>(count), &got, nullptr) == FALSE) return 0;
  return static_cast<int32_t>(got);
}

int32_t HandleFile::Seek(int32_t distance, SeekMethod method) {
  const DWORD position = SetFilePointer(handle_, distance, nullptr, static_cast<DWORD>(method));
  // Positions from 2 GiB up cannot be told apart from failure by the callers.
  return position > 0x7FFFFFFEu ? -1 : static_cast<int32_t>(position);
}

int32_t HandleFile::Size() {
  const DWORD size = GetFileSize(handle_, nullptr);
  return size > 0x7FFFFFFFu ? -1 : static_cast<int32_t>(size);
}

int32_t HandleFile::Write(const void* buffer, int32_t count) {
  DWORD written = 0;
  if (count <= 0 || WriteFile(handle_, buffer, static_cast<DWORD>(count), &written, nullptr) == FALSE) return 0;
  return static_cast<int32_t>(written);
}

}  // namespace quillon
