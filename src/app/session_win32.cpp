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
#include "package/package_integrity.h"

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

int32_t ReadPackage(void* buffer, int32_t count) {
  return HandleFile(state.packageHandle).Read(buffer, count);
}

// Reads length bytes into a buffer of at least length + 1 bytes and ends the
// text there. A short read leaves zero bytes, so the text ends early.
void ReadText(char* buffer, int32_t length) {
  if (length > 0) static_cast<void>(ReadPackage(buffer, length));
  buffer[length > 0 ? length : 0] = '\0';
}

// A scrambled text of the stored length, on the heap; the allocation ends the
// program with runtime error 203 when the length cannot be satisfied.
char* ReadScrambledText(int32_t length) {
  auto* text = static_cast<char*>(MemAlloc(static_cast<size_t>(static_cast<uint32_t>(length)) + 1));
  ReadText(text, length);
  DescrambleText(text, length);
  return text;
}

// A package without its end cannot be installed: it is refused before any
// window shows and before anything is created on disk.
void CheckIntegrityOrEnd() {
  HandleFile package(state.packageHandle);
  if (CheckPackageIntegrity(package, kPackageOffset)) return;
  MessageBoxA(nullptr, Text(UiText::SetupCorrupted), Text(UiText::Error), MB_ICONHAND);
  CloseHandle(state.packageHandle);
  ExitProcess(0);
}

// False when administrative rights are required and missing.
bool ReadPackageHeader() {
  HandleFile(state.packageHandle).Seek(kPackageOffset, SeekMethod::FromStart);
  uint8_t magic[3] = {};
  if (ReadPackage(magic, 3) != 3 || std::memcmp(magic, kPackageMagic, 3) != 0) return true;

  uint8_t fields[kPackageHeaderSize - 3] = {};
  static_cast<void>(ReadPackage(fields, sizeof fields));
  state.header = ParsePackageHeader(fields);
  const PackageHeader& header = state.header;
  state.hasTitle = header.titleLength > 0;
  state.hasInfFileName = header.infLength > 0;
  if (header.adminRequired && !IsAdministrator()) {
    Report(Text(UiText::NeedAdministrator), Text(UiText::Error));
    return false;
  }

  ReadText(state.title, header.titleLength);
  ReadText(state.infFileName, header.infLength);
  state.licenceInfoText = ReadScrambledText(header.licenceInfoLength);
  state.infoText = header.infoLength > 0 ? ReadScrambledText(header.infoLength) : Text(UiText::DefaultInfo);
  if (header.licenceLength > 0) state.licenceText = ReadScrambledText(header.licenceLength);
  if (!header.multiPart) CheckIntegrityOrEnd();
  state.dataStart = ComputeDataStart(header);
  return true;
}

}  // namespace

bool PrepareSession() {
  state.hasTitle = false;
  state.hasInfFileName = false;
  state.ioFailed = false;
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
