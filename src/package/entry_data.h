// An entry's data as the installer reads it: the encryption header and the
// password, then the stored or deflated bytes checked against the CRC-32 of
// the local header. The stub's extraction and the packager's verify and
// extract all decode entries through these.
#pragma once

#include <cstdint>

#include "crypt/zip_crypt.h"
#include "fs/package_io.h"
#include "package/entry_stream.h"

namespace quillon {

// The encryption header and room to decrypt it, as VerifyPassword takes them.
constexpr int32_t kEncryptionBufferSize = 2 * kEncryptionHeaderSize;

// Reads the encryption header of an encrypted entry from the package, which
// stands at the entry's first data byte, into bytes 12 to 23 of buffer. False
// when the entry is too short to hold one (the header would be read from
// whatever follows the entry) or the file ends first: the entry is damaged.
[[nodiscard]] bool ReadEncryptionHeader(PackageSource& package, const EntryHeader& entry,
                                        uint8_t buffer[kEncryptionBufferSize]);

// Whether password opens the entry whose encryption header buffer holds;
// then keys stand at the entry's first byte behind that header.
[[nodiscard]] bool TryPassword(ZipKeys& keys, uint8_t buffer[kEncryptionBufferSize], const EntryHeader& entry,
                               const char* password, int32_t length);

enum class EntryDataOutcome : uint8_t {
  Intact,
  UnknownMethod,  // neither stored nor deflated: nothing was read or written
  Damaged,        // the bytes written do not match the CRC-32, or a write came up short
};

// Copies or inflates the entry's data, from the package's position behind
// the encryption header (keys are used only for an encrypted entry), into
// output.
[[nodiscard]] EntryDataOutcome DecodeEntryData(PackageSource& package, const EntryHeader& entry, const ZipKeys& keys,
                                               OutputSink& output);

}  // namespace quillon
