#include "reading/entry_check.h"

#include <algorithm>
#include <cstring>

#include "base/ui_texts.h"
#include "package/entry_data.h"

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
  ZipKeys keys{};
  if ((header.flags & kFlagEncrypted) != 0) {
    uint8_t encryption[kEncryptionBufferSize] = {};
    if (!ReadEncryptionHeader(package, header, encryption)) {
      check.verdict = EntryVerdict::NoEncryptionHeader;
      return check;
    }
    if (password == nullptr) {
      check.verdict = EntryVerdict::NoPassword;
      return check;
    }
    if (!TryPassword(keys, encryption, header, password->data(), static_cast<int32_t>(password->size()))) {
      check.verdict = EntryVerdict::WrongPassword;
      return check;
    }
  }
  CountingSink sink;
  const EntryDataOutcome outcome = DecodeEntryData(package, header, keys, sink);
  check.size = sink.written;
  if (outcome == EntryDataOutcome::UnknownMethod) {
    check.verdict = EntryVerdict::UnknownMethod;
  } else if (outcome == EntryDataOutcome::Damaged) {
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
    case EntryVerdict::NoEncryptionHeader:
      return "it is encrypted, but its data (" + std::to_string(static_cast<uint32_t>(header.compressedSize)) +
             " bytes) ends before its 12-byte encryption header does: the installer stops with \"" +
             Text(UiText::ExtractionError) + "\"";
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
