// The extraction loop's host in the stub: files and directories below the
// work directory, the password dialog, the overwrite prompt, and the status
// text of the main window.
#include "ui/extraction_win32.h"

#include "base/report_win32.h"
#include "base/setup_state.h"
#include "base/ui_texts.h"
#include "fs/code_page_win32.h"
#include "fs/directory_win32.h"
#include "fs/file_win32.h"
#include "package/extract.h"
#include "resources/resource_ids.h"
#include "ui/dialog_win32.h"
#include "ui/dialogs_win32.h"

namespace quillon {
namespace {

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

void SetFileTimeFromEntry(HANDLE output, const EntryHeader& h) {
  FILETIME local;
  FILETIME utc;
  // A date that does not convert (a zero date, say) leaves the file's own time.
  if (DosDateTimeToFileTime(h.modDate, h.modTime, &local) != FALSE && LocalFileTimeToFileTime(&local, &utc) != FALSE) {
    SetFileTime(output, nullptr, nullptr, &utc);
  }
}

// After a failed create: whether a file or directory is at path. The usual
// answer is in the error code; for any other failure the path is looked up,
// which costs a search once, as the extraction ends there.
bool IsInTheWay(const char* path) {
  const DWORD error = GetLastError();
  return error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS || PathExists(path);
}

class StubHost final : public ExtractionHost {
 public:
  explicit StubHost(HWND mainWindow) : mainWindow_(mainWindow) {}

  bool MakeDirectory(const char* directory) override {
    if (CreateDirectoryPath(directory, RecordDirectory)) return true;
    quillon::Report(directory, Text(UiText::DirectoryError));
    return false;
  }

  bool ReplaceExisting(const char* name) override {
    if (state.overwriteMode != OverwriteMode::Ask) return state.overwriteMode == OverwriteMode::Replace;
    OverwriteQuestion question{name, false};
    const bool replace = ShowDialog(kOverwriteDialog, OverwritePromptProc, reinterpret_cast<LPARAM>(&question)) == IDOK;
    if (question.dontAskAgain) state.overwriteMode = replace ? OverwriteMode::Replace : OverwriteMode::Keep;
    return replace;
  }

  bool AskPassword(PasswordText& typed) override {
    return ShowDialog(kPasswordDialog, PasswordDialogProc, reinterpret_cast<LPARAM>(&typed)) == IDOK;
  }

  OutputSink* CreateOutputFile(const char* path, bool replace, bool& exists) override {
    output_ = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, replace ? CREATE_ALWAYS : CREATE_NEW,
                          FILE_ATTRIBUTE_NORMAL, nullptr);
    if (!IsOpen(output_)) {
      exists = IsInTheWay(path);
      return nullptr;
    }
    file_ = HandleFile(output_);
    return &file_;
  }

  void CloseOutputFile(const EntryHeader& header, const char* path) override {
    SetFileTimeFromEntry(output_, header);
    if (CloseHandle(output_) == FALSE) quillon::Report(path, Text(UiText::CannotCloseFile));
    output_ = nullptr;
  }

  void FileCreated(const char* path) override {
    FixedText<kMaxPath + 32> text(kBreak4);
    text.Append(Text(UiText::Extracting)).Append(path);
    SetControlText(mainWindow_, IDC_STATUS, text.c_str());
    PumpOneMessage();
    state.extractedFiles.Add(path);
  }

  void Report(const char* text, const char* caption) override { quillon::Report(text, caption); }

 private:
  HWND mainWindow_;
  HANDLE output_ = nullptr;
  HandleFile file_{nullptr};
};

}  // namespace

void ExtractEntries(HWND mainWindow) {
  state.extractionSucceeded = false;
  AppendBackslash(state.workDirectory, kDirectoryBufferSize, IsSystemLeadByte);
  StripBackslash(state.workDirectory, IsSystemLeadByte);
  if (!IsPlainOrMissingDirectory(state.workDirectory)) {
    Report(state.workDirectory, Text(UiText::DirectoryError));
    return;
  }
  HandleFile package(state.packageHandle);
  StubHost host(mainWindow);
  const ExtractionResult result = ExtractPackage(package, state.dataStart, state.workDirectory, IsSystemLeadByte, host);
  state.extractionSucceeded = result.succeeded;
  if (result.lastEntryRefused) SetControlText(mainWindow, IDC_STATUS, Text(UiText::ExtractionError));
}

}  // namespace quillon
