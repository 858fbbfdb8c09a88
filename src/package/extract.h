// The extraction loop: every entry of the package is checked, written below
// the work directory, verified against its CRC-32 and given its stored time.
// It has no Win32 in it: the file system below the work directory and the
// questions to the user are the host's (the stub's dialogs and files, or a
// test's or fuzzer's stand-ins).
#pragma once

#include <cstdint>

#include "base/fixed_text.h"
#include "base/ui_texts.h"
#include "crypt/zip_crypt.h"
#include "fs/package_io.h"
#include "fs/path.h"
#include "package/entry_stream.h"

namespace quillon {

using PasswordText = FixedText<kPasswordBufferSize>;

class ExtractionHost {
 public:
  // Makes directory and its missing parents; reports a failure itself. Something
  // that is there already under that name counts as made.
  [[nodiscard]] virtual bool MakeDirectory(const char* directory) = 0;
  // Asks whether to replace an existing file; name is its name part.
  [[nodiscard]] virtual bool ReplaceExisting(const char* name) = 0;
  // Asks for a password; false when the user cancels.
  [[nodiscard]] virtual bool AskPassword(PasswordText& typed) = 0;
  // Creates the file, or with replace also truncates one that is there. Null
  // when it cannot (not reported yet); then exists tells whether a file or
  // directory is in the way. Creating is the only look at the path: a file
  // that does not exist yet costs no separate search.
  [[nodiscard]] virtual OutputSink* CreateOutputFile(const char* path, bool replace, bool& exists) = 0;
  // Gives the open file the entry's time and closes it; reports a failure.
  virtual void CloseOutputFile(const EntryHeader& header, const char* path) = 0;
  // The file was created: shown to the user and recorded for deletion.
  virtual void FileCreated(const char* path) = 0;
  virtual void Report(const char* text, const char* caption) = 0;

 protected:
  ExtractionHost() = default;
  ExtractionHost(const ExtractionHost&) = default;
  ExtractionHost& operator=(const ExtractionHost&) = default;
  ~ExtractionHost() = default;
};

struct ExtractionResult {
  bool succeeded = false;
  bool lastEntryRefused = false;  // the walk ended at an entry whose password was not given
};

// Walks the entries from dataStart on and writes them below workDirectory
// (without a trailing backslash). Every failure has been reported when it
// returns; the files written so far stay.
[[nodiscard]] ExtractionResult ExtractPackage(PackageSource& package, int32_t dataStart, const char* workDirectory,
                                              LeadByteTest isLead, ExtractionHost& host);

}  // namespace quillon
