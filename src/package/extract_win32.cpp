// The extraction loop: every entry of the package is checked, written below
// the work directory, verified against its CRC-32 and given its stored time.
#include "package/extract_win32.h"

#include "app/memory.h"
#include "app/setup_state.h"
#include "crypt/zip_crypt.h"
#include "fs/code_page_win32.h"
#include "fs/directory_win32.h"
#include "fs/file_win32.h"
#include "inflate/inflate.h"
#include "inflate/stored.h"
#include "package/entry_stream.h"
#include "resources/resource_ids.h"
#include "ui/dialog_win32.h"
#include "ui/dialogs_win32.h"
#include "ui/ui_texts.h"

namespace quillon {
namespace {

constexpr char kExtractionError[] = "Error extracting file(s).";
constexpr char kCannotOpen[] = "Cannot open file ..";
constexpr char kDirectoryError[] = "Error in directory ..";
constexpr int kPasswordAttempts = 3;

enum class Outcome { Done, Skipped, Failed };

// Records directories that the extraction creates inside the work directory,
// so that they can be removed again, deepest first.
void RecordDirectory(const char* path) {
  const int32_t base = TextLength(state.workDirectory);
  if (TextLength(path) > base &&
      CompareStringA(LOCALE_SYSTEM_DEFAULT, NORM_IGNORECASE, path, base, state.workDirectory, base) == CSTR_EQUAL &&
      path[base] == '\\') {
    state.createdDirectories.Add(path);
  }
}

// The password stage of an encrypted entry: a silent try with the password
// typed last, then up to three dialogs. False when the dialog was cancelled.
class PasswordStage {
 public:
  bool Run(EntryStream& stream, HandleFile& package, ZipKeys& keys, bool& accepted) {
    uint8_t header[2 * kEncryptionHeaderSize] = {};
    static_cast<void>(package.Read(header, kEncryptionHeaderSize));
    for (int i = 0; i < kEncryptionHeaderSize; ++i) header[kEncryptionHeaderSize + i] = header[i];
    const EntryHeader& h = stream.entryHeader;
    const auto verify = [&] {
      return VerifyPassword(keys, header, kEncryptionHeaderSize, h.flags, h.crc32, h.modTime, password_.c_str(),
                            password_.length());
    };
    accepted = !password_.empty() && verify();
    for (int attempt = 0; !accepted && attempt < kPasswordAttempts; ++attempt) {
      if (ShowDialog("DLG_PASS", PasswordDialogProc) != IDOK) return false;
      password_.Clear();
      password_.Append(passwordBuffer, passwordLength & 0xFFFF);
      accepted = verify();
      for (char& c : passwordBuffer) c = '\0';
    }
    return true;
  }

 private:
  FixedText<kPasswordBufferSize> password_;  // the password typed last, tried first for every entry
};

PasswordStage passwordStage;

void SetFileTimeFromEntry(HANDLE output, const EntryHeader& h) {
  FILETIME local;
  FILETIME utc;
  // A date that does not convert (a zero date, say) leaves the file's own time.
  if (DosDateTimeToFileTime(h.modDate, h.modTime, &local) != FALSE && LocalFileTimeToFileTime(&local, &utc) != FALSE) {
    SetFileTime(output, nullptr, nullptr, &utc);
  }
}

void FinishFile(HANDLE output, const EntryHeader& h, const char* targetPath) {
  SetFileTimeFromEntry(output, h);
  if (CloseHandle(output) == FALSE) Report(targetPath, "Cannot close the file");
}

bool MakeDirectory(const char* directory) {
  CreateDirectoryPath(directory, RecordDirectory);
  PathText check(directory);
  StripBackslash(check.data(), IsSystemLeadByte);
  if (check.empty() || PathExists(check.data())) return true;
  Report(directory, kDirectoryError);
  return false;
}

void ShowProgress(HWND mainWindow, const char* targetPath) {
  FixedText<kMaxPath + 32> text(kBreak4);
  text.Append("  Extracting: ").Append(targetPath);
  SetControlText(mainWindow, IDC_STATUS, text.c_str());
  PumpOneMessage();
}

// Writes one accepted entry. The package stands at its first data byte.
Outcome WriteEntry(HWND mainWindow, EntryStream& stream, HandleFile& package, const ZipKeys& keys,
                   const char* entryName) {
  PathText targetPath(state.workDirectory);
  targetPath.Append('\\').Append(entryName);
  if (targetPath.overflowed()) {
    Report(targetPath.c_str(), kCannotOpen);  // too long for the file functions
    return Outcome::Failed;
  }
  ToBackslashes(targetPath.data(), IsSystemLeadByte);
  if (IsDirectoryName(entryName, IsSystemLeadByte))
    return MakeDirectory(targetPath.c_str()) ? Outcome::Done : Outcome::Failed;

  if (PathExists(targetPath.data())) {
    if (state.overwriteMode == OverwriteMode::Keep) return Outcome::Skipped;
    if (state.overwriteMode == OverwriteMode::Ask) {
      state.promptFileName = NamePart(targetPath.c_str(), IsSystemLeadByte);
      ShowDialog("FileExist", OverwritePromptProc);
      if (!state.overwriteAnswer) return Outcome::Skipped;
    }
  } else if (!MakeDirectory(DirectoryPart(targetPath.c_str(), IsSystemLeadByte).c_str())) {
    return Outcome::Failed;
  }

  HANDLE output = CreateFileA(targetPath.c_str(), GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (!IsOpen(output)) {
    Report(targetPath.c_str(), kCannotOpen);
    return Outcome::Failed;
  }
  ShowProgress(mainWindow, targetPath.c_str());
  state.extractedFiles.Add(targetPath.c_str());

  const EntryHeader& h = stream.entryHeader;
  HandleFile file(output);
  EntryTransfer transfer;
  transfer.package = &package;
  transfer.output = &file;
  transfer.flags = h.flags;
  transfer.keys = keys;
  transfer.dataRemaining = h.compressedSize - ((h.flags & kFlagEncrypted) != 0 ? kEncryptionHeaderSize : 0);
  if (h.method == 0) {
    CopyStoredEntry(transfer);
  } else if (h.method == 8) {
    InflateEntry(transfer);
  } else {
    Report("Unknown compression type", kErrorCaption);
    FinishFile(output, h, targetPath.c_str());
    return Outcome::Failed;
  }
  if (transfer.ioFailed) state.ioFailed = true;
  // A short write is a failure even in the unlikely case that the CRC of
  // what was written happens to match.
  const bool intact = (transfer.entryCrc ^ 0xFFFFFFFFu) == h.crc32 && !transfer.ioFailed;
  if (!intact) Report(kExtractionError, kErrorCaption);
  FinishFile(output, h, targetPath.c_str());
  return intact ? Outcome::Done : Outcome::Failed;
}

}  // namespace

void ExtractEntries(HWND mainWindow) {
  state.extractionSucceeded = false;
  HandleFile package(state.packageHandle);
  EntryStream stream(package);
  // Kept out of the image as a constant, so the stub itself never looks
  // like the start of a ZIP entry to a tool that scans for one.
  volatile uint32_t signature = 0x04034B51;
  stream.expectedSignature = signature - 1;

  stream.SeekPackage(state.dataStart);
  if (stream.lastSeekPosition == -1) {
    Report("Error reading archive.", kErrorCaption);
    return;
  }
  HeapBuffer<char> nameBuffer(kNameBufferSize);
  bool accepted = false;
  while (stream.ReadEntryHeader()) {
    const int32_t entryStart = stream.lastSeekPosition;
    const EntryHeader& h = stream.entryHeader;
    const int32_t nameLength = h.nameLength;
    if (nameLength > kNameBufferSize - 1) {
      Report("Invalid filename.", kErrorCaption);  // longer than any name this loop can hold
      return;
    }
    static_cast<void>(package.Read(nameBuffer.get(), nameLength));
    const PathText entryName = TextFromBuffer(nameBuffer.get(), nameLength);
    stream.SeekPackage(stream.DataPosition(entryStart));
    // "/name" and "\name" are taken as ZIP tools take them: below the work
    // directory, never at the root of its drive.
    const char* name = SkipLeadingSeparators(entryName.c_str());
    if (!IsSafeEntryName(name, IsSystemLeadByte)) {
      Report("Invalid filename.", kErrorCaption);
      return;
    }
    ZipKeys keys{};
    accepted = (h.flags & kFlagEncrypted) == 0;
    if (!accepted && !passwordStage.Run(stream, package, keys, accepted)) return;
    if (accepted) {
      AppendBackslash(state.workDirectory, kDirectoryBufferSize, IsSystemLeadByte);
      StripBackslash(state.workDirectory, IsSystemLeadByte);
      if (WriteEntry(mainWindow, stream, package, keys, name) == Outcome::Failed) return;
    }
    stream.SeekPackage(stream.NextEntryPosition(entryStart));
  }
  if (accepted) {
    state.extractionSucceeded = true;
    return;
  }
  Report(kExtractionError, kErrorCaption);
  SetControlText(mainWindow, IDC_STATUS, kExtractionError);
}

}  // namespace quillon
