#include "package/entry_stream.h"

#include "base/little_endian.h"

namespace quillon {
namespace {

int32_t CheckedPosition(int64_t position) {
  return position > INT32_MAX ? -1 : static_cast<int32_t>(position);
}

}  // namespace

EntryHeader DecodeEntryHeader(const uint8_t raw[kLocalHeaderSize]) {
  EntryHeader h;
  h.signature = LoadLittle32(raw);
  h.versionNeeded = LoadLittle16(raw + kLocalVersionField);
  h.flags = LoadLittle16(raw + kLocalFlagsField);
  h.method = LoadLittle16(raw + kLocalMethodField);
  h.modTime = LoadLittle16(raw + kLocalTimeField);
  h.modDate = LoadLittle16(raw + kLocalDateField);
  h.crc32 = LoadLittle32(raw + kLocalCrcField);
  h.compressedSize = static_cast<int32_t>(LoadLittle32(raw + kLocalPackedSizeField));
  h.uncompressedSize = LoadLittle32(raw + kLocalSizeField);
  h.nameLength = LoadLittle16(raw + kLocalNameLengthField);
  h.extraLength = LoadLittle16(raw + kLocalExtraLengthField);
  return h;
}

void EntryStream::SeekPackage(int32_t position) {
  lastSeekPosition = position < 0 ? -1 : package_.Seek(position, SeekMethod::FromStart);
}

bool EntryStream::ReadEntryHeader() {
  for (;;) {
    uint8_t raw[kLocalHeaderSize] = {};
    const int32_t got = lastSeekPosition < 0 ? 0 : package_.Read(raw, kLocalHeaderSize);
    entryHeader = DecodeEntryHeader(raw);
    if (got < kLocalHeaderSize) entryHeader.signature = 0;
    if (entryHeader.signature == expectedSignature || entryHeader.signature == kLegacyHeaderSignature) return true;
    // A descriptor is shorter than a header; a trailing one may be cut short
    // by the end of the file, so test its signature before the count.
    if (LoadLittle32(raw) != kDataDescriptorSignature) return false;
    SeekPackage(CheckedPosition(int64_t{lastSeekPosition} + kDataDescriptorSize));
  }
}

int32_t EntryStream::DataPosition(int32_t entryStart) const {
  return CheckedPosition(int64_t{entryStart} + kLocalHeaderSize + entryHeader.nameLength + entryHeader.extraLength);
}

int32_t EntryStream::NextEntryPosition(int32_t entryStart) const {
  const int32_t data = DataPosition(entryStart);
  return data < 0 ? -1 : CheckedPosition(int64_t{data} + static_cast<uint32_t>(entryHeader.compressedSize));
}

}  // namespace quillon
