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
//   central directory header       signature 50 4B 01 02, 46 bytes before the name
//   end of central directory       signature 50 4B 05 06, 22 bytes before the comment,
//                                  whose length is at offset 20
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
constexpr int32_t kEndRecordCommentLengthField = 20;

constexpr uint16_t kMethodStored = 0;
constexpr uint16_t kMethodDeflated = 8;

constexpr uint16_t kFlagEncrypted = 0x0001;  // traditional encryption, a 12-byte header before the data
// The CRC-32 and sizes follow the data in a descriptor. The encryption
// header's check byte is then the high byte of the DOS time, not of the CRC.
constexpr uint16_t kFlagDataDescriptor = 0x0008;
constexpr uint16_t kFlagStrongEncryption = 0x0040;

}  // namespace quillon
