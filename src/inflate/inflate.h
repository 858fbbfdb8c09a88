#pragma once

#include "inflate/transfer.h"

namespace quillon {

// Decodes a deflated entry (method 8).
void InflateEntry(EntryTransfer& transfer);

}  // namespace quillon
