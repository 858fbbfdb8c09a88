// Decoding tables for the deflate format (RFC 1951): a code is resolved by
// indexing a root table with the next input bits (least significant first, so
// codes appear bit-reversed), and codes longer than the root through sub-tables
// linked from it.
#pragma once

#include <cstdint>

namespace quillon {

// What a table entry is, by its `extra` field.
constexpr uint8_t kEndOfBlockEntry = 15;  // the end-of-block code
constexpr uint8_t kLiteralEntry = 16;     // a literal byte in `value`
constexpr uint8_t kLinkEntry = 32;        // above: `next` is a sub-table of (extra - kLinkEntry) bits
constexpr uint8_t kInvalidEntry = 99;     // filler of an incomplete set, or a symbol with no meaning
// 0 to 13: a length or distance base in `value`, followed by `extra` extra bits.
static_assert(kLiteralEntry > kEndOfBlockEntry && kLinkEntry > kLiteralEntry, "one meaning per value");

struct HuffmanEntry {
  uint8_t extra;
  uint8_t bits;  // input bits that this table level consumes for the entry
  uint16_t value;
  HuffmanEntry* next;
};

// Results of the table builder and of the decoding stages, in one table.
enum InflateStatus : int32_t {
  kStatusOk = 0,              // tables complete; end-of-block code reached
  kStatusIncomplete = 1,      // builder: tables built, filler codes decode as invalid
  kStatusOversubscribed = 2,  // builder: the lengths hold more codes than fit, no table
  kStatusInvalidCode = 3,     // stage: an invalid code was met, the block is given up
  kStatusDataEnd = 4,         // stage: a bit past the entry's data was needed, the entry ends
};

constexpr uint32_t kMaxCodeBits = 16;  // longest code the builder accepts
constexpr uint32_t kMaxCodes = 288;    // largest code set (literal/length)
static_assert(kLinkEntry + kMaxCodeBits < kInvalidEntry, "a link to the widest sub-table never reads as invalid");

// A set of code lengths in canonical order (by length, then by symbol),
// completed with filler codes of the longest length, which decode as invalid.
struct CanonicalCodes {
  uint32_t count[kMaxCodeBits + 1];  // codes of each length, fillers included
  uint16_t sorted[kMaxCodes];        // the symbols with a code, in canonical order
  uint32_t symbols;                  // how many of them
  uint32_t fillers;
  uint32_t shortest;  // both 0 when every length is 0
  uint32_t longest;
};

// Orders n code lengths. Returns what BuildHuffmanTable returns for them:
// kStatusOk (every length 0 included), kStatusIncomplete (fillers were added,
// unless the set is one code of one bit), or kStatusOversubscribed (more codes
// than fit, a length above kMaxCodeBits, or more than kMaxCodes lengths; the
// order is then not made).
[[nodiscard]] int32_t OrderCodes(const uint16_t* lengths, uint32_t n, CanonicalCodes& codes);

// Builds the tables for n code lengths (0: symbol unused). Symbols below s are
// simple: a literal (below 256) or end of block (256 and up) with the symbol
// as value; symbol v >= s takes value base[v - s] and extra extra[v - s].
// width goes in as the root width wanted and comes out as the width built.
// Every table taken is pushed onto chain (set it to null before the first
// build); root is the first table built, or null with width 0 when all
// lengths are 0. Status 0, 1 or 2 as above; with 2 no table is left.
[[nodiscard]] int32_t BuildHuffmanTable(const uint16_t* lengths, uint32_t n, uint32_t s, const uint16_t* base,
                                        const uint8_t* extra, HuffmanEntry*& root, HuffmanEntry*& chain,
                                        int32_t& width);

// The root width that BuildHuffmanTable builds for a set of lengths that it
// builds tables for, from the set's shortest and longest lengths (not 0), the
// width asked and the length of symbol 256 (kMaxCodeBits when the set has no
// such symbol): how many bits the exact reader asks for first in each code.
// A root opened for the first code is widened up to the width asked, and at
// least one bit beyond the shortest length unless every code has that length;
// a table that holds the end-of-block code ends at it.
[[nodiscard]] constexpr uint32_t HuffmanRootWidth(uint32_t shortest, uint32_t longest, int32_t width,
                                                  uint32_t endLength) {
  uint32_t root = width < 0 ? 0 : static_cast<uint32_t>(width);
  if (root > longest) root = longest;
  if (shortest < longest && root <= shortest) root = shortest + 1;
  if (shortest == longest) root = shortest;
  return endLength > 0 && root > endLength ? endLength : root;
}

// The code after `code` among codes of `length` bits, both bit-reversed as the
// input presents them. Codes of one length are consecutive numbers in
// canonical order (RFC 1951 3.2.2), so this adds one at the code's first bit
// and carries towards its last. A longer code carries on from the same value:
// the next length appends a zero bit, which a reversed code holds already.
[[nodiscard]] constexpr uint32_t NextReversedCode(uint32_t code, uint32_t length) {
  uint32_t bit = 1u << (length - 1);
  while ((code & bit) != 0) {
    code ^= bit;
    bit >>= 1;
  }
  return code ^ bit;
}
static_assert(NextReversedCode(0b011, 3) == 0b111 && NextReversedCode(0b111, 3) == 0, "110 + 1 = 111, and 111 wraps");

// Releases every table of a chain; null releases nothing.
void FreeHuffmanTables(HuffmanEntry* chain);

}  // namespace quillon
