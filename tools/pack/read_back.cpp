#include "read_back.h"

#include <algorithm>
#include <cstring>

#include "app/package_header.h"
#include "fs/package_io.h"
#include "inflate/inflate.h"
#include "inflate/stored.h"
#include "package/entry_stream.h"
#include "zip_entries.h"

namespace quillon::pack {

namespace {

// The output file as the installer sees its own file.
class OutputSource final : public PackageSource {
 public:
  explicit OutputSource(const OutputFile& output) : output_(output) {}

  int32_t Read(void* buffer, int32_t count) override {
    if (count <= 0 || position_ >= output_.size()) return 0;
    const auto n = static_cast<size_t>(std::min<int64_t>(count, output_.size() - position_));
    output_.ReadAt(position_, static_cast<uint8_t*>(buffer), n);
    position_ += static_cast<int64_t>(n);
    return static_cast<int32_t>(n);
  }

  int32_t Seek(int32_t distance, SeekMethod method) override {
    const int64_t target = (method == SeekMethod::FromEnd ? output_.size() : 0) + distance;
    if (target < 0 || target > INT32_MAX - 1) return -1;
    position_ = target;
    return static_cast<int32_t>(target);
  }

  int32_t Size() override { return static_cast<int32_t>(output_.size()); }

 private:
  const OutputFile& output_;
  int64_t position_ = 0;
};

// Takes the extracted bytes and keeps nothing: only their CRC counts.
class DiscardSink final : public OutputSink {
 public:
  int32_t Write(const void* /*buffer*/, int32_t count) override { return count; }
};

[[noreturn]] void Mismatch(const std::string& what) {
  throw PackError("the installer does not read back as it was written (" + what +
                  "); this is a fault of quillon-pack, please report it");
}

}  // namespace

void ReadBack(const OutputFile& output, const std::vector<ExpectedEntry>& expected) {
  OutputSource source(output);
  uint8_t raw[kPackageHeaderSize];
  if (source.Seek(kPackageOffset, SeekMethod::FromStart) != kPackageOffset ||
      source.Read(raw, kPackageHeaderSize) != kPackageHeaderSize ||
      std::memcmp(raw, kPackageMagic, sizeof kPackageMagic) != 0) {
    Mismatch("no package header");
  }
  const PackageHeader header = ParsePackageHeader(raw + 3);
  if (header.totalSize != output.size()) Mismatch("total size");

  EntryStream stream(source);
  stream.SeekPackage(ComputeDataStart(header));
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
    if (!wanted.encrypted) {
      DiscardSink sink;
      EntryTransfer transfer;
      transfer.package = &source;
      transfer.output = &sink;
      transfer.dataRemaining = entry.compressedSize;
      transfer.flags = entry.flags;
      stream.SeekPackage(stream.DataPosition(entryStart));
      if (entry.method == kMethodStored) {
        CopyStoredEntry(transfer);
      } else if (entry.method == kMethodDeflated) {
        InflateEntry(transfer);
      } else {
        Mismatch("method of entry " + Quote(wanted.name));
      }
      if ((transfer.entryCrc ^ 0xFFFFFFFFu) != entry.crc32) Mismatch("data of entry " + Quote(wanted.name));
    }
    stream.SeekPackage(stream.NextEntryPosition(entryStart));
  }
  if (index != expected.size()) Mismatch("only " + std::to_string(index) + " entries found");

  // The start-up check: the trailer, or an end record reaching the end.
  uint8_t tail[kEndRecordSize] = {};
  const auto tailSize = static_cast<int32_t>(std::min<int64_t>(output.size(), kEndRecordSize));
  source.Seek(-tailSize, SeekMethod::FromEnd);
  if (source.Read(tail, tailSize) != tailSize) Mismatch("the end");
  const bool trailer = std::memcmp(tail + tailSize - 4, "RSF", 3) == 0;
  const bool endRecord = tailSize == kEndRecordSize && Get32(tail) == kEndRecordSignature && Get16(tail + 20) == 0;
  if (!trailer && !endRecord) Mismatch("the end");
}

}  // namespace quillon::pack
