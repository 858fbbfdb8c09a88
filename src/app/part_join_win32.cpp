#include "app/part_join_win32.h"

#include <windows.h>

#include "base/buffer_sizes.h"
#include "base/memory.h"
#include "base/report_win32.h"
#include "base/setup_state.h"
#include "base/ui_texts.h"
#include "fs/directory_win32.h"
#include "fs/file_win32.h"
#include "package/part_join.h"

namespace quillon {
namespace {

// The program file and its parts, found beside it by name.
class DiskParts final : public PartShelf {
 public:
  explicit DiskParts(const char* programPath) : path_(programPath) {}

  PackageSource* OpenPart(int32_t partNumber) override {
    if (partNumber > 0 && !MakePartPath(path_.data(), partNumber)) return nullptr;
    handle_ = CreateFileA(path_.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                          nullptr);
    if (!IsOpen(handle_)) return nullptr;
    file_ = HandleFile(handle_);
    return &file_;
  }

  void ClosePart() override {
    if (IsOpen(handle_)) CloseHandle(handle_);
    handle_ = nullptr;
  }

  bool AskForDisk(int32_t diskNumber) override {
    PathText text(Text(UiText::InsertDisk));
    text.AppendNumber(static_cast<uint32_t>(diskNumber)).Append("..");
    return MessageBoxA(nullptr, text.c_str(), state.title, MB_OKCANCEL) != IDCANCEL;
  }

 private:
  PathText path_;
  HANDLE handle_ = nullptr;
  HandleFile file_{nullptr};
};

}  // namespace

bool JoinPackageParts() {
  if (!IsPlainOrMissingDirectory(state.workDirectory)) {
    Report(state.workDirectory, Text(UiText::DirectoryError));
    return false;
  }
  CreateDirectoryPath(state.workDirectory);
  state.joinedPackagePath.Clear();
  state.joinedPackagePath.Append(state.workDirectory).Append(kJoinedPackageName);

  // The program file is read again from its start as part 0.
  CloseHandle(state.packageHandle);
  state.packageHandle = nullptr;
  HANDLE joined = state.joinedPackagePath.overflowed()
                      ? INVALID_HANDLE_VALUE
                      : CreateFileA(state.joinedPackagePath.c_str(), GENERIC_WRITE, FILE_SHARE_WRITE, nullptr,
                                    CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  bool joinedAll = false;
  if (IsOpen(joined)) {
    char programPath[kMaxPath] = {};
    GetModuleFileNameA(nullptr, programPath, kMaxPath);
    DiskParts parts(programPath);
    HandleFile output(joined);
    HeapBuffer<uint8_t> buffer(kJoinBufferSize);
    joinedAll = JoinParts(parts, output, state.header.totalSize, buffer.get());
  }
  // A failed close may have lost the last bytes written.
  if (IsOpen(joined) && CloseHandle(joined) == FALSE) joinedAll = false;
  if (!joinedAll) {
    Report(Text(UiText::ErrorRebuilding), Text(UiText::Error));
    return false;
  }

  state.packageHandle = CreateFileA(state.joinedPackagePath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (!IsOpen(state.packageHandle)) {
    state.packageHandle = nullptr;
    return false;
  }
  return true;
}

}  // namespace quillon
