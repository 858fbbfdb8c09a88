#include "building/read_back.h"

#include <algorithm>
#include <cstring>

#include "building/package_writer.h"
#include "building/zip_entries.h"
#include "fs/package_io.h"
#include "package/entry_stream.h"
#include "package/package_integrity.h"
#include "package/package_start.h"
#include "reading/entry_check.h"
#include "reading/installer_file.h"

namespace quillon::pack {

namespace {

// The files of the installer, joined, as the installer sees its package;
// optionally followed by zero bytes that stand in for a signature.
class JoinedSource final : public PackageSource {
 public:
  explicit JoinedSource(const std::vector<const OutputFile*>& files, int64_t appended = 0) : files_(files) {
    for (const OutputFile* file : files_) written_ += file->size();
    size_ = written_ + appended;
  }

  int32_t Read(void* buffer, int32_t count) override {
    auto* out = static_cast<uint8_t*>(buffer);
    int32_t done = 0;
    int64_t start = 0;  // of the current file in the joined sequence
    for (const OutputFile* file : files_) {
      const int64_t end = start + file->size();
      if (done < count && position_ < end) {
        const auto n = static_cast<int32_t>(std::min<int64_t>(count - done, end - position_));
        file->ReadAt(position_ - start, out + done, static_cast<size_t>(n));
        position_ += n;
        done += n;
      }
      start = end;
    }
    if (done < count && position_ >= written_ && position_ < size_) {
      const auto n = static_cast<int32_t>(std::min<int64_t>(count - done, size_ - position_));
      std::memset(out + done, 0, static_cast<size_t>(n));
      position_ += n;
      done += n;
    }
    return done;
  }

  int32_t Seek(int32_t distance, SeekMethod method) override {
    const int64_t target = (method == SeekMethod::FromEnd ? size_ : 0) + distance;
    if (target < 0 || target > INT32_MAX - 1) return -1;
    position_ = target;
    return static_cast<int32_t>(target);
  }

  int32_t Size() override { return static_cast<int32_t>(size_); }
  [[nodiscard]] int64_t size() const { return size_; }

 private:
  const std::vector<const OutputFile*>& files_;
  int64_t written_ = 0;
  int64_t size_ = 0;
  int64_t position_ = 0;
};

[[noreturn]] void Mismatch(const std::string& what) {
  throw PackError("the installer does not read back as it was written (" + what +
                  "); this is a fault of quillon-pack, please report it");
}

}  // namespace

void ReadBack(const std::vector<const OutputFile*>& files, const std::vector<ExpectedEntry>& expected,
              uint16_t signReserve, const std::string* password) {
  // The start-up read, from the program file alone, as the installer makes
  // it; its integrity check for a single file.
  const std::vector<const OutputFile*> programFile = {files.front()};
  JoinedSource program(programFile);
  PackageTexts texts;
  const PackageStart start = ReadInstallerStart(program, texts);
  if (start.status == PackageStartStatus::NoPackage) Mismatch("no package header");
  if (start.status == PackageStartStatus::Corrupted) Mismatch("the end");
  if (start.status != PackageStartStatus::Ready || !start.TextsWhole()) Mismatch("the texts");
  const PackageHeader& header = start.header;
  JoinedSource source(files);
  if (header.totalSize != source.size()) Mismatch("total size");
  if (header.multiPart != (files.size() > 1)) Mismatch("split flag");

  EntryStream stream(source);
  stream.SeekPackage(start.dataStart);
  size_t index = 0;
  while (stream.ReadEntryHeader()) {
    const int32_t entryStart = stream.lastSeekPosition;
    const EntryHeader& entry = stream.entryHeader;
    if (index == expected.size()) Mismatch("an entry too many");
    const ExpectedEntry& wanted = expected[index++];
    std::string name(entry.nameLength, '\0');
    if (source.Read(name.data(), entry.nameLength) != entry.nameLength || name != wanted.name) {
      Mismatch("entry " + Quote(wanted.name));
    }
    const bool encrypted = (entry.flags & kFlagEncrypted) != 0;
    if (encrypted != wanted.encrypted) Mismatch("encryption of entry " + Quote(wanted.name));
    if (!encrypted || password != nullptr) {
      const EntryCheck check = CheckEntryData(source, stream, entryStart, password);
      if (check.verdict != EntryVerdict::Sound) {
        Mismatch("entry " + Quote(wanted.name) + ": " + DescribeVerdict(check, entry));
      }
    }
    stream.SeekPackage(stream.NextEntryPosition(entryStart));
  }
  if (index != expected.size()) Mismatch("only " + std::to_string(index) + " entries found");

  // The start-up check on the file as it is once a signature of the
  // reserved size has been appended.
  const int64_t signature = signReserve == 0 ? 0 : SigningPadding(source.size()) + signReserve;
  JoinedSource signedSource(files, signature);
  if (!CheckPackageIntegrity(signedSource, kPackageOffset)) Mismatch("the end after signing");
}

}  // namespace quillon::pack
