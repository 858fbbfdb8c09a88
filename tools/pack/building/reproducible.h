// Reproducible installers: with SOURCE_DATE_EPOCH set (the convention of
// reproducible builds: seconds since 1970, UTC), the same inputs give the
// same installer on another day and on another machine.
//
// - An entry's time is its file's modification time clamped to the epoch,
//   converted to MS-DOS date and time in UTC rather than in the machine's
//   time zone.
// - An encrypted entry's 12-byte encryption header, random otherwise, is
//   derived from the password, the epoch and the entry itself by a keyed
//   hash (see DeriveEncryptionHeader).
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "building/zip_entries.h"
#include "support/pack_support.h"

namespace quillon::pack {

// SOURCE_DATE_EPOCH when it is set; read once. Throws PackError when it is
// set to anything but a decimal number of seconds.
[[nodiscard]] std::optional<int64_t> SourceDateEpoch();

// The MS-DOS date and time stored for a file or directory modified at
// `modified` (seconds since 1970).
[[nodiscard]] DosDateTime EntryTime(int64_t modified);

// The first `size` (at most 32) bytes of HMAC-SHA-256, keyed with the
// password, over the epoch (8 bytes, little-endian) followed by the entry's
// local record as it is before encryption: header, name, data and any data
// descriptor. Unpredictable without the password, like random bytes, and
// different for every entry whose name, time or content differs, so no two
// entries share a key stream; an entry packed again unchanged with the same
// password and epoch gets the same header, and so the same bytes.
void DeriveEncryptionHeader(const std::string& password, int64_t epoch, const Bytes& entry, uint8_t* header,
                            size_t size);

}  // namespace quillon::pack
