#include "package/entry_stream.h"

namespace quillon {
namespace {

uint16_t Load16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] | p[1] << 8);
}

uint32_t Load32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
         static_cast<uint32_t>(p[3]) << 24;
}

int32_t CheckedPosition(int64_t position) {
  return position > INT32_MAX ? -1 : static_cast<int32_t>(position);
}

}  // namespace

EntryHeader DecodeEntryHeader(const uint8_t raw[kEntryHeaderSize]) {
  EntryHeader h;
  h.signature = Load32(raw);
  h.versionNeeded = Load16(raw + 4);
  h.flags = Load16(raw + 6);
  h.method = Load16(raw + 8);
  h.modTime = Load16(raw + 10);
  h.modDate = Load16(raw + 12);
  h.crc32 = Load32(raw + 14);
  h.compressedSize = static_cast<int32_t>(Load32(raw + 18));
  h.uncompressedSize = Load32(raw + 22);
  h.nameLength = Load16(raw + 26);
  h.extraLength = Load16(raw + 28);
  return h;
}

void EntryStream::SeekPackage(int32_t position) {
  lastSeekPosition = position < 0 ? -1 : package_.Seek(position, SeekMethod::FromStart);
}

bool EntryStream::ReadEntryHeader() {
  for (;;) {
    uint8_t raw[kEntryHeaderSize] = {};
    const int32_t got = lastSeekPosition < 0 ? 0 : package_.Read(raw, kEntryHeaderSize);
    entryHeader = DecodeEntryHeader(raw);
    if (got < kEntryHeaderSize) entryHeader.signature = 0;
    if (entryHeader.signature == expectedSignature || entryHeader.signature == kLegacyHeaderSignature) {
      dataRemaining = entryHeader.compressedSize;
      return true;
    }
    dataRemaining = 0;
    // A descriptor is shorter than a header; a trailing one may be cut short
    // by the end of the file, so test its signature before the count.
    if (Load32(raw) != kDataDescriptorSignature) return false;
    SeekPackage(CheckedPosition(int64_t{lastSeekPosition} + kDataDescriptorSize));
  }
}

int32_t EntryStream::DataPosition(int32_t entryStart) const {
  return CheckedPosition(int64_t{entryStart} + kEntryHeaderSize + entryHeader.nameLength + entryHeader.extraLength);
}

int32_t EntryStream::NextEntryPosition(int32_t entryStart) const {
  const int32_t data = DataPosition(entryStart);
  return data < 0 ? -1 : CheckedPosition(int64_t{data} + static_cast<uint32_t>(entryHeader.compressedSize));
}

}  // namespace quillon
