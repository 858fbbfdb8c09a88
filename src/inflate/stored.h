#pragma once

#include "inflate/transfer.h"

namespace quillon {

// Copies a stored entry (method 0) in blocks of up to 32768 bytes. The CRC
// covers the bytes reported written, so a short write shows up as a CRC
// mismatch as well as in ioFailed.
void CopyStoredEntry(EntryTransfer& transfer);

}  // namespace quillon
