#include "entry_check.h"

#include <algorithm>
#include <cstring>

#include "crypt/zip_crypt.h"
#include "inflate/inflate.h"
#include "inflate/stored.h"

namespace quillon::pack {

namespace {

// Takes the decoded bytes and keeps only their count; the CRC is the
// transfer's.
class CountingSink final : public OutputSink {
 public:
  int32_t Write(const void* /*buffer*/, int32_t count) override {
    written += count;
    return count;
  }
  int64_t written = 0;
};

}  // namespace

int32_t MemorySource::Read(void* buffer, int32_t count) {
  if (count <= 0 || position_ >= bytes_.size()) return 0;
  const size_t n = std::min(static_cast<size_t>(count), bytes_.size() - position_);
  std::memcpy(buffer, bytes_.data() + position_, n);
  position_ += n;
  return static_cast<int32_t>(n);
}

int32_t MemorySource::Seek(int32_t distance, SeekMethod method) {
  const int64_t target = (method == SeekMethod::FromEnd ? static_cast<int64_t>(bytes_.size()) : 0) + distance;
  if (target < 0 || target > INT32_MAX - 1) return -1;
  position_ = static_cast<size_t>(target);
  return static_cast<int32_t>(target);
}

EntryCheck CheckEntryData(PackageSource& package, EntryStream& stream, int32_t entryStart,
                          const std::string* password) {
  const EntryHeader header = stream.entryHeader;
  EntryCheck check;
  stream.SeekPackage(stream.DataPosition(entryStart));
  if (stream.lastSeekPosition < 0) {
    check.verdict = EntryVerdict::Damaged;
    return check;
  }
  EntryTransfer transfer;
  transfer.package = &package;
  transfer.flags = header.flags;
  transfer.dataRemaining = header.compressedSize;
  if ((header.flags & kFlagEncrypted) != 0) {
    if (password == nullptr) {
      check.verdict = EntryVerdict::NoPassword;
      return check;
    }
    uint8_t encryption[2 * kEncryptionHeaderSize] = {};
    if (header.compressedSize < kEncryptionHeaderSize ||
        package.Read(encryption + kEncryptionHeaderSize, kEncryptionHeaderSize) != kEncryptionHeaderSize) {
      check.verdict = EntryVerdict::Damaged;
      return check;
    }
    if (!VerifyPassword(transfer.keys, encryption, kEncryptionHeaderSize, header.flags, header.crc32, header.modTime,
                        password->data(), static_cast<int32_t>(password->size()))) {
      check.verdict = EntryVerdict::WrongPassword;
      return check;
    }
    transfer.dataRemaining -= kEncryptionHeaderSize;
  }
  CountingSink sink;
  transfer.output = &sink;
  if (header.method == kMethodStored) {
    CopyStoredEntry(transfer);
  } else if (header.method == kMethodDeflated) {
    InflateEntry(transfer);
  } else {
    check.verdict = EntryVerdict::UnknownMethod;
    return check;
  }
  check.size = sink.written;
  if ((transfer.entryCrc ^ 0xFFFFFFFFu) != header.crc32) {
    check.verdict = EntryVerdict::Damaged;
  } else if (sink.written != header.uncompressedSize) {
    check.verdict = EntryVerdict::WrongSize;
  }
  return check;
}

std::string DescribeVerdict(const EntryCheck& check, const EntryHeader& header) {
  switch (check.verdict) {
    case EntryVerdict::Sound:
      return "sound";
    case EntryVerdict::NoPassword:
      return "it is encrypted; give the password (--password-file FILE, --password-stdin or --password TEXT)";
    case EntryVerdict::WrongPassword:
      return "the password does not fit it";
    case EntryVerdict::UnknownMethod:
      return "compression method " + std::to_string(header.method) +
             " is unknown to the installer, which reads stored (0) and deflated (8) entries only";
    case EntryVerdict::Damaged:
      return (header.flags & kFlagEncrypted) != 0
                 ? "its data does not match its CRC-32 (damaged, or a wrong password that passed the check byte)"
                 : "its data does not match its CRC-32: it is damaged";
    case EntryVerdict::WrongSize:
      return "it decodes to " + std::to_string(check.size) + " bytes, but its header says " +
             std::to_string(header.uncompressedSize);
  }
  return {};
}

}  // namespace quillon::pack
