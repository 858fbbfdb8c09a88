#include "inflate/inflate.h"

#include <cstddef>
#include <cstring>

#include "base/crc.h"
#include "base/memory.h"
#include "inflate/fast_table.h"
#include "inflate/huffman.h"

namespace quillon {
namespace {

// ---- Format constants (RFC 1951, 3.2.5 to 3.2.7) ----

constexpr uint8_t kNoSymbol = kInvalidEntry;

// Literal/length symbols 257 to 287; 286 and 287 have no length and decode as
// invalid codes.
constexpr uint16_t kLengthBase[31] = {3,  4,  5,  6,  7,  8,  9,  10,  11,  13,  15,  17,  19,  23, 27, 31,
                                      35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258, 0,  0};
constexpr uint8_t kLengthExtra[31] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2,         2,        2,
                                      3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0, kNoSymbol, kNoSymbol};
// Distance symbols 0 to 31; a dynamic header may give 30 and 31 lengths, and
// like 286 and 287 they decode as invalid codes.
constexpr uint16_t kDistanceBase[32] = {1,    2,    3,    4,    5,    7,     9,     13,    17,  25,   33,
                                        49,   65,   97,   129,  193,  257,   385,   513,   769, 1025, 1537,
                                        2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577, 0,   0};
constexpr uint8_t kDistanceExtra[32] = {0, 0, 0, 0, 1, 1, 2,  2,  3,  3,  4,  4,  5,  5,  6,         6,
                                        7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13, kNoSymbol, kNoSymbol};
// Order in which a dynamic block lists the lengths of the code-length code.
constexpr uint8_t kCodeLengthOrder[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

constexpr uint32_t kMaxStreamCodeBits = 15;  // a dynamic header encodes lengths 0 to 15 (3.2.7)
constexpr uint32_t kMaxLengthExtra = 5;
constexpr uint32_t kMaxDistanceExtra = 13;
constexpr int32_t kMaxMatch = 258;
constexpr int32_t kWindowSize = 32768;  // how far back a reference reaches, and the unit of every write

static_assert(kLengthExtra[27] == kMaxLengthExtra && kDistanceExtra[29] == kMaxDistanceExtra,
              "the most extra bits a length or a distance takes (3.2.5)");
static_assert(kLengthBase[28] + (1 << kLengthExtra[28]) - 1 == kMaxMatch);
static_assert(kLengthBase[27] + (1 << kLengthExtra[27]) - 1 == kMaxMatch);
static_assert(kDistanceBase[29] + (1 << kDistanceExtra[29]) - 1 == kWindowSize,
              "no reference reaches back further than one window");
static_assert(kDistanceBase[29] < 1 << 15 && kLengthBase[28] < 1 << 15, "every base fits a fast entry's bits 16-30");
static_assert(kTransferBlock == kWindowSize);

// Root widths asked of the table builder. They are behaviour, not tuning: a
// root's width is how many bits the exact reader asks for first in each code,
// which decides where decoding resumes after a bad block.
constexpr int32_t kFixedLiteralWidth = 7;
constexpr int32_t kFixedDistanceWidth = 5;
constexpr int32_t kCodeLengthWidth = 7;
constexpr int32_t kLiteralWidth = 9;
constexpr int32_t kDistanceWidth = 6;

// ---- Fast loop limits ----

// The fast loop reads a machine word of input at a time. A refill leaves at
// least kRefillBits bits counted in the buffer, and the whole word loaded, so
// a table lookup may look at bits beyond the count.
using Word = size_t;
constexpr uint32_t kWordBits = sizeof(Word) * 8;
constexpr uint32_t kRefillBits = kWordBits - 8;
constexpr bool kWideWord = kWordBits == 64;
// The most bits one literal/length or one distance takes: its code and its
// extra bits.
constexpr uint32_t kMaxLiteralCost = kMaxStreamCodeBits + kMaxLengthExtra;
constexpr uint32_t kMaxDistanceCost = kMaxStreamCodeBits + kMaxDistanceExtra;
// On a wide word, up to two literals from the root go before the code of an
// iteration without a refill between.
constexpr uint32_t kExtraLiterals = kWideWord ? 2 : 0;
// Each step between two refills consumes only bits that the refill counted:
static_assert(kRefillBits >= kExtraLiterals * kFastLiteralBits + kMaxLiteralCost,
              "one refill covers the extra literals and then a literal/length code with its extra bits");
static_assert(kRefillBits >= kFastDistanceBits + kMaxDistanceExtra &&
                  kRefillBits >= kMaxDistanceCost - kFastDistanceBits,
              "one refill covers a distance code from the root, or what a sub-table adds to its root bits");
static_assert(kWideWord == (kRefillBits >= kMaxDistanceCost), "only a narrow word refills inside a distance code");
// An iteration consumes at most this many bits; each refill loads a word at
// the input position, which trails the bits consumed by less than a word.
// The input limit lies kFastInputMargin bytes before the end of the input
// buffer's data, so that an iteration that starts at the limit loads no word
// from beyond the data: those bytes are not the stream's yet.
constexpr int32_t kIterationBits = kExtraLiterals * kFastLiteralBits + kMaxLiteralCost + kMaxDistanceCost;
constexpr int32_t kFastInputMargin = (kIterationBits + 7) / 8 + 2 * static_cast<int32_t>(sizeof(Word));
// How far an iteration moves the input position (which runs ahead of the bits
// consumed by the bits held, at least kRefillBits at an iteration's start)
// and the output. The room check counts iterations by them.
constexpr int32_t kIterationInput = (kIterationBits + static_cast<int32_t>(kWordBits - kRefillBits) + 7) / 8 + 1;
static_assert(kFastInputMargin >= kIterationInput + static_cast<int32_t>(sizeof(Word)),
              "an iteration that starts at the input limit loads no word from beyond the buffer's data");
// Behind the entry's last byte the loop runs until the input position is a
// word past it (by then the bits consumed are past it too): zeros behind the
// data cover what an iteration reads from there.
constexpr int32_t kInputPadding = kIterationInput + 2 * static_cast<int32_t>(sizeof(Word));
constexpr int32_t kIterationOutput = kMaxMatch;
static_assert(1 + kExtraLiterals <= kIterationOutput, "a group of literals writes no more than a match");

// The window: the current lap is where output is assembled, 32768 bytes that
// are written out when full. Laps lie in one block behind a copy of the lap
// before the first, so history is always the 32768 bytes just before the
// output position. Slack behind the last lap takes a match that runs past its
// end and the word-sized stores that overshoot a match. One lap keeps the
// block small: a larger one costs more to take from the heap per entry than
// the copies it saves.
constexpr int32_t kLaps = 1;
constexpr int32_t kWindowSlack =
    static_cast<int32_t>(kExtraLiterals) + kMaxMatch + 4 * static_cast<int32_t>(sizeof(Word));
constexpr size_t kWindowBytes = static_cast<size_t>(kWindowSize) * (kLaps + 1) + kWindowSlack;
static_assert(kWindowSlack >= kIterationOutput + 2 * static_cast<int32_t>(sizeof(Word)),
              "an iteration begun before the lap's end, and CopyMatch's overshoot, stay in the window");

// The fast loop's helpers are forced inline: the stub is built for size,
// and a call per bit operation would cost more than the code it saves.
#define QUILLON_HOT [[gnu::always_inline]] inline
// The fast loop itself is compiled for speed even in the size-optimised
// stub: a few hundred bytes buy nearly half the time back on i686, where the
// size-tuned register allocation spills the loop's state.
#if defined(__GNUC__) && !defined(__clang__)
#define QUILLON_FAST_LOOP __attribute__((optimize("O2", "no-align-loops", "no-align-jumps", "no-align-labels")))
#else
#define QUILLON_FAST_LOOP
#endif

QUILLON_HOT uint32_t Mask(uint32_t bits) {
  return (1u << bits) - 1;
}

QUILLON_HOT Word LoadWord(const uint8_t* p) {
  Word w;
  std::memcpy(&w, p, sizeof(w));
  return w;
}

QUILLON_HOT void StoreWord(uint8_t* p, Word w) {
  std::memcpy(p, &w, sizeof(w));
}

// The bit count's low byte counts the bits held; Consume leaves the bits
// above it undefined, which spares a masking step per code.
//
// Tops the bit buffer up to at least kRefillBits bits from a word of input.
// The position in the stream (8 * in - count) does not change.
QUILLON_HOT void Refill(Word& bits, uint32_t& count, const uint8_t*& in) {
  bits |= LoadWord(in) << (count & (kWordBits - 1));
  in += sizeof(Word) - 1 - ((count >> 3) & (sizeof(Word) - 1));
  count |= kRefillBits;
}

// Consumes the bits of a table entry (its low byte), or n bits.
QUILLON_HOT void Consume(uint32_t entry, Word& bits, uint32_t& count) {
  bits >>= entry & 0xFFu;
  count -= entry;
}

// Copies a match forwards, byte for byte in effect: a distance shorter than
// the length repeats the bytes just written. May write up to two words beyond
// the match, into output not yet produced.
QUILLON_HOT uint8_t* CopyMatch(uint8_t* out, uint32_t distance, uint32_t length) {
  const uint8_t* from = out - distance;
  uint8_t* const end = out + length;
  if (distance >= sizeof(Word)) {
    // Each word read was written before, a distance shorter than two words
    // included, as long as the words go in order.
    do {
      StoreWord(out, LoadWord(from));
      StoreWord(out + sizeof(Word), LoadWord(from + sizeof(Word)));
      from += 2 * sizeof(Word);
      out += 2 * sizeof(Word);
    } while (out < end);
  } else if (distance == 1) {
    const Word run = from[0] * (~Word{0} / 0xFF);
    do {
      StoreWord(out, run);
      out += sizeof(Word);
    } while (out < end);
  } else {
    do *out++ = *from++;
    while (out < end);
  }
  return end;
}

// One block's codes. The fast loop's tables are built with the block; the
// exact reader's tables only when the exact loop first needs them, which for
// most blocks of an intact stream is never.
struct BlockCodes {
  const uint16_t* lengths;  // literal/length lengths, then the distance lengths
  uint32_t literalCount;
  uint32_t distanceCount;
  int32_t literalWidthAsked;  // the root widths asked of BuildHuffmanTable
  int32_t distanceWidthAsked;
  uint32_t literalWidth;  // the root widths it builds
  uint32_t distanceWidth;
  uint32_t* fastLiteral;
  uint32_t* fastDistance;
  bool fast;             // the fast loop can keep the exact reader's account (FastCodesExact)
  HuffmanEntry** chain;  // where the exact tables go
  bool exact;            // the exact tables are built
  HuffmanEntry* literalRoot;
  HuffmanEntry* distanceRoot;  // null: no distance code set
};

// Storage of the fast loop's tables: a dynamic block's, then the fixed ones.
constexpr size_t kFastTableEntries =
    kFastLiteralEntries + kFastDistanceEntries + (1u << kFastLiteralBits) + (1u << kFastDistanceBits);

class Inflater {
 public:
  explicit Inflater(EntryTransfer& transfer)
      : transfer_(transfer),
        ioBuffer_(static_cast<size_t>(transfer.dataRemaining > 0 && transfer.dataRemaining < kTransferBlock
                                          ? transfer.dataRemaining
                                          : kTransferBlock) +
                      kInputPadding,
                  Fill::None),
        unread_(transfer.dataRemaining > 0 ? transfer.dataRemaining : 0),
        window_(kWindowBytes, Fill::None),
        lap_(window_.get() + kWindowSize),
        fastTables_(kFastTableEntries, Fill::None) {
    // References from before the entry's first byte read zeros.
    std::memset(window_.get(), 0, kWindowSize);
  }
  ~Inflater() { FreeHuffmanTables(fixedChain_); }
  Inflater(const Inflater&) = delete;
  Inflater& operator=(const Inflater&) = delete;

  void Run();

 private:
  // Byte and bit input.
  int32_t FetchInputByte();
  int32_t NextInputByte() { return inputPos_ < inputCount_ || unread_ > 0 ? FetchInputByte() : -1; }
  void NeedBits(uint32_t n, uint32_t& bitBuffer, uint32_t& bitCount);
  [[nodiscard]] static bool DumpBits(uint32_t n, uint32_t& bitBuffer, uint32_t& bitCount);
  [[nodiscard]] bool ReadBits(uint32_t n, uint32_t& value, uint32_t& bitBuffer, uint32_t& bitCount);
  const HuffmanEntry* DecodeEntry(const HuffmanEntry* table, uint32_t width, uint32_t& bitBuffer, uint32_t& bitCount,
                                  int32_t& status);

  // Output.
  void WriteOutput(const uint8_t* data, int32_t count);
  uint8_t* FlushLap(uint8_t* out);
  void PutByte(int32_t& w, uint32_t byte);
  void RewindWindow(int32_t from, int32_t to);

  // Stages.
  int32_t InflateBlock(int32_t& final);
  int32_t InflateStored();
  int32_t InflateFixed();
  int32_t InflateDynamic();
  int32_t ReadCodeLengths(const uint32_t* table, uint32_t width, uint16_t* lengths, uint32_t total, uint32_t& bitBuffer,
                          uint32_t& bitCount);
  static int32_t PrepareCodes(BlockCodes& codes);
  static void BuildExactTables(BlockCodes& codes);
  int32_t InflateCodes(BlockCodes& codes);
  bool FastCodes(const BlockCodes& codes, uint32_t& bitBuffer, uint32_t& bitCount, int32_t& w);
  void HoldBits(int32_t position, int32_t reach, uint32_t entryBits, uint32_t entryCount, int32_t entryPos,
                uint32_t& bitBuffer, uint32_t& bitCount);

  EntryTransfer& transfer_;
  HeapBuffer<uint8_t> ioBuffer_;
  int32_t inputPos_ = 0;
  int32_t inputCount_ = 0;
  int32_t unread_;  // entry bytes not yet read from the package
  uint32_t bitBuffer_ = 0;
  uint32_t bitCount_ = 0;
  HeapBuffer<uint8_t> window_;
  uint8_t* lap_;
  int32_t windowPos_ = 0;
  HeapBuffer<uint32_t> fastTables_;
  // The fixed codes, prepared on the first fixed block of the entry.
  bool fixedReady_ = false;
  uint16_t fixedLengths_[288 + 30];
  BlockCodes fixed_{};
  HuffmanEntry* fixedChain_ = nullptr;
};

// ---- Input ----

int32_t Inflater::FetchInputByte() {
  if (inputPos_ >= inputCount_) {
    const int32_t want = unread_ < kTransferBlock ? unread_ : kTransferBlock;
    const int32_t got = transfer_.package->Read(ioBuffer_.get(), want);
    inputPos_ = 0;
    if (got <= 0 || got > want) {  // a read that delivers nothing ends the entry's input
      inputCount_ = 0;
      unread_ = 0;
      return -1;
    }
    if ((transfer_.flags & kFlagEncrypted) != 0) DecryptBuffer(transfer_.keys, ioBuffer_.get(), got);
    inputCount_ = got;
    unread_ -= got;
    // Zeros behind the bytes, for the fast loop to run over after the last.
    std::memset(ioBuffer_.get() + got, 0, kInputPadding);
  }
  return ioBuffer_[static_cast<size_t>(inputPos_++)];
}

// One byte at a time while fewer than n bits are held, so the bytes taken
// from the input at any moment follow from the bits asked for. Past the end of
// the entry's data nothing comes: missing bits read as zeros, and DumpBits
// refuses to consume them.
void Inflater::NeedBits(uint32_t n, uint32_t& bitBuffer, uint32_t& bitCount) {
  while (bitCount < n) {
    const int32_t byte = NextInputByte();
    if (byte < 0) return;
    bitBuffer |= static_cast<uint32_t>(byte) << bitCount;
    bitCount += 8;
  }
}

bool Inflater::DumpBits(uint32_t n, uint32_t& bitBuffer, uint32_t& bitCount) {
  if (n > bitCount) return false;  // a bit the entry's data does not hold
  bitBuffer >>= n;
  bitCount -= n;
  return true;
}

bool Inflater::ReadBits(uint32_t n, uint32_t& value, uint32_t& bitBuffer, uint32_t& bitCount) {
  NeedBits(n, bitBuffer, bitCount);
  value = bitBuffer & Mask(n);
  return DumpBits(n, bitBuffer, bitCount);
}

// Resolves a code through the root and its sub-tables. Returns its entry with
// the entry's own bits not yet consumed, or null with the status.
const HuffmanEntry* Inflater::DecodeEntry(const HuffmanEntry* table, uint32_t width, uint32_t& bitBuffer,
                                          uint32_t& bitCount, int32_t& status) {
  NeedBits(width, bitBuffer, bitCount);
  const HuffmanEntry* t = table + (bitBuffer & Mask(width));
  while (t->extra > kLinkEntry) {
    if (t->extra == kInvalidEntry) {
      status = kStatusInvalidCode;
      return nullptr;
    }
    const auto bits = static_cast<uint32_t>(t->extra - kLinkEntry);
    if (!DumpBits(t->bits, bitBuffer, bitCount)) {
      status = kStatusDataEnd;
      return nullptr;
    }
    NeedBits(bits, bitBuffer, bitCount);
    t = t->next + (bitBuffer & Mask(bits));
  }
  return t;
}

// ---- Output ----

// The CRC covers what the output reports written, so a short write shows in
// the entry's CRC as well as in ioFailed.
void Inflater::WriteOutput(const uint8_t* data, int32_t count) {
  int32_t written = transfer_.output->Write(data, count);
  if (written != count) transfer_.ioFailed = true;
  if (written > count) written = count;
  UpdateCrc(data, written, transfer_.entryCrc);
}

// Writes the full lap and moves on to the next; out (at or past the lap's
// end) is the output position, returned for the new lap.
uint8_t* Inflater::FlushLap(uint8_t* out) {
  WriteOutput(lap_, kWindowSize);
  uint8_t* next = lap_ + kWindowSize;
  const auto over = static_cast<size_t>(out - next);
  if (next == window_.get() + static_cast<size_t>(kWindowSize) * (kLaps + 1)) {
    std::memcpy(window_.get(), lap_, kWindowSize);
    next = window_.get() + kWindowSize;
    std::memcpy(next, lap_ + kWindowSize, over);
  }
  lap_ = next;
  return next + over;
}

void Inflater::PutByte(int32_t& w, uint32_t byte) {
  lap_[w] = static_cast<uint8_t>(byte);
  if (++w == kWindowSize) {
    FlushLap(lap_ + w);
    w = 0;
  }
}

// A bad block leaves windowPos where its codes began while what they wrote
// stays in the window: bytes from there on count as history again, and any
// lap flushed meanwhile has moved on. Bring the copy of the lap before in step
// so the window reads as one 32768-byte ring that was rewound.
void Inflater::RewindWindow(int32_t from, int32_t to) {
  uint8_t* const previous = lap_ - kWindowSize;
  if (from > to) {
    std::memcpy(previous + to, lap_ + to, static_cast<size_t>(from - to));
  } else if (from < to) {
    std::memcpy(lap_ + from, previous + from, static_cast<size_t>(to - from));
  }
}

// ---- Blocks ----

void Inflater::Run() {
  int32_t final = 0;
  do {
    if (InflateBlock(final) == kStatusDataEnd) break;
  } while (final == 0);
  if (windowPos_ > 0) WriteOutput(lap_, windowPos_);
  windowPos_ = 0;
  transfer_.dataRemaining = unread_ + inputCount_ - inputPos_;
}

// A stage's status does not stop the entry: a bad block leaves the state last
// stored (behind the block header, or behind a dynamic block's code lengths),
// and the next header is read from there. Every header takes three bits, so
// the driver always moves on. Only the end of the data ends the entry early.
// The header (RFC 1951 3.2.3): BFINAL, then BTYPE in two bits.
int32_t Inflater::InflateBlock(int32_t& final) {
  uint32_t bitBuffer = bitBuffer_;
  uint32_t bitCount = bitCount_;
  uint32_t last = 0;
  uint32_t type = 0;
  if (!ReadBits(1, last, bitBuffer, bitCount) || !ReadBits(2, type, bitBuffer, bitCount)) return kStatusDataEnd;
  final = static_cast<int32_t>(last);
  bitBuffer_ = bitBuffer;
  bitCount_ = bitCount;
  switch (type) {
    case 0:
      return InflateStored();
    case 1:
      return InflateFixed();
    case 2:
      return InflateDynamic();
    default:
      return kStatusOk;  // type 3 has no content
  }
}

// A stored block (RFC 1951 3.2.4): to the byte boundary, LEN and NLEN, then
// LEN bytes as they are.
int32_t Inflater::InflateStored() {
  uint32_t bitBuffer = bitBuffer_;
  uint32_t bitCount = bitCount_;
  (void)DumpBits(bitCount % 8, bitBuffer, bitCount);  // to the byte boundary
  uint32_t length = 0;
  uint32_t complement = 0;  // NLEN is read over, not compared: LEN bytes are copied whatever it holds
  if (!ReadBits(16, length, bitBuffer, bitCount) || !ReadBits(16, complement, bitBuffer, bitCount)) {
    return kStatusDataEnd;
  }
  int32_t status = kStatusOk;
  int32_t w = windowPos_;
  while (length > 0) {
    if (bitCount >= 8) {  // whole bytes still held as bits come first
      PutByte(w, bitBuffer & 0xFFu);
      (void)DumpBits(8, bitBuffer, bitCount);
      --length;
      continue;
    }
    if (inputPos_ >= inputCount_) {
      if (NextInputByte() < 0) {
        status = kStatusDataEnd;
        break;
      }
      --inputPos_;
    }
    uint32_t n = static_cast<uint32_t>(inputCount_ - inputPos_);
    if (n > length) n = length;
    if (n > static_cast<uint32_t>(kWindowSize - w)) n = static_cast<uint32_t>(kWindowSize - w);
    std::memcpy(lap_ + w, ioBuffer_.get() + inputPos_, n);
    inputPos_ += static_cast<int32_t>(n);
    w += static_cast<int32_t>(n);
    length -= n;
    if (w == kWindowSize) {
      FlushLap(lap_ + w);
      w = 0;
    }
  }
  bitBuffer_ = bitBuffer;
  bitCount_ = bitCount;
  windowPos_ = w;
  return status;
}

// The fast loop keeps the exact reader's account of the bits asked for (see
// FastCodes) from the root lookups of literal/length codes alone, which is
// right when every other lookup of the block asks for no bit beyond the next
// such root lookup. The exact reader asks for a table's width at each lookup.
// A lookup of a sub-table w bits into a code asks for w plus the sub-table's
// width; the code is longer than w, so the next code's root lookup starts at
// least w + 1 bits in and asks for literalWidth more. A sub-table is never
// wider than the longest code less the bits above it, and a distance code's
// root lookup starts at least one bit before the next code.
constexpr bool FastCodesExact(uint32_t literalWidth, uint32_t literalLongest, uint32_t distanceWidth,
                              uint32_t distanceLongest) {
  return distanceWidth <= literalWidth + 1 && literalLongest <= 2 * literalWidth + 1 &&
         distanceLongest <= distanceWidth + literalWidth + 1;
}

// Builds the fast tables and judges the lengths as the exact tables would be
// judged: a literal/length code must be complete (or one code of one bit), a
// distance code may be incomplete. Returns kStatusOk or the status that gives
// the block up.
int32_t Inflater::PrepareCodes(BlockCodes& codes) {
  CodeShape literalShape;
  CodeShape distanceShape;
  int32_t status = BuildFastTable(codes.lengths, codes.literalCount, 257, kLengthBase, kLengthExtra, kFastLiteralBits,
                                  kFastLiteralEntries, codes.fastLiteral, literalShape);
  if (status != kStatusOk || literalShape.longest == 0) return kStatusInvalidCode;
  status = BuildFastTable(codes.lengths + codes.literalCount, codes.distanceCount, 0, kDistanceBase, kDistanceExtra,
                          kFastDistanceBits, kFastDistanceEntries, codes.fastDistance, distanceShape);
  if (status == kStatusOversubscribed) return status;
  codes.literalWidth =
      HuffmanRootWidth(literalShape.shortest, literalShape.longest, codes.literalWidthAsked, codes.lengths[256]);
  codes.distanceWidth = distanceShape.longest == 0 ? 0
                                                   : HuffmanRootWidth(distanceShape.shortest, distanceShape.longest,
                                                                      codes.distanceWidthAsked, kMaxCodeBits);
  codes.fast = FastCodesExact(codes.literalWidth, literalShape.longest, codes.distanceWidth, distanceShape.longest);
  return kStatusOk;
}

void Inflater::BuildExactTables(BlockCodes& codes) {
  int32_t width = codes.literalWidthAsked;
  (void)BuildHuffmanTable(codes.lengths, codes.literalCount, 257, kLengthBase, kLengthExtra, codes.literalRoot,
                          *codes.chain, width);
  width = codes.distanceWidthAsked;
  (void)BuildHuffmanTable(codes.lengths + codes.literalCount, codes.distanceCount, 0, kDistanceBase, kDistanceExtra,
                          codes.distanceRoot, *codes.chain, width);
  codes.exact = true;
}

// The fixed codes (RFC 1951 3.2.6): literal/length lengths 8, 9, 7 and 8 for
// symbols 0-143, 144-255, 256-279 and 280-287, and distance codes of 5 bits.
// They are prepared on the first fixed block of an entry and serve every later
// one; their exact tables too, once built.
int32_t Inflater::InflateFixed() {
  if (!fixedReady_) {
    for (uint32_t i = 0; i < 288 + 30; ++i)
      fixedLengths_[i] = i < 144 ? 8 : i < 256 ? 9 : i < 280 ? 7 : i < 288 ? 8 : 5;
    fixed_.lengths = fixedLengths_;
    fixed_.literalCount = 288;
    fixed_.distanceCount = 30;  // 30 codes of 5 bits: incomplete, 30 and 31 are fillers
    fixed_.literalWidthAsked = kFixedLiteralWidth;
    fixed_.distanceWidthAsked = kFixedDistanceWidth;
    fixed_.fastLiteral = fastTables_.get() + kFastLiteralEntries + kFastDistanceEntries;
    fixed_.fastDistance = fixed_.fastLiteral + (1u << kFastLiteralBits);
    fixed_.chain = &fixedChain_;
    (void)PrepareCodes(fixed_);
    fixedReady_ = true;
  }
  return InflateCodes(fixed_);
}

// A dynamic block's header (RFC 1951 3.2.7): HLIT, HDIST and HCLEN, the
// code-length code's lengths in kCodeLengthOrder, then the literal/length and
// distance lengths in that code.
int32_t Inflater::InflateDynamic() {
  uint32_t bitBuffer = bitBuffer_;
  uint32_t bitCount = bitCount_;
  uint32_t literalCount = 0;
  uint32_t distanceCount = 0;
  uint32_t codeLengthCount = 0;
  if (!ReadBits(5, literalCount, bitBuffer, bitCount) || !ReadBits(5, distanceCount, bitBuffer, bitCount) ||
      !ReadBits(4, codeLengthCount, bitBuffer, bitCount)) {
    return kStatusDataEnd;
  }
  literalCount += 257;  // at most 288: 286 and 287 decode as invalid codes
  distanceCount += 1;   // at most 32: 30 and 31 likewise
  codeLengthCount += 4;
  uint16_t lengths[288 + 32];
  static_assert(257 + 31 <= 288 && 1 + 31 <= 32 && 4 + 15 == 19);

  uint16_t codeLengths[19] = {};
  for (uint32_t i = 0; i < codeLengthCount; ++i) {
    uint32_t length = 0;
    if (!ReadBits(3, length, bitBuffer, bitCount)) return kStatusDataEnd;
    codeLengths[kCodeLengthOrder[i]] = static_cast<uint16_t>(length);
  }
  // The code-length code has no code longer than the root it asks for, so a
  // fast table of that width resolves every code as the exact one would.
  uint32_t codeLengthTable[1u << kCodeLengthWidth];
  CodeShape shape;
  int32_t status = BuildFastTable(codeLengths, 19, 19, nullptr, nullptr, kCodeLengthWidth, 1u << kCodeLengthWidth,
                                  codeLengthTable, shape);
  if (status == kStatusOk && shape.longest != 0) {
    status = ReadCodeLengths(codeLengthTable,
                             HuffmanRootWidth(shape.shortest, shape.longest, kCodeLengthWidth, kMaxCodeBits), lengths,
                             literalCount + distanceCount, bitBuffer, bitCount);
  } else {
    status = kStatusInvalidCode;
  }
  if (status != kStatusOk) return status;
  bitBuffer_ = bitBuffer;
  bitCount_ = bitCount;

  BlockCodes codes{};
  codes.lengths = lengths;
  codes.literalCount = literalCount;
  codes.distanceCount = distanceCount;
  codes.literalWidthAsked = kLiteralWidth;
  codes.distanceWidthAsked = kDistanceWidth;
  codes.fastLiteral = fastTables_.get();
  codes.fastDistance = codes.fastLiteral + kFastLiteralEntries;
  HuffmanEntry* chain = nullptr;
  codes.chain = &chain;
  status = PrepareCodes(codes);
  if (status == kStatusOk) status = InflateCodes(codes);
  FreeHuffmanTables(chain);
  return status;
}

// The code lengths of a dynamic header (RFC 1951 3.2.7): 0 to 15 stand for
// themselves; 16 repeats the previous length (0 at the start) 3 to 6 times,
// 17 and 18 repeat 0 3 to 10 and 11 to 138 times.
int32_t Inflater::ReadCodeLengths(const uint32_t* table, uint32_t width, uint16_t* lengths, uint32_t total,
                                  uint32_t& bitBuffer, uint32_t& bitCount) {
  uint32_t i = 0;
  uint32_t last = 0;
  while (i < total) {
    NeedBits(width, bitBuffer, bitCount);
    const uint32_t t = table[bitBuffer & Mask(width)];
    // A code-length code of one 1-bit code leaves a filler: no length at all.
    if ((t & kFastLiteral) == 0) return kStatusInvalidCode;
    if (!DumpBits(t & 0xFFu, bitBuffer, bitCount)) return kStatusDataEnd;
    const uint32_t symbol = (t >> 8) & 0xFFu;
    if (symbol < 16) {
      lengths[i++] = static_cast<uint16_t>(symbol);
      last = symbol;
      continue;
    }
    uint32_t repeat = 0;
    if (!ReadBits(symbol == 16 ? 2 : symbol == 17 ? 3 : 7, repeat, bitBuffer, bitCount)) return kStatusDataEnd;
    repeat += symbol == 18 ? 11 : 3;
    if (symbol != 16) last = 0;
    if (repeat > total - i) return kStatusInvalidCode;
    while (repeat-- > 0) lengths[i++] = static_cast<uint16_t>(last);
  }
  return kStatusOk;
}

// ---- Codes ----

// Decodes literal/length and distance codes up to the end-of-block code
// (RFC 1951 3.2.5).
//
// The state is stored back only at the end-of-block code. After an invalid
// code the block is given up: the bit buffer and windowPos stay as they were
// on entry while the input has moved on by exactly the bytes the codes read
// so far asked for, and laps flushed meanwhile stand. The fast loop does the
// bulk of the work; this loop takes single codes near the end of the input
// buffer, invalid codes and the end of the data, reading bits exactly as
// asked for.
int32_t Inflater::InflateCodes(BlockCodes& codes) {
  uint32_t bitBuffer = bitBuffer_;
  uint32_t bitCount = bitCount_;
  int32_t w = windowPos_;
  const uint32_t lw = codes.literalWidth;
  const uint32_t dw = codes.distanceWidth;
  int32_t status = kStatusOk;
  for (;;) {
    if (codes.fast && inputCount_ > 0 && FastCodes(codes, bitBuffer, bitCount, w)) {
      return kStatusOk;
    }
    if (!codes.exact) BuildExactTables(codes);
    const HuffmanEntry* t = DecodeEntry(codes.literalRoot, lw, bitBuffer, bitCount, status);
    if (t == nullptr) break;
    if (t->extra < kEndOfBlockEntry && codes.distanceRoot == nullptr) {
      status = kStatusInvalidCode;  // a length without a distance code set
      break;
    }
    if (!DumpBits(t->bits, bitBuffer, bitCount)) {
      status = kStatusDataEnd;
      break;
    }
    if (t->extra == kLiteralEntry) {
      PutByte(w, t->value);
      continue;
    }
    if (t->extra == kEndOfBlockEntry) {
      bitBuffer_ = bitBuffer;
      bitCount_ = bitCount;
      windowPos_ = w;
      return kStatusOk;
    }
    // A length, then its distance (3.2.5), and the copy byte by byte, so a
    // distance shorter than the length repeats the bytes just written.
    uint32_t length = 0;
    if (!ReadBits(static_cast<uint32_t>(t->extra), length, bitBuffer, bitCount)) {
      status = kStatusDataEnd;
      break;
    }
    length += t->value;
    t = DecodeEntry(codes.distanceRoot, dw, bitBuffer, bitCount, status);
    if (t == nullptr) break;
    uint32_t distance = 0;
    if (!DumpBits(t->bits, bitBuffer, bitCount) ||
        !ReadBits(static_cast<uint32_t>(t->extra), distance, bitBuffer, bitCount)) {
      status = kStatusDataEnd;
      break;
    }
    distance += t->value;
    while (length-- > 0) PutByte(w, lap_[static_cast<ptrdiff_t>(w) - static_cast<ptrdiff_t>(distance)]);
  }
  if (status == kStatusDataEnd) {
    windowPos_ = w;  // the entry ends with what was decoded
  } else {
    RewindWindow(w, windowPos_);
  }
  return status;
}

// ---- The fast loop's steps ----
//
// The fast loop's cursors are locals, so that they stay in registers; the
// steps below take them by reference and are forced inline:
//   bits, count  the bit buffer: the input's next bits, least significant
//                first; count's low byte says how many of them are counted
//   in           the input position, as many bits ahead of the bits
//                consumed as are counted; only Refill moves it
//   entry        the next code's root entry, looked up before it is needed
//   out          the output position in the lap
//   budget       iterations left before the next room check: until then
//                neither out nor in can pass what their limits allow

constexpr uint32_t kFastLiteralMask = (1u << kFastLiteralBits) - 1;
constexpr uint32_t kFastDistanceMask = (1u << kFastDistanceBits) - 1;

// Where the bits consumed stand, in bits from base.
QUILLON_HOT ptrdiff_t ConsumedBits(const uint8_t* base, const uint8_t* in, uint32_t count) {
  return 8 * (in - base) - static_cast<ptrdiff_t>(count & 0xFFu);
}

// A literal (RFC 1951 3.2.5: symbols 0 to 255): consumes its code, stores its
// byte and returns the next code's root entry.
QUILLON_HOT uint32_t PutLiteral(uint32_t entry, const uint32_t* literals, Word& bits, uint32_t& count, uint8_t*& out) {
  Consume(entry, bits, count);
  *out++ = static_cast<uint8_t>(entry >> 8);
  return literals[bits & kFastLiteralMask];
}

// Literals follow each other in a loop of their own: 1 + kExtraLiterals of
// them at most per refill, one iteration of the budget for each such group.
// Returns the root entry of the first code that is no literal, or of the next
// literal when the budget has run out, with the bit buffer refilled.
QUILLON_HOT uint32_t LiteralRun(uint32_t entry, const uint32_t* literals, Word& bits, uint32_t& count,
                                const uint8_t*& in, uint8_t*& out, uint32_t& budget) {
  for (;;) {
    entry = PutLiteral(entry, literals, bits, count, out);
    if constexpr (kExtraLiterals == 2) {
      if ((entry & kFastLiteral) != 0) {
        entry = PutLiteral(entry, literals, bits, count, out);
        if ((entry & kFastLiteral) != 0) entry = PutLiteral(entry, literals, bits, count, out);
      }
    }
    Refill(bits, count, in);
    if ((entry & kFastLiteral) == 0 || budget == 0) return entry;
    --budget;
  }
}

// The entry a link leads to. A code longer than the root goes on in the
// sub-table of its first root bits, which the link consumes; the bits behind
// them pick its slot there.
QUILLON_HOT uint32_t FollowLink(const uint32_t* table, uint32_t link, Word bits) {
  return table[(link >> 16) + (static_cast<uint32_t>(bits) & Mask((link >> 8) & 0xFu))];
}

// At an exceptional entry that is no link: the end-of-block code (RFC 1951
// 3.2.5: symbol 256), consumed, or an invalid code, left where it starts.
// Returns whether the block has ended.
QUILLON_HOT bool TakeEndOfBlock(uint32_t entry, Word& bits, uint32_t& count) {
  const bool end = (entry & kFastEndOfBlock) != 0;
  if (end) Consume(entry, bits, count);
  return end;
}

// A length or distance (RFC 1951 3.2.5): the entry's base plus the extra bits
// that follow its code, a number stored least significant bit first. Such an
// entry has no flags: its second byte is the code's length alone.
QUILLON_HOT uint32_t BaseAndExtra(Word bits, uint32_t entry) {
  return (entry >> 16) + static_cast<uint32_t>((bits & ((Word{1} << (entry & 0xFFu)) - 1)) >> ((entry >> 8) & 0xFFu));
}

// A length code with its extra bits, taken from the entry at its level, and
// the bits it took (cost), counting `above` bits taken at the levels above.
QUILLON_HOT uint32_t TakeLength(uint32_t entry, uint32_t above, Word& bits, uint32_t& count, uint32_t& cost) {
  const uint32_t length = BaseAndExtra(bits, entry);
  cost = above + (entry & 0xFFu);
  Consume(entry, bits, count);
  return length;
}

// Where the fast loop returns to should the data turn out to end inside a
// code that it read among the zeros behind the entry's last byte: the last
// point known to lie within the data, or behind a lap written out.
struct FastMark {
  const uint8_t* in;
  uint32_t count;
  uint8_t* out;
};

// The bulk of the codes, with a word of input bits at hand and the packed
// tables. Returns true at the end-of-block code, with the state stored as the
// exact loop stores it there. Returns false at the start of a code that it
// leaves to the exact loop: near the end of the input buffer, an invalid code,
// or a length without distance codes.
//
// Either way it hands over the bit buffer, bit count and input position that
// reading the codes bit-exactly would have left. The exact reader takes a
// byte whenever a lookup asks for a bit it does not hold, so what it has taken
// follows from the furthest bit asked for: at the start of a code, the code's
// start plus the literal root's width, unless more was taken before this loop;
// at the end of the block, the end of the end-of-block code, at which the exact
// tables end. FastCodesExact ensures no other lookup asked for more.
QUILLON_FAST_LOOP bool Inflater::FastCodes(const BlockCodes& codes, uint32_t& bitBuffer, uint32_t& bitCount,
                                           int32_t& w) {
  const uint8_t* const base = ioBuffer_.get();
  const int32_t entryPos = inputPos_;
  const uint32_t* const literals = codes.fastLiteral;
  const uint32_t* const distances = codes.fastDistance;
  Word bits = bitBuffer;
  uint32_t count = bitCount;
  const uint8_t* in = base + inputPos_;
  uint8_t* out = lap_ + w;
  uint8_t* lapEnd = lap_ + kWindowSize;
  const uint8_t* inLimit = base + inputCount_ - kFastInputMargin;
  // On the entry's last input, which has zeros behind it, the loop goes on
  // past the limit to the data's end, and back to the mark should a code it
  // read there turn out to have ended among the zeros.
  bool tail = false;
  FastMark mark{};
  int32_t back = 0;  // leaving: bits consumed since the start of the code left
  bool blockEnd = false;

  Refill(bits, count, in);
  uint32_t entry = literals[bits & kFastLiteralMask];
  uint32_t budget = 0;
  for (;;) {
    // ---- Room check: enough output room and input for the next iterations ----
    // Between checks the loop only counts: each iteration writes at most
    // kIterationOutput bytes and moves in on by at most kIterationInput.
    if (budget == 0) {
      if (out >= lapEnd) {
        if (tail && ConsumedBits(base, in, count) > 8 * static_cast<ptrdiff_t>(inputCount_)) break;
        out = FlushLap(out);
        lapEnd = lap_ + kWindowSize;
        mark = {in, count, out};  // what was written stands: a return to the mark must not undo it
      }
      if (in > inLimit) {
        if (tail || unread_ > 0) break;
        tail = true;
        mark = {in, count, out};
        inLimit = base + inputCount_ + sizeof(Word);
      }
      const auto outputRoom = static_cast<uint32_t>(lapEnd - out - 1) / kIterationOutput;
      const auto inputRoom = static_cast<uint32_t>(inLimit - in) / kIterationInput;
      budget = 1 + (outputRoom < inputRoom ? outputRoom : inputRoom);
    }
    --budget;

    // ---- Literals ----
    if ((entry & kFastLiteral) != 0) {
      entry = LiteralRun(entry, literals, bits, count, in, out, budget);
      continue;
    }

    // ---- Length (RFC 1951 3.2.5: symbols 257 to 285) ----
    uint32_t length;
    uint32_t cost;  // bits consumed since the length code's start
    if ((entry & kFastExceptional) == 0) {
      length = TakeLength(entry, 0, bits, count, cost);
    } else {
      if ((entry & kFastLink) == 0) {
        blockEnd = TakeEndOfBlock(entry, bits, count);
        break;
      }
      // A code longer than the root: a literal, a length, the end of the
      // block or an invalid code from its sub-table.
      Consume(entry, bits, count);
      entry = FollowLink(literals, entry, bits);
      if ((entry & kFastLiteral) != 0) {
        entry = PutLiteral(entry, literals, bits, count, out);
        Refill(bits, count, in);
        continue;
      }
      if ((entry & kFastExceptional) != 0) {
        blockEnd = TakeEndOfBlock(entry, bits, count);
        back = blockEnd ? 0 : static_cast<int32_t>(kFastLiteralBits);
        break;
      }
      length = TakeLength(entry, kFastLiteralBits, bits, count, cost);
    }

    // ---- Distance (3.2.5: symbols 0 to 29), or back to the length code ----
    Refill(bits, count, in);
    entry = distances[bits & kFastDistanceMask];
    if ((entry & kFastExceptional) != 0) {
      if ((entry & kFastLink) == 0) {  // invalid, or no distance codes
        back = static_cast<int32_t>(cost);
        break;
      }
      // A code longer than the root; a narrow word refills inside it.
      Consume(kFastDistanceBits, bits, count);
      if constexpr (!kWideWord) Refill(bits, count, in);
      entry = FollowLink(distances, entry, bits);
      if ((entry & kFastExceptional) != 0) {
        back = static_cast<int32_t>(cost + kFastDistanceBits);
        break;
      }
    }
    const uint32_t distance = BaseAndExtra(bits, entry);
    Consume(entry, bits, count);

    // ---- Match copy, the next code's root entry looked up first ----
    Refill(bits, count, in);
    entry = literals[bits & kFastLiteralMask];
    out = CopyMatch(out, distance, length);
  }

  // ---- Hand-over to the exact reader ----
  // position: where the code left starts, or where the end-of-block code ends.
  auto position = static_cast<int32_t>(ConsumedBits(base, in, count)) - back;
  if (tail && position > 8 * inputCount_) {  // the data ended inside a code: back to the mark
    position = static_cast<int32_t>(ConsumedBits(base, mark.in, mark.count));
    out = mark.out;
    blockEnd = false;
  }
  const int32_t asked = blockEnd ? position : position + static_cast<int32_t>(codes.literalWidth);
  HoldBits(position, asked, bitBuffer, bitCount, entryPos, bitBuffer, bitCount);
  w = static_cast<int32_t>(out - lap_);
  if (blockEnd) {
    bitBuffer_ = bitBuffer;
    bitCount_ = bitCount;
    windowPos_ = w;
  }
  return blockEnd;
}

// Sets the bit buffer, bit count and input position to what the exact reader
// holds at the given bit position of the input buffer, having asked for the
// bits up to reach (or held those it was entered with, at entryPos).
void Inflater::HoldBits(int32_t position, int32_t reach, uint32_t entryBits, uint32_t entryCount, int32_t entryPos,
                        uint32_t& bitBuffer, uint32_t& bitCount) {
  const uint8_t* const base = ioBuffer_.get();
  if (reach < 8 * entryPos) reach = 8 * entryPos;
  int32_t pos = (reach + 7) / 8;
  if (pos > inputCount_) pos = inputCount_;  // past the entry's last byte: the exact reader took what there was
  // The bits held on entry need not be the bytes before entryPos (a bad block
  // rewinds the bits, not the input), so take them from there while the
  // position lies among them.
  uint32_t held = 0;
  uint32_t heldCount = 0;
  int32_t next = entryPos;
  if (position < 8 * entryPos) {
    held = entryBits >> (position - (8 * entryPos - static_cast<int32_t>(entryCount)));
    heldCount = static_cast<uint32_t>(8 * entryPos - position);
  } else {
    next = position / 8;
    if (next < pos) {
      held = static_cast<uint32_t>(base[next++]) >> (position % 8);
      heldCount = 8 - static_cast<uint32_t>(position % 8);
    }
  }
  while (next < pos) {
    held |= static_cast<uint32_t>(base[next++]) << heldCount;
    heldCount += 8;
  }
  bitBuffer = held;
  bitCount = heldCount;
  inputPos_ = pos;
}

}  // namespace

void InflateEntry(EntryTransfer& transfer) {
  Inflater inflater(transfer);
  inflater.Run();
}

}  // namespace quillon
