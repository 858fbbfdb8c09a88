#include "package/extract.h"

#include <cstring>

#include "base/memory.h"
#include "crypt/zip_crypt.h"
#include "inflate/inflate.h"
#include "inflate/stored.h"

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
  bool AcceptPassword(ZipKeys& keys, bool& accepted);
  Outcome WriteEntry(const ZipKeys& keys, const char* entryName);
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
  bool ioFailed_ = false;
};

// The password stage of an encrypted entry: a silent try with the password
// typed last, then up to three prompts. False when a prompt was cancelled.
bool Extraction::AcceptPassword(ZipKeys& keys, bool& accepted) {
  uint8_t header[2 * kEncryptionHeaderSize] = {};
  static_cast<void>(package_.Read(header, kEncryptionHeaderSize));
  // Every try decrypts a copy: the stored header stays as it was read.
  for (int i = 0; i < kEncryptionHeaderSize; ++i) header[kEncryptionHeaderSize + i] = header[i];
  const EntryHeader& h = stream_.entryHeader;
  const auto verify = [&] {
    return VerifyPassword(keys, header, kEncryptionHeaderSize, h.flags, h.crc32, h.modTime, password_.c_str(),
                          password_.length());
  };
  accepted = !password_.empty() && verify();
  for (int attempt = 0; !accepted && attempt < kPasswordAttempts; ++attempt) {
    password_.Clear();
    if (!host_.AskPassword(password_)) return false;
    accepted = verify();
  }
  return true;
}

Outcome Extraction::WriteEntry(const ZipKeys& keys, const char* entryName) {
  PathText targetPath(workDirectory_);
  targetPath.Append('\\').Append(entryName);
  if (targetPath.overflowed()) {
    host_.Report(targetPath.c_str(), Text(UiText::CannotOpenFile));  // too long for the file functions
    return Outcome::Failed;
  }
  ToBackslashes(targetPath.data(), isLead_);
  const PathText directory = DirectoryPart(targetPath.c_str(), isLead_);
  if (IsDirectoryName(entryName, isLead_)) {
    if (!host_.MakeDirectory(targetPath.c_str())) return Outcome::Failed;
    madeDirectory_ = directory;  // the directory entry's own path, without its separator
    return Outcome::Done;
  }
  // Entries come directory by directory: the directory of the entry before
  // is there already.
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
  EntryTransfer transfer;
  transfer.package = &package_;
  transfer.output = output;
  transfer.flags = h.flags;
  transfer.keys = keys;
  // A size just above 2^31 reads as negative; taking the encryption header
  // off must not wrap it round to almost 2 GB of data.
  const int32_t header = (h.flags & kFlagEncrypted) != 0 ? kEncryptionHeaderSize : 0;
  transfer.dataRemaining = h.compressedSize < INT32_MIN + header ? INT32_MIN : h.compressedSize - header;
  if (h.method == kMethodStored) {
    CopyStoredEntry(transfer);
  } else if (h.method == kMethodDeflated) {
    InflateEntry(transfer);
  } else {
    ReportError(Text(UiText::UnknownCompression));
    host_.CloseOutputFile(h, targetPath);
    return Outcome::Failed;
  }
  if (transfer.ioFailed) ioFailed_ = true;
  // A short write is a failure even in the unlikely case that the CRC of
  // what was written happens to match.
  const bool intact = (transfer.entryCrc ^ 0xFFFFFFFFu) == h.crc32 && !transfer.ioFailed;
  if (!intact) ReportError(Text(UiText::ExtractionError));
  host_.CloseOutputFile(h, targetPath);
  return intact ? Outcome::Done : Outcome::Failed;
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
  HeapBuffer<char> nameBuffer(kNameBufferSize);
  bool accepted = false;
  while (stream_.ReadEntryHeader()) {
    const int32_t entryStart = stream_.lastSeekPosition;
    const EntryHeader& h = stream_.entryHeader;
    const int32_t nameLength = h.nameLength;
    if (nameLength > kNameBufferSize - 1) {
      ReportError(Text(UiText::InvalidFilename));  // longer than any name this loop can hold
      result.ioFailed = ioFailed_;
      return result;
    }
    static_cast<void>(package_.Read(nameBuffer.get(), nameLength));
    const PathText entryName = TextFromBuffer(nameBuffer.get(), nameLength);
    stream_.SeekPackage(stream_.DataPosition(entryStart));
    // "/name" and "\name" are taken as ZIP tools take them: below the work
    // directory, never at the root of its drive.
    const char* name = SkipLeadingSeparators(entryName.c_str());
    if (!IsSafeEntryName(name, isLead_)) {
      ReportError(Text(UiText::InvalidFilename));
      result.ioFailed = ioFailed_;
      return result;
    }
    ZipKeys keys{};
    accepted = (h.flags & kFlagEncrypted) == 0;
    const bool answered = accepted || AcceptPassword(keys, accepted);
    const bool failed = !answered || (accepted && WriteEntry(keys, name) == Outcome::Failed);
    if (failed) {
      result.ioFailed = ioFailed_;
      return result;
    }
    stream_.SeekPackage(stream_.NextEntryPosition(entryStart));
  }
  result.ioFailed = ioFailed_;
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
