// The reference decoder in a translation unit of its own, so the fuzz build
// can leave it without coverage instrumentation: libFuzzer is steered by the
// real decoder's coverage alone, and the yardstick runs at full speed.
#include "reference_inflate.h"

namespace quillon::reference {

void InflateEntryPlain(EntryTransfer& transfer) {
  InflateEntry(transfer);
}

}  // namespace quillon::reference
