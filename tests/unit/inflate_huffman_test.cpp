#include "inflate/huffman.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "../fuzz/reference_inflate.h"
#include "inflate/fast_table.h"
#include "inflate_test_support.h"

namespace quillon {
namespace {

const uint16_t kBase[32] = {};
const uint8_t kExtra[32] = {};

std::vector<uint16_t> FixedLiteralLengths() {
  std::vector<uint16_t> lengths(288);
  for (size_t i = 0; i < 288; ++i) lengths[i] = i < 144 ? 8 : i < 256 ? 9 : i < 280 ? 7 : 8;
  return lengths;
}

struct Tables {
  HuffmanEntry* root = nullptr;
  HuffmanEntry* chain = nullptr;
  int32_t width = 0;
  int32_t status = -1;
  Tables(const std::vector<uint16_t>& lengths, uint32_t s, int32_t widthAsked) : width(widthAsked) {
    status =
        BuildHuffmanTable(lengths.data(), static_cast<uint32_t>(lengths.size()), s, kBase, kExtra, root, chain, width);
  }
  ~Tables() { FreeHuffmanTables(chain); }
  Tables(const Tables&) = delete;
  Tables& operator=(const Tables&) = delete;
};

// Follows a code (bit-reversed, as it comes from the input) through the tables.
const HuffmanEntry* Resolve(const HuffmanEntry* table, uint32_t width, uint32_t bits) {
  const HuffmanEntry* t = table + (bits & ((1u << width) - 1));
  while (t->extra > kLinkEntry && t->extra != kInvalidEntry) {
    bits >>= t->bits;
    const uint32_t link = static_cast<uint32_t>(t->extra - kLinkEntry);
    t = t->next + (bits & ((1u << link) - 1));
  }
  return t;
}

uint32_t Reverse(uint32_t code, uint32_t bits) {
  uint32_t r = 0;
  for (uint32_t i = 0; i < bits; ++i) r |= ((code >> i) & 1u) << (bits - 1 - i);
  return r;
}

// Follows a code through a fast table: the entry and the bits it consumed
// with the links before it.
uint32_t ResolveFast(const std::vector<uint32_t>& table, uint32_t rootBits, uint32_t bits, uint32_t& consumed) {
  uint32_t entry = table[bits & ((1u << rootBits) - 1)];
  consumed = 0;
  if ((entry & kFastLiteral) == 0 && (entry & kFastLink) != 0) {
    consumed = entry & 0xFFu;
    entry = table[(entry >> 16) + ((bits >> consumed) & ((1u << ((entry >> 8) & 0xFu)) - 1))];
  }
  return entry;
}

struct StatusCase {
  const char* name;
  std::vector<uint16_t> lengths;
  uint32_t simple;
  int32_t widthAsked;
  int32_t status;
  int32_t widthBuilt;
  std::vector<uint32_t> invalidSlots;  // root slots that must decode as invalid
};

TEST(BuildHuffmanTable, StatusesWidthsAndFillers) {
  std::vector<uint16_t> sparse(19, 0);
  sparse[3] = 1;
  std::vector<uint16_t> longCodes(20);  // lengths 1, 2, ..., 15, 15: complete, codes up to 15 bits
  for (uint16_t i = 0; i < 15; ++i) longCodes[i] = static_cast<uint16_t>(i + 1);
  longCodes[15] = 15;
  longCodes.resize(16);
  const StatusCase cases[] = {
      {"all lengths zero: no table", std::vector<uint16_t>(19, 0), 19, 7, kStatusOk, 0, {}},
      {"one code of one bit counts as complete", sparse, 19, 7, kStatusOk, 1, {1}},
      {"fixed literal/length code", FixedLiteralLengths(), 257, 7, kStatusOk, 7, {}},
      {"fixed distance code: 30 of 32 codes", std::vector<uint16_t>(30, 5), 0, 5, kStatusIncomplete, 5, {15, 31}},
      {"three codes of one bit", {1, 1, 1}, 3, 7, kStatusOversubscribed, 7, {}},
      {"over-subscribed only at the longest length", {1, 2, 3, 3, 3}, 5, 7, kStatusOversubscribed, 7, {}},
      {"two codes, one missing", {1, 2, 0}, 3, 7, kStatusIncomplete, 2, {3}},
      {"width asked below the shortest code", {2, 2, 2, 2}, 4, 1, kStatusOk, 2, {}},
      {"width asked above the longest code", {1, 1}, 2, 9, kStatusOk, 1, {}},
      {"codes up to 15 bits make sub-tables", longCodes, 16, 9, kStatusOk, 9, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Tables t(c.lengths, c.simple, c.widthAsked);
    EXPECT_EQ(c.status, t.status);
    EXPECT_EQ(c.widthBuilt, t.width);
    if (c.status >= kStatusOversubscribed) {
      EXPECT_EQ(nullptr, t.chain);
      continue;
    }
    if (c.widthBuilt == 0) {
      EXPECT_EQ(nullptr, t.root);
      continue;
    }
    ASSERT_NE(nullptr, t.root);
    for (uint32_t slot = 0; slot < (1u << t.width); ++slot) {
      const bool invalid = std::find(c.invalidSlots.begin(), c.invalidSlots.end(), slot) != c.invalidSlots.end();
      EXPECT_EQ(invalid, t.root[slot].extra == kInvalidEntry) << "slot " << slot;
    }
  }
}

// An incomplete distance code is completed with filler codes of its longest
// length: sub-tables that would hold only fillers are left out, so a table of
// the capacity that complete codes need still holds every real code, and
// every filler slot decodes as invalid.
TEST(BuildFastTable, IncompleteCodesLeaveOutTheFillersSubTables) {
  const std::vector<std::vector<uint16_t>> sets = {
      {1, 15},                          // half the code space missing, in codes of 15 bits
      {2, 2, 2, 9, 9, 12, 12, 12, 13},  // a mixed sub-table: real codes, then fillers
      {3, 15, 15, 15, 15, 15, 15, 15, 15, 15, 15, 15, 15, 15, 15, 15, 15},
  };
  std::vector<uint16_t> base(32);
  std::vector<uint8_t> extra(32, 0);
  for (uint16_t v = 0; v < 32; ++v) base[v] = static_cast<uint16_t>(100 + v);
  for (const auto& lengths : sets) {
    SCOPED_TRACE(::testing::PrintToString(lengths));
    std::vector<uint32_t> fast(kFastDistanceEntries, 0xDEADBEEFu);
    CodeShape shape;
    ASSERT_EQ(kStatusIncomplete,
              BuildFastTable(lengths.data(), static_cast<uint32_t>(lengths.size()), 0, base.data(), extra.data(),
                             kFastDistanceBits, kFastDistanceEntries, fast.data(), shape));
    const auto codes = test::CanonicalCodes(lengths);
    for (uint32_t v = 0; v < lengths.size(); ++v) {
      if (lengths[v] == 0) continue;
      uint32_t consumed = 0;
      const uint32_t entry = ResolveFast(fast, kFastDistanceBits, Reverse(codes[v], lengths[v]), consumed);
      EXPECT_EQ(base[v], entry >> 16) << "symbol " << v;
    }
    // Every 15-bit pattern leads to an entry that was written: a real code's
    // for as many patterns as the real codes cover, else an invalid one.
    uint32_t valid = 0;
    for (uint32_t bits = 0; bits < (1u << 15); ++bits) {
      uint32_t consumed = 0;
      const uint32_t entry = ResolveFast(fast, kFastDistanceBits, bits, consumed);
      ASSERT_NE(0xDEADBEEFu, entry) << "pattern " << bits;
      if ((entry & (kFastLiteral | kFastExceptional)) != kFastExceptional) ++valid;
    }
    uint32_t space = 0;
    for (uint16_t l : lengths) space += l != 0 ? 1u << (15 - l) : 0;
    EXPECT_EQ(space, valid);
  }
}

// Random length sets, complete and incomplete: every code must lead to its
// own symbol, and the table shapes (which decide how many bits each lookup
// asks for) must be those of the reference builder.
TEST(BuildHuffmanTable, EveryCodeLeadsToItsSymbolAndShapesMatchTheReference) {
  std::mt19937 random(3);
  for (int round = 0; round < 3000; ++round) {
    const uint32_t n = 2 + random() % 287;
    const uint32_t maxLength = 1 + random() % 15;
    std::vector<uint16_t> lengths(n);
    for (auto& l : lengths) l = random() % 3 == 0 ? 0 : static_cast<uint16_t>(1 + random() % maxLength);
    if (round % 2 == 0) {
      // Trim to a Kraft-valid set: drop codes while the code space is overfull.
      auto space = [&] {
        uint64_t used = 0;
        for (uint16_t l : lengths) used += l != 0 ? uint64_t{1} << (16 - l) : 0;
        return used;
      };
      for (size_t i = 0; space() > (uint64_t{1} << 16); i = (i + 1) % n) {
        if (lengths[i] != 0 && lengths[i] < 15) ++lengths[i];
        if (lengths[i] == 15 && space() > (uint64_t{1} << 16)) lengths[i] = 0;
      }
    }
    const int32_t widthAsked = static_cast<int32_t>(1 + random() % 10);
    SCOPED_TRACE(round);
    Tables t(lengths, n, widthAsked);
    reference::Entry* refRoot = nullptr;
    reference::Entry* refChain = nullptr;
    int refWidth = widthAsked;
    const int refStatus = reference::BuildTable(lengths.data(), n, n, nullptr, nullptr, refRoot, refChain, refWidth);
    ASSERT_EQ(refStatus, t.status);
    if (t.status <= kStatusIncomplete) {
      ASSERT_EQ(refWidth, t.width);
      // Same shapes, same entries.
      std::function<void(const HuffmanEntry*, const reference::Entry*, uint32_t)> same =
          [&](const HuffmanEntry* a, const reference::Entry* b, uint32_t bits) {
            for (uint32_t i = 0; i < (1u << bits); ++i) {
              const bool link = a[i].extra > kLinkEntry && a[i].extra != kInvalidEntry;
              // The reference marks a link as 16 plus the sub-table's bits.
              ASSERT_EQ(b[i].extra, link ? 16 + (a[i].extra - kLinkEntry) : a[i].extra);
              ASSERT_EQ(b[i].bits, a[i].bits);
              if (link) {
                same(a[i].next, b[i].next, static_cast<uint32_t>(a[i].extra - kLinkEntry));
              } else if (a[i].extra != kInvalidEntry) {
                ASSERT_EQ(b[i].value, a[i].value);
              }
            }
          };
      if (t.root != nullptr) same(t.root, refRoot, static_cast<uint32_t>(t.width));
      const auto codes = test::CanonicalCodes(lengths);
      for (uint32_t v = 0; v < n; ++v) {
        if (lengths[v] == 0) continue;
        const HuffmanEntry* e = Resolve(t.root, static_cast<uint32_t>(t.width), Reverse(codes[v], lengths[v]));
        ASSERT_NE(kInvalidEntry, e->extra) << "symbol " << v;
        ASSERT_EQ(v, e->value) << "symbol " << v;
      }
    }
    // The fast table: the same status, every code to its symbol with its
    // length, and the root width of the exact tables from its shape.
    std::vector<uint16_t> base(n);
    std::vector<uint8_t> extra(n);
    for (uint32_t v = 0; v < n; ++v) {
      base[v] = static_cast<uint16_t>(1000 + v);
      extra[v] = static_cast<uint8_t>(v % 3);
    }
    const uint32_t simple = n / 2;  // half literals (below 256), half with a base and extra bits
    for (const uint32_t rootBits : {8u, 11u}) {
      std::vector<uint32_t> fast(1u << 15);
      CodeShape shape;
      const int32_t fastStatus = BuildFastTable(lengths.data(), n, simple, base.data() + simple, extra.data() + simple,
                                                rootBits, static_cast<uint32_t>(fast.size()), fast.data(), shape);
      ASSERT_EQ(t.status, fastStatus);
      if (t.status > kStatusIncomplete) continue;
      if (t.root != nullptr) {
        const uint32_t endLength = n > 256 ? lengths[256] : kMaxCodeBits;
        ASSERT_EQ(static_cast<uint32_t>(t.width),
                  HuffmanRootWidth(shape.shortest, shape.longest, widthAsked, endLength));
      }
      const auto codes = test::CanonicalCodes(lengths);
      for (uint32_t v = 0; v < n; ++v) {
        if (lengths[v] == 0) continue;
        uint32_t consumed = 0;
        const uint32_t entry = ResolveFast(fast, rootBits, Reverse(codes[v], lengths[v]), consumed);
        const uint32_t codeBits = lengths[v] - consumed;
        if (v < simple) {
          ASSERT_EQ(v < 256 ? (kFastLiteral | v << 8 | codeBits) : (kFastEndOfBlock | kFastExceptional | codeBits),
                    entry)
              << "symbol " << v;
        } else {
          ASSERT_EQ(base[v] << 16 | codeBits << 8 | (codeBits + extra[v]), entry) << "symbol " << v;
        }
      }
    }
    reference::FreeTables(refChain);
  }
}

}  // namespace
}  // namespace quillon
