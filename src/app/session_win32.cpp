// Start-up: the directories, the program's own file, the package header and
// its texts.
#include "app/session_win32.h"

#include <cstring>

#include "app/administrator_win32.h"
#include "app/part_join_win32.h"
#include "app/work_directory.h"
#include "base/memory.h"
#include "base/report_win32.h"
#include "base/setup_state.h"
#include "base/ui_texts.h"
#include "fs/code_page_win32.h"
#include "fs/file_win32.h"
#include "package/package_header.h"
#include "package/package_start.h"

namespace quillon {
namespace {

constexpr LicenceInfoPrefix kStoredLicenceInfoPrefix = ScrambledLicenceInfoPrefix();

void DescramblePrefix() {
  std::memcpy(state.licenceInfoPrefix, kStoredLicenceInfoPrefix.bytes, kLicenceInfoPrefixLength);
  state.licenceInfoPrefix[kLicenceInfoPrefixLength] = '\0';
  DescrambleText(state.licenceInfoPrefix, kLicenceInfoPrefixLength);
}

void SelectDirectories() {
  GetCurrentDirectoryA(kDirectoryBufferSize, state.startDirectory);
  GetSystemDirectoryA(state.systemDirectory, 127);
  char tempPath[kDirectoryBufferSize] = {};
  const DWORD tempLength = GetTempPathA(254, tempPath);
  ChooseWorkDirectory(tempPath, tempLength, state.startDirectory, state.systemDirectory, state.workDirectory,
                      IsSystemLeadByte);
}

// The session's side of the start-up read: the administrator check, and
// the texts' homes in the process-wide state.
class SessionStart final : public PackageStartHost {
 public:
  bool GoOn(const PackageHeader& header) override {
    state.hasTitle = header.titleLength > 0;
    if (header.adminRequired && !IsAdministrator()) {
      Report(Text(UiText::NeedAdministrator), Text(UiText::Error));
      return false;
    }
    return true;
  }

  // The title and the INF text have buffers of their own; the others are
  // taken from the heap, which ends the program with runtime error 203 when a
  // length cannot be satisfied.
  char* TextBuffer(PackageText text, int32_t length) override {
    if (text == PackageText::Title) return state.title;
    if (text == PackageText::Inf) return state.infFileName;
    auto* buffer = static_cast<char*>(MemAlloc(static_cast<size_t>(static_cast<uint32_t>(length)) + 1));
    if (text == PackageText::LicenceInfo) {
      state.licenceInfoText = buffer;
    } else if (text == PackageText::Info) {
      state.infoText = buffer;
    } else {
      state.licenceText = buffer;
    }
    return buffer;
  }
};

// False when the main window is not to be shown; every failure has been
// reported by then. A package without its end cannot be installed: it is
// refused before any window shows and before anything is created on disk.
bool ReadPackageHeader() {
  HandleFile package(state.packageHandle);
  SessionStart host;
  const PackageStart start = ReadPackageStart(package, host);
  switch (start.status) {
    case PackageStartStatus::NoPackage:
      return true;
    case PackageStartStatus::Stopped:
      return false;
    case PackageStartStatus::Corrupted:
      MessageBoxA(nullptr, Text(UiText::SetupCorrupted), Text(UiText::Error), MB_ICONHAND);
      return false;
    case PackageStartStatus::Ready:
      break;
  }
  state.header = start.header;
  if (start.header.infoLength <= 0) state.infoText = Text(UiText::DefaultInfo);
  state.dataStart = start.dataStart;
  return true;
}

}  // namespace

bool PrepareSession() {
  state.hasTitle = false;
  DescramblePrefix();
  SelectDirectories();

  char programPath[kMaxPath] = {};
  GetModuleFileNameA(nullptr, programPath, kMaxPath);
  state.packageHandle =
      CreateFileA(programPath, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (!IsOpen(state.packageHandle)) {
    state.packageHandle = nullptr;
    Report(programPath, Text(UiText::CannotOpenFile));
    return false;
  }
  if (!ReadPackageHeader()) return false;
  if (state.header.multiPart) return JoinPackageParts();
  return true;
}

}  // namespace quillon
