// A deliberately plain inflate decoder that reads bits one byte at a time and
// writes every byte into a 32768-byte ring, step by step as the decoder's
// rules state them. It is the yardstick for the real decoder: for any input
// both must write the same bytes in the same writes, reach the same CRC and
// set ioFailed alike. Test code only; it uses the full C++ library.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "base/crc.h"
#include "crypt/zip_crypt.h"
#include "inflate/transfer.h"

namespace quillon::reference {

struct Entry {
  int8_t extra;
  uint8_t bits;
  uint16_t value;
  Entry* next;
};

enum : int8_t { kEob = 15, kLit = 16, kBad = 99 };

inline constexpr uint16_t kLengthBase[31] = {3,  4,  5,  6,  7,  8,  9,  10,  11,  13,  15,  17,  19,  23, 27, 31,
                                             35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258, 0,  0};
inline constexpr uint8_t kLengthExtra[31] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2,  2, 2,
                                             3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0, 99, 99};
inline constexpr uint16_t kDistBase[32] = {1,    2,    3,    4,    5,    7,     9,     13,    17,  25,   33,
                                           49,   65,   97,   129,  193,  257,   385,   513,   769, 1025, 1537,
                                           2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577, 0,   0};
inline constexpr uint8_t kDistExtra[32] = {0, 0, 0, 0, 1, 1, 2,  2,  3,  3,  4,  4,  5,  5,  6,  6,
                                           7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13, 99, 99};
inline constexpr uint8_t kOrder[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

inline void FreeTables(Entry* chain) {
  while (chain != nullptr) {
    Entry* block = chain - 1;
    chain = block->next;
    std::free(block);
  }
}

// Owns a chain; frees it on every way out, the data's end included.
struct Chain {
  Entry* head = nullptr;
  Chain() = default;
  Chain(const Chain&) = delete;
  Chain& operator=(const Chain&) = delete;
  ~Chain() { FreeTables(head); }
};

// The table builder, step by step.
inline int BuildTable(const uint16_t* b, unsigned n, unsigned s, const uint16_t* d, const uint8_t* e, Entry*& t,
                      Entry*& chain, int& m) {
  // 1.
  const unsigned el = n > 256 ? b[256] : 16;
  // 2.
  int c[17] = {};
  for (unsigned i = 0; i < n; ++i) c[b[i]]++;
  if (c[0] == static_cast<int>(n)) {
    t = nullptr;
    m = 0;
    return 0;
  }
  // 3.
  int jmin = 1;
  while (c[jmin] == 0) ++jmin;
  int g = 16;
  while (c[g] == 0) --g;
  int width = m;
  if (width < jmin) width = jmin;
  if (width > g) width = g;
  // 4.
  int y = 1 << jmin;
  for (int len = jmin; len < g; ++len) {
    y -= c[len];
    if (y < 0) return 2;
    y = 2 * y;
  }
  y -= c[g];
  if (y < 0) return 2;
  c[g] += y;
  // 5.
  std::vector<unsigned> list;
  for (int len = 1; len <= 16; ++len) {
    for (unsigned v = 0; v < n && c[len] != 0; ++v) {
      if (b[v] == len) list.push_back(v);
    }
  }
  // 6.
  t = nullptr;
  unsigned i = 0;
  int h = -1;
  int w = 0;
  int l[17] = {};
  unsigned x[17] = {};
  Entry* u[17] = {};
  size_t p = 0;
  auto L = [&](int level) { return level < 0 ? 0 : l[level]; };
  for (int k = jmin; k <= g; ++k) {
    for (int placed = 0; placed < c[k]; ++placed) {
      const int a = c[k] - placed - 1;
      // 6.1
      while (k > w + L(h)) {
        w = w + L(h);
        h = h + 1;
        const int z = std::min(g - w, width);
        int j = k - w;
        int f = 1 << j;
        if (f > a + 1) {
          f = f - (a + 1);
          j = j + 1;
          while (j < z) {
            f = 2 * f;
            if (f <= c[w + j]) break;
            f = f - c[w + j];
            j = j + 1;
          }
        }
        if (w + j > static_cast<int>(el) && w < static_cast<int>(el)) j = static_cast<int>(el) - w;
        auto* block = static_cast<Entry*>(std::calloc((size_t{1} << j) + 1, sizeof(Entry)));
        block->next = chain;
        chain = block + 1;
        l[h] = j;
        u[h] = block + 1;
        if (t == nullptr) t = block + 1;
        if (h > 0) {
          x[h] = i;
          Entry r{static_cast<int8_t>(16 + j), static_cast<uint8_t>(l[h - 1]), 0, block + 1};
          u[h - 1][(i & ((1u << w) - 1)) >> (w - l[h - 1])] = r;
        }
      }
      // 6.2
      Entry r{};
      r.bits = static_cast<uint8_t>(k - w);
      if (p >= list.size()) {
        r.extra = kBad;
      } else {
        const unsigned v = list[p++];
        if (v < s) {
          r.extra = v < 256 ? kLit : kEob;
          r.value = static_cast<uint16_t>(v);
        } else {
          r.extra = static_cast<int8_t>(e[v - s]);
          r.value = d[v - s];
        }
      }
      // 6.3
      for (unsigned j = i >> w; j < (1u << l[h]); j += 1u << (k - w)) u[h][j] = r;
      // 6.4
      unsigned bit = 1u << (k - 1);
      while (i & bit) {
        i ^= bit;
        bit >>= 1;
      }
      i ^= bit;
      // 6.5
      while ((i & ((1u << w) - 1)) != x[h]) {
        h = h - 1;
        w = w - l[h];
      }
    }
  }
  // 7. and 8.
  m = l[0];
  return y != 0 && g != 1 ? 1 : 0;
}

class Decoder {
 public:
  explicit Decoder(EntryTransfer& transfer) : tr_(transfer), io_(32768), window_(32768) {}

  // InflateEntry.
  void Run() {
    try {
      int last = 0;
      do Block(last);
      while (last != 1);
    } catch (const DataEnd&) {
    }
    if (wp_ > 0) Write(static_cast<int32_t>(wp_));
    wp_ = 0;
  }

 private:
  struct DataEnd {};

  int32_t FetchInputByte() {
    if (inputPos_ >= inputCount_) {
      const int32_t want = tr_.dataRemaining < 32768 ? tr_.dataRemaining : 32768;
      inputCount_ = tr_.package->Read(io_.data(), want);
      if (inputCount_ < 0 || inputCount_ > want) inputCount_ = 0;
      if (tr_.flags & kFlagEncrypted) DecryptBuffer(tr_.keys, io_.data(), inputCount_);
      inputPos_ = 0;
    }
    if (inputCount_ == 0) {
      tr_.dataRemaining = 0;
      inputPos_ = 0;
      return -1;
    }
    return io_[static_cast<size_t>(inputPos_++)];
  }
  int32_t NextInputByte() {
    if (tr_.dataRemaining <= 0) return -1;
    const int32_t byte = FetchInputByte();
    if (byte >= 0) tr_.dataRemaining--;
    return byte;
  }
  // Past the end of the data nothing comes in; consuming a bit that never
  // came ends the entry.
  void NeedBits(unsigned n, uint32_t& b, unsigned& k) {
    while (k < n) {
      const int32_t byte = NextInputByte();
      if (byte < 0) return;
      b |= static_cast<uint32_t>(byte) << k;
      k += 8;
    }
  }
  static void DumpBits(unsigned n, uint32_t& b, unsigned& k) {
    if (n > k) throw DataEnd{};
    b >>= n;
    k -= n;
  }
  static uint32_t Mask(unsigned n) { return (1u << n) - 1; }

  void Write(int32_t count) {
    int32_t written = tr_.output->Write(window_.data(), count);
    if (written != count) tr_.ioFailed = true;
    if (written > count) written = count;
    UpdateCrc(window_.data(), written, tr_.entryCrc);
  }
  void Put(unsigned& w, uint8_t byte) {
    window_[w++] = byte;
    if (w == 32768) {
      Write(32768);
      w = 0;
    }
  }

  void Block(int& last) {
    uint32_t b = bb_;
    unsigned k = bk_;
    NeedBits(1, b, k);
    last = static_cast<int>(b & 1);
    DumpBits(1, b, k);
    NeedBits(2, b, k);
    const unsigned type = b & 3;
    DumpBits(2, b, k);
    bb_ = b;
    bk_ = k;
    if (type == 0) Stored();
    if (type == 1) Fixed();
    if (type == 2) Dynamic();
  }

  void Stored() {
    uint32_t b = bb_;
    unsigned k = bk_;
    unsigned w = wp_;
    DumpBits(k % 8, b, k);
    NeedBits(16, b, k);
    unsigned len = b & 0xFFFF;
    DumpBits(16, b, k);
    NeedBits(16, b, k);
    DumpBits(16, b, k);
    try {
      while (len-- > 0) {
        NeedBits(8, b, k);
        const auto byte = static_cast<uint8_t>(b);
        DumpBits(8, b, k);  // before the byte lands: a byte past the data is no output
        Put(w, byte);
      }
    } catch (const DataEnd&) {
      wp_ = w;
      throw;
    }
    wp_ = w;
    bb_ = b;
    bk_ = k;
  }

  int Fixed() {
    if (fixedL_ == nullptr) {
      uint16_t lengths[288];
      for (int i = 0; i < 144; ++i) lengths[i] = 8;
      for (int i = 144; i < 256; ++i) lengths[i] = 9;
      for (int i = 256; i < 280; ++i) lengths[i] = 7;
      for (int i = 280; i < 288; ++i) lengths[i] = 8;
      int m = 7;
      BuildTable(lengths, 288, 257, kLengthBase, kLengthExtra, fixedL_, fixedChainL_.head, m);
      for (int i = 0; i < 30; ++i) lengths[i] = 5;
      m = 5;
      BuildTable(lengths, 30, 0, kDistBase, kDistExtra, fixedD_, fixedChainD_.head, m);
    }
    return Codes(fixedL_, fixedD_, 7, 5);
  }

  void Dynamic() {
    uint32_t b = bb_;
    unsigned k = bk_;
    NeedBits(5, b, k);
    const unsigned nl = 257 + (b & 31);
    DumpBits(5, b, k);
    NeedBits(5, b, k);
    const unsigned nd = 1 + (b & 31);
    DumpBits(5, b, k);
    NeedBits(4, b, k);
    const unsigned nb = 4 + (b & 15);
    DumpBits(4, b, k);
    uint16_t ll[320] = {};
    for (unsigned j = 0; j < nb; ++j) {
      NeedBits(3, b, k);
      ll[kOrder[j]] = static_cast<uint16_t>(b & 7);
      DumpBits(3, b, k);
    }
    {
      Chain a;
      Entry* root = nullptr;
      int bl = 7;
      const int status = BuildTable(ll, 19, 19, nullptr, nullptr, root, a.head, bl);
      if (status != 0 || root == nullptr) return;
      const unsigned n = nl + nd;
      unsigned i = 0;
      unsigned last = 0;
      while (i < n) {
        NeedBits(static_cast<unsigned>(bl), b, k);
        const Entry* t = root + (b & Mask(static_cast<unsigned>(bl)));
        if (t->extra == kBad) return;  // filler of a one-code set: the block is given up
        DumpBits(t->bits, b, k);
        const unsigned sym = t->value;
        if (sym < 16) {
          ll[i++] = static_cast<uint16_t>(sym);
          last = sym;
        } else {
          unsigned r = 0;
          unsigned value = 0;
          if (sym == 16) {
            NeedBits(2, b, k);
            r = 3 + (b & 3);
            DumpBits(2, b, k);
            value = last;
          } else if (sym == 17) {
            NeedBits(3, b, k);
            r = 3 + (b & 7);
            DumpBits(3, b, k);
            last = 0;
          } else {
            NeedBits(7, b, k);
            r = 11 + (b & 127);
            DumpBits(7, b, k);
            last = 0;
          }
          if (i + r > n) return;
          while (r-- > 0) ll[i++] = static_cast<uint16_t>(value);
        }
      }
    }
    bb_ = b;
    bk_ = k;
    Chain a;
    Chain bchain;
    Entry* tl = nullptr;
    Entry* td = nullptr;
    int bl = 9;
    int bd = 6;
    int status = BuildTable(ll, nl, 257, kLengthBase, kLengthExtra, tl, a.head, bl);
    if (status != 0 || tl == nullptr) return;
    status = BuildTable(ll + nl, nd, 0, kDistBase, kDistExtra, td, bchain.head, bd);
    if (status >= 2) return;
    Codes(tl, td, bl, bd);
  }

  // Resolves links; null for an invalid code.
  const Entry* Lookup(const Entry* table, unsigned width, uint32_t& b, unsigned& k) {
    NeedBits(width, b, k);
    const Entry* t = table + (b & Mask(width));
    int e = t->extra;
    while (e > 16) {
      if (e == kBad) return nullptr;
      DumpBits(t->bits, b, k);
      e -= 16;
      NeedBits(static_cast<unsigned>(e), b, k);
      t = t->next + (b & Mask(static_cast<unsigned>(e)));
      e = t->extra;
    }
    return t;
  }

  int Codes(const Entry* tl, const Entry* td, int bl, int bd) {
    uint32_t b = bb_;
    unsigned k = bk_;
    unsigned w = wp_;
    try {
      for (;;) {
        const Entry* t = Lookup(tl, static_cast<unsigned>(bl), b, k);
        if (t == nullptr) return 1;
        if (t->extra < kEob && td == nullptr) return 1;  // a length without distance codes
        DumpBits(t->bits, b, k);
        if (t->extra == kLit) {
          Put(w, static_cast<uint8_t>(t->value));
          continue;
        }
        if (t->extra == kEob) {
          bb_ = b;
          bk_ = k;
          wp_ = w;
          return 0;
        }
        const auto e = static_cast<unsigned>(t->extra);
        NeedBits(e, b, k);
        const unsigned n = t->value + (b & Mask(e));
        DumpBits(e, b, k);
        t = Lookup(td, static_cast<unsigned>(bd), b, k);
        if (t == nullptr) return 1;
        DumpBits(t->bits, b, k);
        const auto de = static_cast<unsigned>(t->extra);
        NeedBits(de, b, k);
        unsigned d = (w - t->value - (b & Mask(de))) & 0xFFFF;
        DumpBits(de, b, k);
        // Copy in pieces that stop at the window's end.
        unsigned left = n;
        while (left > 0) {
          d &= 32767;
          unsigned piece = 32768 - (d > w ? d : w);
          if (piece > left) piece = left;
          if (static_cast<int>(w - d) >= static_cast<int>(piece)) {
            std::memcpy(&window_[w], &window_[d], piece);
            w += piece;
            d += piece;
          } else {
            for (unsigned j = 0; j < piece; ++j) window_[w++] = window_[d++];
          }
          left -= piece;
          if (w == 32768) {
            Write(32768);
            w = 0;
          }
        }
      }
    } catch (const DataEnd&) {
      wp_ = w;
      throw;
    }
  }

  EntryTransfer& tr_;
  std::vector<uint8_t> io_;
  std::vector<uint8_t> window_;
  int32_t inputPos_ = 0;
  int32_t inputCount_ = 0;
  uint32_t bb_ = 0;
  unsigned bk_ = 0;
  unsigned wp_ = 0;
  Entry* fixedL_ = nullptr;
  Entry* fixedD_ = nullptr;
  Chain fixedChainL_;
  Chain fixedChainD_;
};

inline void InflateEntry(EntryTransfer& transfer) {
  Decoder decoder(transfer);
  decoder.Run();
}

}  // namespace quillon::reference
