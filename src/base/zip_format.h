// The facts of the ZIP format (the PKWARE application note) that both the
// installer's reader and the packager's writer rely on. Every record starts
// with a four-byte signature; all integers are little-endian.
//
//   local header (30 bytes)        offset  size  field
//                                       0     4  signature 50 4B 03 04
//                                       4     2  version needed
//                                       6     2  flags
//                                       8     2  method
//                                      10     2  DOS time
//                                      12     2  DOS date
//                                      14     4  CRC-32
//                                      18     4  packed size
//                                      22     4  size
//                                      26     2  name length
//                                      28     2  extra field length
//   data descriptor (16 bytes)     signature 50 4B 07 08, CRC-32, packed size, size
//
//   central directory header       offset  size  field
//   (46 bytes, then the name,           0     4  signature 50 4B 01 02
//   the extra field and the             4     2  version made by
//   comment)                            6     2  version needed
//                                       8     2  flags
//                                      10     2  method
//                                      12     2  DOS time
//                                      14     2  DOS date
//                                      16     4  CRC-32
//                                      20     4  packed size
//                                      24     4  size
//                                      28     2  name length
//                                      30     2  extra field length
//                                      32     2  comment length
//                                      34     2  disk where the entry starts
//                                      36     2  internal attributes
//                                      38     4  external attributes
//                                      42     4  offset of the local header
//
//   end of central directory       offset  size  field
//   (22 bytes, then the comment)        0     4  signature 50 4B 05 06
//                                       4     2  this disk
//                                       6     2  disk where the directory starts
//                                       8     2  entries on this disk
//                                      10     2  entries
//                                      12     4  size of the directory
//                                      16     4  offset of the directory
//                                      20     2  comment length
//
//   ZIP64 end-of-central-directory locator (20 bytes, right before the end
//   record of a ZIP64 archive): signature 50 4B 06 07. A ZIP64 archive also
//   marks the end record's counts, size or offset with all bits set.
#pragma once

#include <cstdint>

namespace quillon {

constexpr uint32_t kLocalHeaderSignature = 0x04034B50;
constexpr uint32_t kDataDescriptorSignature = 0x08074B50;
constexpr uint32_t kCentralHeaderSignature = 0x02014B50;
constexpr uint32_t kEndRecordSignature = 0x06054B50;

constexpr int32_t kLocalHeaderSize = 30;
constexpr int32_t kDataDescriptorSize = 16;
constexpr int32_t kCentralHeaderSize = 46;
constexpr int32_t kEndRecordSize = 22;

// Where the local header keeps its fields.
constexpr int32_t kLocalVersionField = 4;
constexpr int32_t kLocalFlagsField = 6;
constexpr int32_t kLocalMethodField = 8;
constexpr int32_t kLocalTimeField = 10;
constexpr int32_t kLocalDateField = 12;
constexpr int32_t kLocalCrcField = 14;
constexpr int32_t kLocalPackedSizeField = 18;
constexpr int32_t kLocalSizeField = 22;
constexpr int32_t kLocalNameLengthField = 26;
constexpr int32_t kLocalExtraLengthField = 28;
// A data descriptor's fields, from its signature on.
constexpr int32_t kDescriptorCrcField = 4;
constexpr int32_t kDescriptorPackedSizeField = 8;
constexpr int32_t kDescriptorSizeField = 12;

// Where the central directory header keeps its fields.
constexpr int32_t kCentralMadeByField = 4;
constexpr int32_t kCentralVersionField = 6;
constexpr int32_t kCentralFlagsField = 8;
constexpr int32_t kCentralMethodField = 10;
constexpr int32_t kCentralTimeField = 12;
constexpr int32_t kCentralDateField = 14;
constexpr int32_t kCentralCrcField = 16;
constexpr int32_t kCentralPackedSizeField = 20;
constexpr int32_t kCentralSizeField = 24;
constexpr int32_t kCentralNameLengthField = 28;
constexpr int32_t kCentralExtraLengthField = 30;
constexpr int32_t kCentralCommentLengthField = 32;
constexpr int32_t kCentralStartDiskField = 34;
constexpr int32_t kCentralInternalAttributesField = 36;
constexpr int32_t kCentralExternalAttributesField = 38;
constexpr int32_t kCentralOffsetField = 42;

// Where the end record keeps its fields.
constexpr int32_t kEndRecordDiskField = 4;
constexpr int32_t kEndRecordDirectoryDiskField = 6;
constexpr int32_t kEndRecordEntriesHereField = 8;
constexpr int32_t kEndRecordEntriesField = 10;
constexpr int32_t kEndRecordDirectorySizeField = 12;
constexpr int32_t kEndRecordDirectoryOffsetField = 16;
constexpr int32_t kEndRecordCommentLengthField = 20;

constexpr uint32_t kZip64LocatorSignature = 0x07064B50;
constexpr int32_t kZip64LocatorSize = 20;
// What a ZIP64 archive puts into a field too small for its value.
constexpr uint16_t kZip64Count = 0xFFFF;
constexpr uint32_t kZip64Value = 0xFFFFFFFF;

constexpr uint16_t kMethodStored = 0;
constexpr uint16_t kMethodDeflated = 8;

constexpr uint16_t kFlagEncrypted = 0x0001;  // traditional encryption, a 12-byte header before the data
// The CRC-32 and sizes follow the data in a descriptor. The encryption
// header's check byte is then the high byte of the DOS time, not of the CRC.
constexpr uint16_t kFlagDataDescriptor = 0x0008;
constexpr uint16_t kFlagStrongEncryption = 0x0040;

}  // namespace quillon
