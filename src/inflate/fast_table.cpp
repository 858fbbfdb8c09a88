#include "inflate/fast_table.h"

#include <cstring>

#include "inflate/huffman.h"

namespace quillon {

// Codes are placed in canonical order, the code counted bit-reversed as it is
// read; the set is first completed with filler codes of the longest length,
// as BuildHuffmanTable completes it, so every slot gets an entry. The root is
// filled as it grows: before the codes of length k go in, its first 2^(k-1)
// slots, which hold every shorter code, are copied behind themselves, and
// each code of length k then takes its one slot among the first 2^k. A code
// longer than the root goes to the sub-table of its first rootBits bits, as
// wide as the codes that follow in canonical order need to fill it.
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
  uint32_t next = 0;
  uint32_t end = rootSize;     // where the next sub-table goes
  uint32_t prefix = rootSize;  // root slot of the current sub-table, none yet
  uint32_t* sub = nullptr;     // the current sub-table, null when left out
  uint32_t subBits = 0;
  uint32_t filled = 1;  // the root's slots that hold entries
  table[0] = kFastInvalid;
  for (uint32_t k = 1; k <= longest; ++k) {
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
        if ((code & (rootSize - 1)) != prefix) {
          prefix = code & (rootSize - 1);
          subBits = k - rootBits;
          for (uint32_t used = remaining; used < 1u << subBits;) {
            ++subBits;
            used = 2 * used + count[rootBits + subBits];
          }
          // Filler codes come last: a sub-table that starts with one holds
          // nothing else and is left out, its root slot invalid.
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
      uint32_t entry = kFastInvalid;
      if (!filler) {
        const uint32_t v = codes.sorted[next++];
        if (v < s) {
          entry = v < 256 ? kFastLiteral | v << 8 | bits : kFastEndOfBlock | kFastExceptional | bits;
        } else if (extra[v - s] != kInvalidEntry) {
          entry = static_cast<uint32_t>(base[v - s]) << 16 | bits << 8 | (bits + extra[v - s]);
        }
      }
      for (uint32_t i = first; i < size; i += 1u << bits) slots[i] = entry;
      // Next code of length k, counting in bit-reversed order.
      uint32_t bit = 1u << (k - 1);
      while ((code & bit) != 0) {
        code ^= bit;
        bit >>= 1;
      }
      code ^= bit;
    }
  }
  for (; filled < rootSize; filled *= 2) std::memcpy(table + filled, table, filled * sizeof(uint32_t));
  return status;
}

}  // namespace quillon
