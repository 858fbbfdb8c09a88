// Packed decoding tables for the inflate decoder's fast loop. One 32-bit entry
// per slot; roots wide enough that few codes need a sub-table; and an entry
// carries all its code costs, so one shift consumes a code with its extra bits.
//
// They decode the same codes as the tables of huffman.h, but their shapes
// differ: those tables' shapes decide how many bits the exact reader asks for,
// so the fast loop keeps that account itself (inflate.cpp) and leaves every
// code it cannot take, invalid ones included, to the exact reader.
#pragma once

#include <cstdint>

namespace quillon {

// Entry layout:
//   bits 0-7    bits to consume: the code's bits at this level and its extra
//               bits; a link consumes the root's bits, an invalid code none
//   bits 8-15   a literal's byte, where a store of the second byte finds it;
//               other entries: bits 8-11 the code's bits at this level, behind
//               which its extra bits stand (for a link, the width of its
//               sub-table), and bits 12-15 flags, below
//   bits 16-30  the length or distance base, or for a link the index of its
//               sub-table in the table
//   bit 31      a literal: the sign, tested before anything else
constexpr uint32_t kFastLiteral = 1u << 31;
constexpr uint32_t kFastEndOfBlock = 1u << 13;
constexpr uint32_t kFastLink = 1u << 14;
constexpr uint32_t kFastExceptional = 1u << 15;  // end of block, link or invalid code
constexpr uint32_t kFastInvalid = kFastExceptional;

// Root widths. Sub-tables follow the root in the same array; the sizes are the
// most that complete codes of 288 and 32 symbols up to 15 bits can need with
// these roots. A sub-table that would not fit (only an incomplete distance
// code's filler codes can ask for one) is left out: its codes decode as invalid
// here and go to the exact reader.
constexpr uint32_t kFastLiteralBits = 11;
constexpr uint32_t kFastDistanceBits = 8;
constexpr uint32_t kFastLiteralEntries = 2342;
constexpr uint32_t kFastDistanceEntries = 402;

// What a code set looks like, for the exact reader's account.
struct CodeShape {
  uint32_t shortest = 0;  // 0 when every length is 0
  uint32_t longest = 0;
};

// Builds the packed table for n code lengths, with the symbols, values and
// extra bits of BuildHuffmanTable (an extra of kInvalidEntry makes the symbol
// invalid). Returns BuildHuffmanTable's status for the same lengths; with
// kStatusOversubscribed the table is left as it was. With every length 0 the
// root is all invalid codes.
[[nodiscard]] int32_t BuildFastTable(const uint16_t* lengths, uint32_t n, uint32_t s, const uint16_t* base,
                                     const uint8_t* extra, uint32_t rootBits, uint32_t capacity, uint32_t* table,
                                     CodeShape& shape);

}  // namespace quillon
