#include "building/deflate_pieces.h"

#include <libdeflate.h>

#include <algorithm>
#include <array>
#include <stdexcept>

namespace quillon::pack {

namespace {

constexpr int kMaxCodeBits = 15;
constexpr size_t kLiteralCodes = 288;
constexpr size_t kDistanceCodes = 32;
constexpr uint16_t kEndOfBlock = 256;

// Extra bits of the length codes 257 to 285 and of the distance codes.
constexpr std::array<uint8_t, 29> kLengthExtra = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                                  2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr std::array<uint8_t, 30> kDistanceExtra = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                                    6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
// The order in which a dynamic block gives the lengths of the code-length code.
constexpr std::array<uint8_t, 19> kCodeLengthOrder = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

// Bits from the lowest of each byte on; reading past the end gives zeros and
// marks the reader as overrun.
class BitReader {
 public:
  BitReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}

  uint32_t Peek(int count) {
    while (available_ < count) {
      const uint64_t byte = next_ < size_ ? data_[next_] : 0;
      buffer_ |= byte << available_;
      ++next_;
      available_ += 8;
    }
    return static_cast<uint32_t>(buffer_ & ((uint64_t{1} << count) - 1));
  }
  void Skip(int count) {
    (void)Peek(count);
    buffer_ >>= count;
    available_ -= count;
    position_ += static_cast<uint64_t>(count);
  }
  uint32_t Take(int count) {
    const uint32_t bits = Peek(count);
    Skip(count);
    return bits;
  }
  void SkipToByte() { Skip(static_cast<int>((8 - position_ % 8) % 8)); }

  [[nodiscard]] uint64_t position() const { return position_; }
  [[nodiscard]] bool overrun() const { return position_ > uint64_t{size_} * 8; }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t next_ = 0;
  uint64_t buffer_ = 0;
  int available_ = 0;
  uint64_t position_ = 0;
};

// A canonical Huffman code as a table over the next 15 bits: each entry holds
// a symbol and its code length; length 0 marks bits that no code starts.
class HuffmanCode {
 public:
  // False for lengths that over-subscribe the code.
  bool Build(const uint8_t* lengths, size_t count) {
    std::array<uint16_t, kMaxCodeBits + 1> perLength{};
    for (size_t i = 0; i < count; ++i) ++perLength[lengths[i]];
    perLength[0] = 0;
    std::array<uint32_t, kMaxCodeBits + 2> next{};
    int32_t left = 1;
    for (int bits = 1; bits <= kMaxCodeBits; ++bits) {
      left = left * 2 - perLength[static_cast<size_t>(bits)];
      if (left < 0) return false;
      next[static_cast<size_t>(bits) + 1] = (next[static_cast<size_t>(bits)] + perLength[static_cast<size_t>(bits)])
                                            << 1;
    }
    table_.assign(size_t{1} << kMaxCodeBits, 0);
    for (size_t symbol = 0; symbol < count; ++symbol) {
      const int bits = lengths[symbol];
      if (bits == 0) continue;
      const uint32_t code = next[static_cast<size_t>(bits)]++;
      uint32_t reversed = 0;
      for (int i = 0; i < bits; ++i) reversed |= ((code >> i) & 1U) << (bits - 1 - i);
      for (uint32_t at = reversed; at < table_.size(); at += uint32_t{1} << bits) {
        table_[at] = static_cast<uint32_t>(symbol << 4 | static_cast<size_t>(bits));
      }
    }
    return true;
  }

  // The next symbol, or -1 for bits that start no code.
  int Decode(BitReader& bits) const {
    const uint32_t entry = table_[bits.Peek(kMaxCodeBits)];
    const int length = static_cast<int>(entry & 0x0F);
    if (length == 0) return -1;
    bits.Skip(length);
    return static_cast<int>(entry >> 4);
  }

 private:
  std::vector<uint32_t> table_;
};

bool ReadDynamicCodes(BitReader& bits, HuffmanCode& literals, HuffmanCode& distances) {
  const size_t literalCount = bits.Take(5) + 257;
  const size_t distanceCount = bits.Take(5) + 1;
  const size_t lengthCodeCount = bits.Take(4) + 4;
  std::array<uint8_t, 19> lengthCodeLengths{};
  for (size_t i = 0; i < lengthCodeCount; ++i)
    lengthCodeLengths[kCodeLengthOrder[i]] = static_cast<uint8_t>(bits.Take(3));
  HuffmanCode lengthCode;
  if (!lengthCode.Build(lengthCodeLengths.data(), lengthCodeLengths.size())) return false;
  std::array<uint8_t, kLiteralCodes + kDistanceCodes> lengths{};
  const size_t total = literalCount + distanceCount;
  for (size_t i = 0; i < total;) {
    const int symbol = lengthCode.Decode(bits);
    if (symbol < 0 || bits.overrun()) return false;
    if (symbol < 16) {
      lengths[i++] = static_cast<uint8_t>(symbol);
      continue;
    }
    if (symbol == 16 && i == 0) return false;
    const uint8_t repeated = symbol == 16 ? lengths[i - 1] : 0;
    const size_t count = symbol == 16 ? 3 + bits.Take(2) : symbol == 17 ? 3 + bits.Take(3) : 11 + bits.Take(7);
    if (i + count > total) return false;
    std::fill_n(lengths.begin() + static_cast<std::ptrdiff_t>(i), count, repeated);
    i += count;
  }
  if (lengths[kEndOfBlock] == 0) return false;
  return literals.Build(lengths.data(), literalCount) && distances.Build(lengths.data() + literalCount, distanceCount);
}

void FixedCodes(HuffmanCode& literals, HuffmanCode& distances) {
  std::array<uint8_t, kLiteralCodes> lengths{};
  std::fill(lengths.begin(), lengths.begin() + 144, 8);
  std::fill(lengths.begin() + 144, lengths.begin() + 256, 9);
  std::fill(lengths.begin() + 256, lengths.begin() + 280, 7);
  std::fill(lengths.begin() + 280, lengths.end(), 8);
  (void)literals.Build(lengths.data(), lengths.size());
  std::array<uint8_t, kDistanceCodes> distanceLengths{};
  distanceLengths.fill(5);
  (void)distances.Build(distanceLengths.data(), distanceLengths.size());
}

// Steps over the symbols of a Huffman-coded block up to its end code.
bool SkipSymbols(BitReader& bits, const HuffmanCode& literals, const HuffmanCode& distances) {
  while (!bits.overrun()) {
    const int symbol = literals.Decode(bits);
    if (symbol < 0) return false;
    if (symbol == kEndOfBlock) return true;
    if (symbol < kEndOfBlock) continue;
    const size_t length = static_cast<size_t>(symbol) - 257;
    if (length >= kLengthExtra.size()) return false;
    bits.Skip(kLengthExtra[length]);
    const int distance = distances.Decode(bits);
    if (distance < 0 || static_cast<size_t>(distance) >= kDistanceExtra.size()) return false;
    bits.Skip(kDistanceExtra[static_cast<size_t>(distance)]);
  }
  return false;
}

// Appends the first `count` bits of data to out, whose `written` bits end on
// a byte; the bits behind them in the last byte are cleared.
void AppendBits(std::vector<uint8_t>& out, uint64_t& written, const uint8_t* data, uint64_t count) {
  out.insert(out.end(), data, data + static_cast<size_t>((count + 7) / 8));
  written += count;
  if (written % 8 != 0) out.back() = static_cast<uint8_t>(out.back() & ((1U << (written % 8)) - 1));
}

// Stored blocks keep their data on whole bytes of the stream: the next piece
// must start on a byte. An empty stored block (a sync flush: header bits,
// padding, length 0 and its complement) brings the stream there.
void AlignToByte(std::vector<uint8_t>& out, uint64_t& written) {
  if (written % 8 == 0) return;
  written = (written + 3 + 7) / 8 * 8;  // the block header: not final, stored
  out.resize(static_cast<size_t>(written / 8));
  out.insert(out.end(), {0x00, 0x00, 0xFF, 0xFF});
  written += 32;
}

}  // namespace

std::optional<DeflateEnd> FindDeflateEnd(const uint8_t* data, size_t size) {
  BitReader bits(data, size);
  HuffmanCode literals;
  HuffmanCode distances;
  DeflateEnd end;
  bool final = false;
  while (!final) {
    end.lastBlock = bits.position();
    final = bits.Take(1) == 1;
    const uint32_t type = bits.Take(2);
    if (type == 0) {
      bits.SkipToByte();
      const uint32_t length = bits.Take(16);
      if ((bits.Take(16) ^ 0xFFFF) != length) return std::nullopt;
      for (uint32_t i = 0; i < length && !bits.overrun(); ++i) bits.Skip(8);
    } else if (type == 1) {
      FixedCodes(literals, distances);
      if (!SkipSymbols(bits, literals, distances)) return std::nullopt;
    } else if (type == 2) {
      if (!ReadDynamicCodes(bits, literals, distances) || !SkipSymbols(bits, literals, distances)) return std::nullopt;
    } else {
      return std::nullopt;
    }
    if (bits.overrun()) return std::nullopt;
  }
  end.end = bits.position();
  if ((end.end + 7) / 8 != size) return std::nullopt;
  return end;
}

std::vector<uint8_t> DeflateInPieces(libdeflate_compressor* compressor, const uint8_t* data, size_t size,
                                     size_t pieceSize, const std::function<void(size_t)>& done) {
  std::vector<uint8_t> joined;
  uint64_t written = 0;
  std::vector<uint8_t> piece;
  size_t at = 0;
  do {
    const size_t length = std::min(pieceSize, size - at);
    piece.resize(libdeflate_deflate_compress_bound(compressor, length));
    piece.resize(libdeflate_deflate_compress(compressor, data + at, length, piece.data(), piece.size()));
    const std::optional<DeflateEnd> end = FindDeflateEnd(piece.data(), piece.size());
    if (piece.empty() || !end) throw std::logic_error("libdeflate wrote no deflate stream that can be joined");
    at += length;
    const uint64_t start = written;
    AppendBits(joined, written, piece.data(), end->end);
    if (at < size) {
      const uint64_t mark = start + end->lastBlock;
      joined[static_cast<size_t>(mark / 8)] &= static_cast<uint8_t>(~(1U << (mark % 8)));
      AlignToByte(joined, written);
    }
    if (done) done(length);
  } while (at < size);
  return joined;
}

}  // namespace quillon::pack
