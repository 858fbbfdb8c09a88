// Feeds arbitrary bytes to InflateEntry as one entry's data.
//
// Every input is decoded twice more: by the plain reference decoder under the
// same input and output conditions (the two must write the same bytes in the
// same writes, end with the same CRC, ioFailed and bytes left unread), and,
// when zlib decodes the bytes completely, by zlib (same output, same CRC).
// A hash of the input picks short reads, a failing output and encryption for
// a second run of one input in four, so those paths are fuzzed as well. Crashes, hangs and leaks are caught by the
// sanitizers and libFuzzer.
#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "../unit/test_support.h"
#include "base/crc.h"
#include "inflate/inflate.h"

namespace quillon::reference {
void InflateEntryPlain(EntryTransfer& transfer);  // reference_entry.cpp
}  // namespace quillon::reference

namespace {

using quillon::EntryTransfer;
using quillon::test::MemorySink;
using quillon::test::MemorySource;

struct Result {
  std::vector<uint8_t> bytes;
  std::vector<int32_t> writeSizes;
  uint32_t crc;
  bool ioFailed;
  int32_t dataRemaining;
};

struct Conditions {
  int32_t maxRead = 0;     // above 0: the package delivers at most this many bytes per read
  int64_t capacity = -1;   // 0 and above: the output fails once this many bytes are written
  bool encrypted = false;  // the data is decrypted with keys from a fixed password
};

template <typename Decode>
Result Run(const uint8_t* data, size_t size, const Conditions& conditions, Decode decode) {
  MemorySource source(std::vector<uint8_t>(data, data + size));
  source.maxRead = conditions.maxRead;
  MemorySink sink;
  sink.capacity = conditions.capacity;
  EntryTransfer transfer;
  transfer.package = &source;
  transfer.output = &sink;
  transfer.dataRemaining = static_cast<int32_t>(size);
  if (conditions.encrypted) {
    transfer.flags = quillon::kFlagEncrypted;
    quillon::InitKeys(transfer.keys, "fuzz", 4);
  }
  decode(transfer);
  return {std::move(sink.bytes), std::move(sink.writeSizes), transfer.entryCrc, transfer.ioFailed,
          transfer.dataRemaining};
}

void Check(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "mismatch: %s\n", what);
    std::abort();
  }
}

Result Compare(const uint8_t* data, size_t size, const Conditions& conditions) {
  const Result fast = Run(data, size, conditions, [](EntryTransfer& t) { quillon::InflateEntry(t); });
  const Result plain = Run(data, size, conditions, [](EntryTransfer& t) { quillon::reference::InflateEntryPlain(t); });
  Check(fast.bytes == plain.bytes, "output bytes");
  Check(fast.writeSizes == plain.writeSizes, "write sizes");
  Check(fast.crc == plain.crc, "CRC");
  Check(fast.ioFailed == plain.ioFailed, "ioFailed");
  Check(fast.dataRemaining == plain.dataRemaining, "bytes left unread");
  for (size_t i = 0; i + 1 < fast.writeSizes.size(); ++i) Check(fast.writeSizes[i] == 32768, "write unit");
  return fast;
}

// zlib's output when it decodes the whole stream, else false.
bool ZlibInflate(const uint8_t* data, size_t size, std::vector<uint8_t>& out) {
  z_stream z{};
  if (inflateInit2(&z, -15) != Z_OK) return false;
  z.next_in = const_cast<Bytef*>(data);
  z.avail_in = static_cast<uInt>(size);
  uint8_t chunk[65536];
  int status = Z_OK;
  while (status == Z_OK) {
    z.next_out = chunk;
    z.avail_out = sizeof(chunk);
    status = inflate(&z, Z_NO_FLUSH);
    out.insert(out.end(), chunk, chunk + (sizeof(chunk) - z.avail_out));
    if (status == Z_BUF_ERROR) break;
  }
  inflateEnd(&z);
  return status == Z_STREAM_END;
}

const quillon::CrcTable* Table() {
  static quillon::CrcTable table;
  quillon::BuildCrcTable(&table);
  table.carryless = quillon::ProcessorHasCarrylessMultiply();
  return &table;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const quillon::CrcTable* const table = Table();
  quillon::crcTable = table;

  const Result fast = Compare(data, size, Conditions{});

  // One input in four is run again under conditions picked by its hash.
  uint32_t hash = 2166136261u;
  for (size_t i = 0; i < size; ++i) hash = (hash ^ data[i]) * 16777619u;
  if ((hash & 0x18) == 0) {
    Conditions varied;
    varied.maxRead = (hash & 1) != 0 ? static_cast<int32_t>(1 + (hash >> 5) % 64) : 0;
    varied.capacity = (hash & 2) != 0 ? static_cast<int64_t>((hash >> 11) % 70000) : -1;
    varied.encrypted = (hash & 4) != 0 || (varied.maxRead == 0 && varied.capacity < 0);
    Compare(data, size, varied);
  }

  std::vector<uint8_t> expected;
  if (ZlibInflate(data, size, expected)) {
    Check(fast.bytes == expected, "output against zlib");
    const auto crc = static_cast<uint32_t>(crc32(0, expected.data(), static_cast<uInt>(expected.size())));
    Check((fast.crc ^ 0xFFFFFFFFu) == crc, "CRC against zlib");
    Check(!fast.ioFailed, "ioFailed on a complete stream");
  }
  return 0;
}
