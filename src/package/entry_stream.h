// The package's files as a plain sequence of ZIP local entries:
//
//   entryStart       30 bytes      local header (EntryHeader)
//   + 30             nameLength    name, "/" or "\" between directories
//   + nameLength     extraLength   extra field, skipped
//   + extraLength    compressedSize data (12-byte encryption header first
//                                  when bit 0 of flags is set)
//   behind the data  16 bytes      optional data descriptor, stepped over
//
// The CRC-32 and the compressed size always come from the local header. The
// stream ends at the first header whose signature is neither a local header
// nor a data descriptor: the end marker, a central directory, or the end of
// the file.
#pragma once

#include <cstdint>

#include "base/zip_format.h"
#include "fs/package_io.h"

namespace quillon {

// Accepted like a local header's signature, although ZIP tools refuse it.
constexpr uint32_t kLegacyHeaderSignature = 0x50000000;

struct EntryHeader {
  uint32_t signature;
  uint16_t versionNeeded;
  uint16_t flags;
  uint16_t method;
  uint16_t modTime;
  uint16_t modDate;
  uint32_t crc32;
  int32_t compressedSize;
  uint32_t uncompressedSize;
  uint16_t nameLength;
  uint16_t extraLength;
};

[[nodiscard]] EntryHeader DecodeEntryHeader(const uint8_t raw[kLocalHeaderSize]);

class EntryStream {
 public:
  explicit EntryStream(PackageSource& package) : package_(package) {}

  // Moves the package to position from its start; lastSeekPosition tells
  // where it went, or -1 when the move failed.
  void SeekPackage(int32_t position);

  // Reads the header at the current position, stepping over data
  // descriptors. True: an entry header was read and lastSeekPosition is
  // where it starts. False: the stream has ended (also after a short read).
  [[nodiscard]] bool ReadEntryHeader();

  // Positions of the current entry's data and of what follows it; -1 when
  // they lie beyond what a package can hold. The compressed size counts as
  // unsigned, so the walk can only move forwards.
  [[nodiscard]] int32_t DataPosition(int32_t entryStart) const;
  [[nodiscard]] int32_t NextEntryPosition(int32_t entryStart) const;

  EntryHeader entryHeader{};
  uint32_t expectedSignature = kLocalHeaderSignature;
  int32_t lastSeekPosition = 0;

 private:
  PackageSource& package_;
};

}  // namespace quillon
