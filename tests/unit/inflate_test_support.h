// Helpers for the inflate tests: a bit writer for hand-made deflate streams,
// and one call that runs a decoder over an entry held in memory.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "crypt/zip_crypt.h"
#include "inflate/transfer.h"
#include "test_support.h"

namespace quillon::test {

// Writes a deflate stream: plain values least significant bit first, Huffman
// codes most significant bit first (RFC 1951, 3.1.1).
class BitWriter {
 public:
  void Put(uint32_t value, int n) {
    for (int i = 0; i < n; ++i) Bit((value >> i) & 1u);
  }
  void Code(uint32_t code, int n) {
    for (int i = n - 1; i >= 0; --i) Bit((code >> i) & 1u);
  }
  void Align() {
    while (count_ % 8 != 0) Bit(0);
  }
  void Raw(const std::vector<uint8_t>& data) {
    for (uint8_t b : data) Put(b, 8);
  }

  void Stored(bool final, const std::vector<uint8_t>& data) {
    Put(final ? 1 : 0, 1);
    Put(0, 2);
    Align();
    Put(static_cast<uint32_t>(data.size()), 16);
    Put(static_cast<uint32_t>(~data.size()), 16);
    Raw(data);
  }
  void FixedHeader(bool final) {
    Put(final ? 1 : 0, 1);
    Put(1, 2);
  }
  // A literal/length symbol of the fixed code (RFC 1951, 3.2.6).
  void FixedSymbol(uint32_t symbol) {
    if (symbol < 144) {
      Code(0x30 + symbol, 8);
    } else if (symbol < 256) {
      Code(0x190 + symbol - 144, 9);
    } else if (symbol < 280) {
      Code(symbol - 256, 7);
    } else {
      Code(0xC0 + symbol - 280, 8);
    }
  }
  // A match in a fixed block; symbols as the format assigns them.
  void FixedMatch(uint32_t length, uint32_t distance) {
    uint32_t symbol = 0;
    uint32_t extra = 0;
    int bits = 0;
    LengthCode(length, symbol, extra, bits);
    FixedSymbol(symbol);
    Put(extra, bits);
    DistanceCode(distance, symbol, extra, bits);
    Code(symbol, 5);
    Put(extra, bits);
  }

  static void LengthCode(uint32_t length, uint32_t& symbol, uint32_t& extra, int& bits) {
    static const uint16_t base[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                      31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
    static const uint8_t extraBits[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                          2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
    int i = 28;
    while (base[i] > length) --i;
    symbol = 257 + static_cast<uint32_t>(i);
    extra = length - base[i];
    bits = extraBits[i];
  }
  static void DistanceCode(uint32_t distance, uint32_t& symbol, uint32_t& extra, int& bits) {
    static const uint16_t base[30] = {1,    2,    3,    4,    5,    7,    9,    13,    17,    25,
                                      33,   49,   65,   97,   129,  193,  257,  385,   513,   769,
                                      1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
    int i = 29;
    while (base[i] > distance) --i;
    symbol = static_cast<uint32_t>(i);
    extra = distance - base[i];
    bits = i < 4 ? 0 : i / 2 - 1;
  }

  std::vector<uint8_t> Finish() const { return bytes_; }

 private:
  void Bit(uint32_t bit) {
    if (count_ % 8 == 0) bytes_.push_back(0);
    bytes_.back() = static_cast<uint8_t>(bytes_.back() | bit << (count_ % 8));
    ++count_;
  }

  std::vector<uint8_t> bytes_;
  int count_ = 0;
};

// Canonical codes for a set of lengths (RFC 1951, 3.2.2).
inline std::vector<uint32_t> CanonicalCodes(const std::vector<uint16_t>& lengths) {
  uint32_t count[17] = {};
  for (uint16_t l : lengths) ++count[l];
  count[0] = 0;
  uint32_t next[17] = {};
  uint32_t code = 0;
  for (int bits = 1; bits <= 16; ++bits) {
    code = (code + count[bits - 1]) << 1;
    next[bits] = code;
  }
  std::vector<uint32_t> codes(lengths.size());
  for (size_t i = 0; i < lengths.size(); ++i) {
    if (lengths[i] != 0) codes[i] = next[lengths[i]]++;
  }
  return codes;
}

// A dynamic block header that lists every length with a code-length code of
// sixteen 4-bit codes (symbol i has code i), no repeats.
inline void DynamicHeader(BitWriter& out, bool final, const std::vector<uint16_t>& literalLengths,
                          const std::vector<uint16_t>& distanceLengths) {
  static const int order[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
  out.Put(final ? 1 : 0, 1);
  out.Put(2, 2);
  out.Put(static_cast<uint32_t>(literalLengths.size() - 257), 5);
  out.Put(static_cast<uint32_t>(distanceLengths.size() - 1), 5);
  out.Put(19 - 4, 4);
  for (int symbol : order) out.Put(symbol < 16 ? 4 : 0, 3);
  for (uint16_t l : literalLengths) out.Code(l, 4);
  for (uint16_t l : distanceLengths) out.Code(l, 4);
}

struct Decoded {
  std::vector<uint8_t> bytes;
  std::vector<int32_t> writes;
  uint32_t crc = 0;  // final CRC-32 (register inverted)
  bool ioFailed = false;
  int32_t dataRemaining = 0;
  size_t consumed = 0;  // package position afterwards

  bool operator==(const Decoded&) const = default;
};

struct Conditions {
  int32_t maxRead = 0;    // above 0: at most this many bytes per read
  int64_t capacity = -1;  // 0 and above: the output fails once this many bytes are written
  const char* password = nullptr;
  int32_t dataSize = -1;  // below 0: the whole package is the entry
};

using Decoder = std::function<void(EntryTransfer&)>;

inline Decoded RunDecoder(const Decoder& decode, const std::vector<uint8_t>& package, const Conditions& c = {}) {
  MemorySource source(package);
  source.maxRead = c.maxRead;
  MemorySink sink;
  sink.capacity = c.capacity;
  EntryTransfer transfer;
  transfer.package = &source;
  transfer.output = &sink;
  transfer.dataRemaining = c.dataSize >= 0 ? c.dataSize : static_cast<int32_t>(package.size());
  if (c.password != nullptr) {
    transfer.flags = kFlagEncrypted;
    InitKeys(transfer.keys, c.password, static_cast<int32_t>(std::strlen(c.password)));
  }
  decode(transfer);
  Decoded result;
  result.bytes = std::move(sink.bytes);
  result.writes = std::move(sink.writeSizes);
  result.crc = transfer.entryCrc ^ 0xFFFFFFFFu;
  result.ioFailed = transfer.ioFailed;
  result.dataRemaining = transfer.dataRemaining;
  result.consumed = source.position();
  return result;
}

// Encrypts data as the traditional ZIP encryption would, keys from password.
inline std::vector<uint8_t> Encrypt(std::vector<uint8_t> data, const char* password) {
  ZipKeys keys{};
  InitKeys(keys, password, static_cast<int32_t>(std::strlen(password)));
  for (auto& b : data) {
    const uint8_t plain = b;
    b = static_cast<uint8_t>(plain ^ DecryptByte(keys));
    UpdateKeys(keys, plain);
  }
  return data;
}

}  // namespace quillon::test
