#include "inflate/huffman.h"

#include "base/memory.h"

namespace quillon {

// Table shapes matter beyond the codes they decode: how many bits a lookup
// asks of the input decides where decoding resumes after a bad block. So the
// builder sizes every table by one rule (OpenedTableBits) and nothing else.
//
// A table of 2^j entries is one heap block of 2^j + 1 entries; entry 0 is a
// header whose `next` is the table pushed before it on the chain.

int32_t OrderCodes(const uint16_t* lengths, uint32_t n, CanonicalCodes& codes) {
  if (n > kMaxCodes) return kStatusOversubscribed;
  uint32_t* const count = codes.count;
  for (uint32_t& c : codes.count) c = 0;
  for (uint32_t i = 0; i < n; ++i) {
    if (lengths[i] > kMaxCodeBits) return kStatusOversubscribed;
    ++count[lengths[i]];
  }
  // Offsets of each length in canonical order, and the code space left after
  // each length, in codes of that length.
  uint32_t offset[kMaxCodeBits + 1];
  uint32_t symbols = 0;
  int32_t left = 1;
  codes.shortest = 0;
  codes.longest = 0;
  codes.fillers = 0;
  for (uint32_t k = 1; k <= kMaxCodeBits; ++k) {
    offset[k] = symbols;
    symbols += count[k];
    left = 2 * left - static_cast<int32_t>(count[k]);
    if (left < 0) return kStatusOversubscribed;
    if (count[k] != 0) {
      if (codes.shortest == 0) codes.shortest = k;
      codes.longest = k;
      codes.fillers = static_cast<uint32_t>(left);
    }
  }
  codes.symbols = symbols;
  for (uint32_t v = 0; v < n; ++v) {
    if (lengths[v] != 0) codes.sorted[offset[lengths[v]]++] = static_cast<uint16_t>(v);
  }
  count[codes.longest] += codes.fillers;
  return codes.fillers != 0 && codes.longest > 1 ? kStatusIncomplete : kStatusOk;
}

namespace {

HuffmanEntry* TakeTable(uint32_t bits, HuffmanEntry*& chain) {
  auto* block = static_cast<HuffmanEntry*>(MemAlloc(((static_cast<size_t>(1) << bits) + 1) * sizeof(HuffmanEntry)));
  block->next = chain;
  chain = block + 1;
  return block + 1;
}

// One table of the walk below: its slots, its width, and the code it was
// entered at (its bits above this table).
struct TableLevel {
  HuffmanEntry* slots;
  uint32_t bits;
  uint32_t entered;
};

// The one rule that sizes a table: the width of a table opened `resolved` bits
// into a code of length k, with `after` more codes of that length to come. It
// is widened beyond the code's own bits while the longer codes still leave
// slots of it empty, up to the width asked (rootLimit) and the longest code.
uint32_t OpenedTableBits(const uint32_t* count, uint32_t longest, uint32_t k, uint32_t after, uint32_t resolved,
                         uint32_t rootLimit, uint32_t endLength) {
  const uint32_t limit = longest - resolved < rootLimit ? longest - resolved : rootLimit;
  uint32_t j = k - resolved;
  uint32_t empty = 1u << j;  // slots of a j-bit table left once the codes so far are in
  if (empty > after + 1) {
    empty -= after + 1;
    for (++j; j < limit; ++j) {
      empty *= 2;
      if (empty <= count[resolved + j]) break;
      empty -= count[resolved + j];
    }
  }
  // A table that holds the end-of-block code ends exactly at it, so decoding
  // that code never asks for bits beyond it.
  if (resolved + j > endLength && resolved < endLength) j = endLength - resolved;
  return j;
}

// The entry of the next symbol in canonical order, or an invalid one for a
// filler. Symbols below s are a literal (RFC 1951 3.2.5: 0 to 255) or the end
// of the block (256); a higher one is a length or distance base with its extra
// bits, from the tables of 3.2.5.
HuffmanEntry SymbolEntry(const CanonicalCodes& codes, uint32_t& next, uint32_t s, const uint16_t* base,
                         const uint8_t* extra, uint32_t bits) {
  HuffmanEntry entry{kInvalidEntry, static_cast<uint8_t>(bits), 0, nullptr};
  if (next < codes.symbols) {
    const uint32_t v = codes.sorted[next++];
    if (v < s) {
      entry.extra = v < 256 ? kLiteralEntry : kEndOfBlockEntry;
      entry.value = static_cast<uint16_t>(v);
    } else {
      entry.extra = extra[v - s];
      entry.value = base[v - s];
    }
  }
  return entry;
}

}  // namespace

// Walks the codes in canonical order (RFC 1951 3.2.2), each as the bits the
// input presents it in. A code goes into the table that holds its last bits:
// tables are opened down the levels while the code is longer than the bits
// they resolve, and closed again once every code under their link is in.
int32_t BuildHuffmanTable(const uint16_t* lengths, uint32_t n, uint32_t s, const uint16_t* base, const uint8_t* extra,
                          HuffmanEntry*& root, HuffmanEntry*& chain, int32_t& width) {
  CanonicalCodes codes;
  const int32_t status = OrderCodes(lengths, n, codes);
  if (status == kStatusOversubscribed) return status;
  root = nullptr;
  if (codes.longest == 0) {
    width = 0;
    return kStatusOk;
  }
  const uint32_t endLength = n > 256 ? lengths[256] : kMaxCodeBits;
  uint32_t rootLimit = static_cast<uint32_t>(width < 0 ? 0 : width);
  if (rootLimit < codes.shortest) rootLimit = codes.shortest;
  if (rootLimit > codes.longest) rootLimit = codes.longest;

  const uint32_t* const count = codes.count;
  const uint32_t longest = codes.longest;
  TableLevel level[kMaxCodeBits + 1];
  level[0].entered = 0;
  int32_t h = -1;         // the current table's level, none yet
  uint32_t resolved = 0;  // the code's bits resolved by the tables above it
  uint32_t code = 0;      // bit-reversed
  uint32_t next = 0;      // into codes.sorted
  for (uint32_t k = 1; k <= longest; ++k) {
    for (uint32_t after = count[k]; after-- > 0;) {
      // Open tables down to the one that holds the code's last bit, each
      // linked from its parent's slot for the code's bits at that level.
      while (h < 0 || k > resolved + level[h].bits) {
        if (h >= 0) resolved += level[h].bits;
        ++h;
        const uint32_t bits = OpenedTableBits(count, longest, k, after, resolved, rootLimit, endLength);
        level[h].slots = TakeTable(bits, chain);
        level[h].bits = bits;
        if (root == nullptr) root = level[h].slots;
        if (h > 0) {
          const TableLevel& parent = level[h - 1];
          level[h].entered = code;
          HuffmanEntry& link = parent.slots[(code & ((1u << resolved) - 1)) >> (resolved - parent.bits)];
          link.bits = static_cast<uint8_t>(parent.bits);
          link.extra = static_cast<uint8_t>(kLinkEntry + bits);
          link.next = level[h].slots;
        }
      }

      // The code's k - resolved bits at this level pick every slot whose low
      // bits they are.
      const HuffmanEntry entry = SymbolEntry(codes, next, s, base, extra, k - resolved);
      const uint32_t size = 1u << level[h].bits;
      for (uint32_t i = code >> resolved; i < size; i += 1u << (k - resolved)) level[h].slots[i] = entry;

      code = NextReversedCode(code, k);
      // A table is full once the next code's bits above it leave its link.
      while ((code & ((1u << resolved) - 1)) != level[h].entered) {
        --h;
        resolved -= level[h].bits;
      }
    }
  }
  width = static_cast<int32_t>(level[0].bits);
  return status;
}

void FreeHuffmanTables(HuffmanEntry* chain) {
  while (chain != nullptr) {
    HuffmanEntry* block = chain - 1;
    chain = block->next;
    MemFree(block);
  }
}

}  // namespace quillon
