#include "package/extract.h"

#include <cstring>

#include "base/memory.h"
#include "crypt/zip_crypt.h"
#include "package/entry_data.h"
#include "package/entry_name.h"

namespace quillon {
namespace {

constexpr int kPasswordAttempts = 3;

enum class Outcome { Done, Skipped, Failed };

// One run of the loop: the package, where files go, and whom to ask.
class Extraction {
 public:
  Extraction(PackageSource& package, const char* workDirectory, LeadByteTest isLead, ExtractionHost& host)
      : package_(package), stream_(package), workDirectory_(workDirectory), isLead_(isLead), host_(host) {}

  ExtractionResult Run(int32_t dataStart);

 private:
  Outcome AcceptPassword(ZipKeys& keys, bool& accepted);
  Outcome WriteEntry(const ZipKeys& keys, const EntryPath& entry);
  Outcome WriteFile(const ZipKeys& keys, const char* targetPath);
  // A general failure: its fixed text under the caption "Error".
  void ReportError(const char* text) { host_.Report(text, Text(UiText::Error)); }

  PackageSource& package_;
  EntryStream stream_;
  const char* workDirectory_;
  LeadByteTest isLead_;
  ExtractionHost& host_;
  PasswordText password_;   // the password typed last, tried first for every entry
  PathText madeDirectory_;  // the directory made last; empty before the first
};

// The password stage of an encrypted entry: a silent try with the password
// typed last, then up to three prompts. Failed when a prompt was cancelled
// (without a message) or the entry is too short for its encryption header.
Outcome Extraction::AcceptPassword(ZipKeys& keys, bool& accepted) {
  const EntryHeader& h = stream_.entryHeader;
  uint8_t header[kEncryptionBufferSize] = {};
  if (!ReadEncryptionHeader(package_, h, header)) {
    ReportError(Text(UiText::ExtractionError));
    return Outcome::Failed;
  }
  const auto verify = [&] { return TryPassword(keys, header, h, password_.c_str(), password_.length()); };
  accepted = !password_.empty() && verify();
  for (int attempt = 0; !accepted && attempt < kPasswordAttempts; ++attempt) {
    password_.Clear();
    if (!host_.AskPassword(password_)) return Outcome::Failed;
    accepted = verify();
  }
  return accepted ? Outcome::Done : Outcome::Skipped;
}

Outcome Extraction::WriteEntry(const ZipKeys& keys, const EntryPath& entry) {
  if (entry.kind == EntryNameKind::WorkDirectory) return Outcome::Done;
  PathText targetPath(workDirectory_);
  targetPath.Append('\\').Append(entry.path);
  if (targetPath.overflowed()) {
    host_.Report(targetPath.c_str(), Text(UiText::CannotOpenFile));  // too long for the file functions
    return Outcome::Failed;
  }
  if (entry.kind == EntryNameKind::Directory) {
    if (!host_.MakeDirectory(targetPath.c_str())) return Outcome::Failed;
    madeDirectory_ = targetPath;
    return Outcome::Done;
  }
  // Entries come directory by directory: the directory of the entry before
  // is there already.
  const PathText directory = DirectoryPart(targetPath.c_str(), isLead_);
  if (std::strcmp(directory.c_str(), madeDirectory_.c_str()) != 0) {
    if (!host_.MakeDirectory(directory.c_str())) return Outcome::Failed;
    madeDirectory_ = directory;
  }
  return WriteFile(keys, targetPath.c_str());
}

Outcome Extraction::WriteFile(const ZipKeys& keys, const char* targetPath) {
  bool exists = false;
  OutputSink* output = host_.CreateOutputFile(targetPath, false, exists);
  if (output == nullptr && exists) {
    if (!host_.ReplaceExisting(NamePart(targetPath, isLead_).c_str())) return Outcome::Skipped;
    output = host_.CreateOutputFile(targetPath, true, exists);
  }
  if (output == nullptr) {
    host_.Report(targetPath, Text(UiText::CannotOpenFile));
    return Outcome::Failed;
  }
  host_.FileCreated(targetPath);

  const EntryHeader& h = stream_.entryHeader;
  const EntryDataOutcome outcome = DecodeEntryData(package_, h, keys, *output);
  if (outcome == EntryDataOutcome::UnknownMethod) ReportError(Text(UiText::UnknownCompression));
  if (outcome == EntryDataOutcome::Damaged) ReportError(Text(UiText::ExtractionError));
  host_.CloseOutputFile(h, targetPath);
  return outcome == EntryDataOutcome::Intact ? Outcome::Done : Outcome::Failed;
}

ExtractionResult Extraction::Run(int32_t dataStart) {
  ExtractionResult result;
  // Kept out of the image as a constant, so the stub itself never looks
  // like the start of a ZIP entry to a tool that scans for one.
  volatile uint32_t signature = kLocalHeaderSignature + 1;
  stream_.expectedSignature = signature - 1;

  stream_.SeekPackage(dataStart);
  if (stream_.lastSeekPosition == -1) {
    ReportError(Text(UiText::ReadingError));
    return result;
  }
  HeapBuffer<char> nameBuffer(kMaxEntryNameLength);
  bool accepted = false;
  while (stream_.ReadEntryHeader()) {
    const int32_t entryStart = stream_.lastSeekPosition;
    const EntryHeader& h = stream_.entryHeader;
    // A name longer than the rule allows is refused unread.
    const int32_t nameLength = h.nameLength;
    static_cast<void>(package_.Read(nameBuffer.get(), nameLength <= kMaxEntryNameLength ? nameLength : 0));
    const EntryPath entry = MakeEntryPath(nameBuffer.get(), nameLength, isLead_);
    stream_.SeekPackage(stream_.DataPosition(entryStart));
    if (entry.kind == EntryNameKind::Invalid) {
      ReportError(Text(UiText::InvalidFilename));
      return result;
    }
    ZipKeys keys{};
    accepted = (h.flags & kFlagEncrypted) == 0;
    const Outcome password = accepted ? Outcome::Done : AcceptPassword(keys, accepted);
    if (password == Outcome::Failed || (accepted && WriteEntry(keys, entry) == Outcome::Failed)) return result;
    stream_.SeekPackage(stream_.NextEntryPosition(entryStart));
  }
  result.succeeded = accepted;
  result.lastEntryRefused = !accepted;
  if (!accepted) ReportError(Text(UiText::ExtractionError));
  return result;
}

}  // namespace

ExtractionResult ExtractPackage(PackageSource& package, int32_t dataStart, const char* workDirectory,
                                LeadByteTest isLead, ExtractionHost& host) {
  Extraction extraction(package, workDirectory, isLead, host);
  return extraction.Run(dataStart);
}

}  // namespace quillon
