#pragma once

#include "inflate/transfer.h"

namespace quillon {

// Decodes a deflated entry (method 8, RFC 1951) from the package into the
// output: reads at most transfer.dataRemaining bytes, decrypting them when the
// entry is encrypted, and writes the output in 32768-byte writes plus one last
// partial write. entryCrc covers the bytes each write reports written; a short
// write sets ioFailed. Damaged data never stops the decoding of the entry: a
// bad block is given up and decoding resumes behind its header, and the entry
// ends after its final block or when its data runs out, whatever it holds.
void InflateEntry(EntryTransfer& transfer);

}  // namespace quillon
