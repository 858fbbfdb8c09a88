#include "inflate/huffman.h"

#include "base/memory.h"

namespace quillon {

// Table shapes matter beyond the codes they decode: how many bits a lookup
// asks of the input decides where decoding resumes after a bad block. So the
// builder sizes every table by the one rule below and nothing else.
//
// A table of 2^j entries is one heap block of 2^j + 1 entries; entry 0 is a
// header whose `next` is the table pushed before it on the chain.

namespace {

HuffmanEntry* TakeTable(uint32_t bits, HuffmanEntry*& chain) {
  auto* block = static_cast<HuffmanEntry*>(MemAlloc(((static_cast<size_t>(1) << bits) + 1) * sizeof(HuffmanEntry)));
  block->next = chain;
  chain = block + 1;
  return block + 1;
}

}  // namespace

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

int32_t BuildHuffmanTable(const uint16_t* lengths, uint32_t n, uint32_t s, const uint16_t* base, const uint8_t* extra,
                          HuffmanEntry*& root, HuffmanEntry*& chain, int32_t& width) {
  CanonicalCodes codes;
  const int32_t status = OrderCodes(lengths, n, codes);
  if (status == kStatusOversubscribed) return status;
  if (codes.longest == 0) {
    root = nullptr;
    width = 0;
    return kStatusOk;
  }
  // A table that holds the end-of-block code ends exactly at it, so decoding
  // that code never asks for bits beyond it.
  const uint32_t endLength = n > 256 ? lengths[256] : kMaxCodeBits;
  const uint32_t shortest = codes.shortest;
  const uint32_t longest = codes.longest;
  uint32_t* const count = codes.count;
  const uint16_t* const sorted = codes.sorted;
  const uint32_t symbolCount = codes.symbols;
  uint32_t rootLimit = static_cast<uint32_t>(width < 0 ? 0 : width);
  if (rootLimit < shortest) rootLimit = shortest;
  if (rootLimit > longest) rootLimit = longest;

  // Walk the codes in canonical order. code is the current code bit-reversed;
  // level h has width levelBits[h], was entered at code entered[h], and
  // resolved bits above the current table sum to resolved.
  HuffmanEntry* table[kMaxCodeBits + 1];
  uint32_t levelBits[kMaxCodeBits + 1] = {};
  uint32_t entered[kMaxCodeBits + 1];
  int32_t h = -1;
  uint32_t resolved = 0;
  uint32_t code = 0;
  uint32_t next = 0;  // index into sorted
  root = nullptr;
  entered[0] = 0;
  for (uint32_t k = 1; k <= longest; ++k) {
    for (uint32_t a = count[k]; a-- > 0;) {  // a: codes of length k still to place after this one
      while (k > resolved + (h < 0 ? 0 : levelBits[h])) {
        resolved += h < 0 ? 0 : levelBits[h];
        ++h;
        // Widen the table while the longer codes still leave slots of it
        // empty, up to the root width and the longest code.
        const uint32_t limit = longest - resolved < rootLimit ? longest - resolved : rootLimit;
        uint32_t j = k - resolved;
        uint32_t f = 1u << j;
        if (f > a + 1) {
          f -= a + 1;
          for (++j; j < limit; ++j) {
            f *= 2;
            if (f <= count[resolved + j]) break;
            f -= count[resolved + j];
          }
        }
        if (resolved + j > endLength && resolved < endLength) j = endLength - resolved;
        table[h] = TakeTable(j, chain);
        levelBits[h] = j;
        if (root == nullptr) root = table[h];
        if (h > 0) {
          entered[h] = code;
          HuffmanEntry& link = table[h - 1][(code & ((1u << resolved) - 1)) >> (resolved - levelBits[h - 1])];
          link.bits = static_cast<uint8_t>(levelBits[h - 1]);
          link.extra = static_cast<uint8_t>(kLinkEntry + j);
          link.next = table[h];
        }
      }

      HuffmanEntry entry{kInvalidEntry, static_cast<uint8_t>(k - resolved), 0, nullptr};
      if (next < symbolCount) {
        const uint32_t v = sorted[next++];
        if (v < s) {
          entry.extra = v < 256 ? kLiteralEntry : kEndOfBlockEntry;
          entry.value = static_cast<uint16_t>(v);
        } else {
          entry.extra = extra[v - s];
          entry.value = base[v - s];
        }
      }
      const uint32_t size = 1u << levelBits[h];
      for (uint32_t i = code >> resolved; i < size; i += 1u << (k - resolved)) table[h][i] = entry;

      // Next code of length k, counting in bit-reversed order.
      uint32_t bit = 1u << (k - 1);
      while ((code & bit) != 0) {
        code ^= bit;
        bit >>= 1;
      }
      code ^= bit;

      // Close the tables that are full.
      while ((code & ((1u << resolved) - 1)) != entered[h]) {
        --h;
        resolved -= levelBits[h];
      }
    }
  }
  width = static_cast<int32_t>(levelBits[0]);
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
