#include "package/entry_data.h"

#include "inflate/inflate.h"
#include "inflate/stored.h"

namespace quillon {

bool ReadEncryptionHeader(PackageSource& package, const EntryHeader& entry, uint8_t buffer[kEncryptionBufferSize]) {
  if (static_cast<uint32_t>(entry.compressedSize) < static_cast<uint32_t>(kEncryptionHeaderSize)) return false;
  return ReadFully(package, buffer + kEncryptionHeaderSize, kEncryptionHeaderSize) == kEncryptionHeaderSize;
}

bool TryPassword(ZipKeys& keys, uint8_t buffer[kEncryptionBufferSize], const EntryHeader& entry, const char* password,
                 int32_t length) {
  return VerifyPassword(keys, buffer, kEncryptionHeaderSize, entry.flags, entry.crc32, entry.modTime, password, length);
}

EntryDataOutcome DecodeEntryData(PackageSource& package, const EntryHeader& entry, const ZipKeys& keys,
                                 OutputSink& output) {
  if (entry.method != kMethodStored && entry.method != kMethodDeflated) return EntryDataOutcome::UnknownMethod;
  EntryTransfer transfer;
  transfer.package = &package;
  transfer.output = &output;
  transfer.flags = entry.flags;
  transfer.keys = keys;
  // A size just above 2^31 reads as negative; taking the encryption header
  // off must not wrap it round to almost 2 GB of data.
  const int32_t header = (entry.flags & kFlagEncrypted) != 0 ? kEncryptionHeaderSize : 0;
  transfer.dataRemaining = entry.compressedSize < INT32_MIN + header ? INT32_MIN : entry.compressedSize - header;
  if (entry.method == kMethodStored) {
    CopyStoredEntry(transfer);
  } else {
    InflateEntry(transfer);
  }
  // A short write is a failure even in the unlikely case that the CRC of
  // what was written happens to match.
  const bool intact = (transfer.entryCrc ^ 0xFFFFFFFFu) == entry.crc32 && !transfer.ioFailed;
  return intact ? EntryDataOutcome::Intact : EntryDataOutcome::Damaged;
}

}  // namespace quillon
