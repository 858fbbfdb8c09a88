#include "inflate/fast_table.h"

#include <cstring>

#include "inflate/huffman.h"

namespace quillon {

// Each field of the entry layout holds what goes in it: a code's bits at its
// level or a sub-table's width in bits 8-11, a sub-table's index in bits 16-30.
static_assert(kFastLiteralBits <= 0xF && kFastDistanceBits <= 0xF && kMaxCodeBits - kFastDistanceBits <= 0xF);
static_assert(kFastLiteralEntries <= 1u << 15 && kFastDistanceEntries <= 1u << 15);

namespace {

// The width of a sub-table opened for a code of length k > rootBits with
// `remaining` codes of that length left, this one included: as wide as the
// codes that follow it in canonical order need to fill it.
uint32_t SubTableBits(const uint32_t* count, uint32_t k, uint32_t remaining, uint32_t rootBits) {
  uint32_t subBits = k - rootBits;
  for (uint32_t used = remaining; used < 1u << subBits;) {
    ++subBits;
    used = 2 * used + count[rootBits + subBits];
  }
  return subBits;
}

// The packed entry of symbol v, whose code has `bits` bits at this level: a
// literal (RFC 1951 3.2.5: 0 to 255) or the end of the block (256) below s; a
// length or distance base with its extra bits (3.2.5) from s on, invalid where
// the format gives the symbol no meaning.
uint32_t PackedEntry(uint32_t v, uint32_t s, const uint16_t* base, const uint8_t* extra, uint32_t bits) {
  uint32_t entry = kFastInvalid;
  if (v < s) {
    entry = v < 256 ? kFastLiteral | v << 8 | bits : kFastEndOfBlock | kFastExceptional | bits;
  } else if (extra[v - s] != kInvalidEntry) {
    entry = static_cast<uint32_t>(base[v - s]) << 16 | bits << 8 | (bits + extra[v - s]);
  }
  return entry;
}

}  // namespace

// Codes are placed in canonical order (RFC 1951 3.2.2), the code counted
// bit-reversed as it is read; the set is first completed with filler codes of
// the longest length, as BuildHuffmanTable completes it, so every slot gets an
// entry. The root is filled as it grows: before the codes of length k go in,
// its first 2^(k-1) slots, which hold every shorter code, are copied behind
// themselves, and each code of length k then takes its one slot among the
// first 2^k. A code longer than the root goes to the sub-table of its first
// rootBits bits.
int32_t BuildFastTable(const uint16_t* lengths, uint32_t n, uint32_t s, const uint16_t* base, const uint8_t* extra,
                       uint32_t rootBits, uint32_t capacity, uint32_t* table, CodeShape& shape) {
  CanonicalCodes codes;
  const int32_t status = OrderCodes(lengths, n, codes);
  if (status == kStatusOversubscribed) return status;
  shape.shortest = codes.shortest;
  shape.longest = codes.longest;
  const uint32_t* const count = codes.count;
  const uint32_t longest = codes.longest;

  const uint32_t rootSize = 1u << rootBits;
  uint32_t code = 0;
  uint32_t next = 0;           // into codes.sorted
  uint32_t end = rootSize;     // where the next sub-table goes
  uint32_t prefix = rootSize;  // root slot of the current sub-table, none yet
  uint32_t* sub = nullptr;     // the current sub-table, null when left out
  uint32_t subBits = 0;
  uint32_t filled = 1;  // the root's slots that hold entries
  table[0] = kFastInvalid;
  for (uint32_t k = 1; k <= longest; ++k) {
    // Grow the root to the codes of length k.
    if (k <= rootBits) {
      std::memcpy(table + filled, table, filled * sizeof(uint32_t));
      filled *= 2;
    }
    for (uint32_t remaining = count[k]; remaining > 0; --remaining) {
      const bool filler = next == codes.symbols;
      uint32_t* slots = table;
      uint32_t first = code;
      uint32_t size = filled;
      uint32_t bits = k;  // at this table's level
      if (k > rootBits) {
        // A new first rootBits bits open a sub-table, linked from their root
        // slot. Filler codes come last: a sub-table that starts with one holds
        // nothing else and is left out, its root slot invalid; so is one that
        // the capacity has no room for.
        if ((code & (rootSize - 1)) != prefix) {
          prefix = code & (rootSize - 1);
          subBits = SubTableBits(count, k, remaining, rootBits);
          sub = nullptr;
          table[prefix] = kFastInvalid;
          if (!filler && end + (1u << subBits) <= capacity) {
            sub = table + end;
            table[prefix] = end << 16 | kFastLink | kFastExceptional | subBits << 8 | rootBits;
            end += 1u << subBits;
          }
        }
        slots = sub;
        first = code >> rootBits;
        size = sub != nullptr ? 1u << subBits : 0;
        bits = k - rootBits;
      }
      // The code's bits at this level pick every slot whose low bits they are.
      uint32_t entry = kFastInvalid;
      if (!filler) entry = PackedEntry(codes.sorted[next++], s, base, extra, bits);
      for (uint32_t i = first; i < size; i += 1u << bits) slots[i] = entry;
      code = NextReversedCode(code, k);
    }
  }
  // The codes all in, the root grows to its full width.
  for (; filled < rootSize; filled *= 2) std::memcpy(table + filled, table, filled * sizeof(uint32_t));
  return status;
}

}  // namespace quillon
