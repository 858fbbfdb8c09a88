// A Win32 file handle seen as the package logic's source or sink.
#pragma once

#include <windows.h>

#include "fs/package_io.h"

namespace quillon {

class HandleFile final : public PackageSource, public OutputSink {
 public:
  explicit HandleFile(HANDLE handle) : handle_(handle) {}

  int32_t Read(void* buffer, int32_t count) override;
  int32_t Seek(int32_t distance, SeekMethod method) override;
  int32_t Size() override;
  int32_t Write(const void* buffer, int32_t count) override;

 private:
  HANDLE handle_;
};

[[nodiscard]] inline bool IsOpen(HANDLE handle) {
  return handle != nullptr && handle != INVALID_HANDLE_VALUE;
}

}  // namespace quillon
