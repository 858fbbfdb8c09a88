#include "inflate/stored.h"

#include "base/crc.h"
#include "base/memory.h"

namespace quillon {

void CopyStoredEntry(EntryTransfer& transfer) {
  if (transfer.dataRemaining < 1) return;
  const int32_t bufferSize = transfer.dataRemaining < kTransferBlock ? transfer.dataRemaining : kTransferBlock;
  HeapBuffer<uint8_t> buffer(static_cast<size_t>(bufferSize));
  while (transfer.dataRemaining >= 1) {
    const int32_t want = transfer.dataRemaining < kTransferBlock ? transfer.dataRemaining : kTransferBlock;
    const int32_t got = transfer.package->Read(buffer.get(), want);
    transfer.dataRemaining -= got;
    if (got == 0) transfer.dataRemaining = 0;
    if ((transfer.flags & kFlagEncrypted) != 0) DecryptBuffer(transfer.keys, buffer.get(), got);
    const int32_t written = got > 0 ? transfer.output->Write(buffer.get(), got) : 0;
    UpdateCrc(buffer.get(), written, transfer.entryCrc);
    if (written != got) transfer.ioFailed = true;
  }
}

}  // namespace quillon
