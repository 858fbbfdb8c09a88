#include "inflate/inflate.h"

#include <gtest/gtest.h>
#include <libdeflate.h>
#include <zlib.h>

#include <random>
#include <string>
#include <vector>

#include "../fuzz/reference_inflate.h"
#include "inflate_test_support.h"

namespace quillon {
namespace {

using test::BitWriter;
using test::Conditions;
using test::Decoded;

const test::Decoder kInflate = [](EntryTransfer& t) { InflateEntry(t); };
const test::Decoder kReference = [](EntryTransfer& t) { reference::InflateEntry(t); };

Decoded Inflate(const std::vector<uint8_t>& package, const Conditions& c = {}) {
  return test::RunDecoder(kInflate, package, c);
}

uint32_t Crc(const std::vector<uint8_t>& data) {
  return static_cast<uint32_t>(crc32(0, data.data(), static_cast<uInt>(data.size())));
}

std::vector<uint8_t> Bytes(const std::string& text) {
  return {text.begin(), text.end()};
}

// Writes of 32768 bytes, then one partial write for what is left.
std::vector<int32_t> ExpectedWrites(size_t size) {
  std::vector<int32_t> writes(size / 32768, 32768);
  if (size % 32768 != 0) writes.push_back(static_cast<int32_t>(size % 32768));
  return writes;
}

std::vector<uint8_t> ZlibDeflate(const std::vector<uint8_t>& data, int level, int strategy) {
  z_stream z{};
  EXPECT_EQ(Z_OK, deflateInit2(&z, level, Z_DEFLATED, -15, 8, strategy));
  std::vector<uint8_t> out(deflateBound(&z, static_cast<uLong>(data.size())) + 64);
  z.next_in = const_cast<Bytef*>(data.data());
  z.avail_in = static_cast<uInt>(data.size());
  z.next_out = out.data();
  z.avail_out = static_cast<uInt>(out.size());
  EXPECT_EQ(Z_STREAM_END, deflate(&z, Z_FINISH));
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

std::vector<uint8_t> LibdeflateDeflate(const std::vector<uint8_t>& data, int level) {
  libdeflate_compressor* c = libdeflate_alloc_compressor(level);
  std::vector<uint8_t> out(libdeflate_deflate_compress_bound(c, data.size()));
  out.resize(libdeflate_deflate_compress(c, data.data(), data.size(), out.data(), out.size()));
  libdeflate_free_compressor(c);
  return out;
}

// Output of zlib for a stream that may end early: everything it can decode.
// Everything zlib decodes from a stream that may end anywhere. Decoded in
// small pieces: a large output buffer per call makes the tests that call this
// for every prefix of a stream slow under the sanitizers.
std::vector<uint8_t> ZlibPartial(const std::vector<uint8_t>& stream) {
  z_stream z{};
  inflateInit2(&z, -15);
  z.next_in = const_cast<Bytef*>(stream.data());
  z.avail_in = static_cast<uInt>(stream.size());
  std::vector<uint8_t> out;
  uint8_t piece[4096];
  int rc = Z_OK;
  do {
    z.next_out = piece;
    z.avail_out = sizeof piece;
    rc = inflate(&z, Z_SYNC_FLUSH);
    out.insert(out.end(), piece, piece + (sizeof piece - z.avail_out));
  } while (rc == Z_OK && z.avail_out == 0);
  inflateEnd(&z);
  return out;
}

// Samples that exercise literals, long and short matches, runs and far
// references; all longer than the decoder's laps of output.
std::vector<std::pair<std::string, std::vector<uint8_t>>> Samples() {
  std::mt19937 random(1951);
  std::vector<uint8_t> text;
  const char* words[] = {"inflate ", "window ", "the ", "a ", "block ", "code ", "length ", "distance\n", "of "};
  while (text.size() < 300000) {
    const std::string w = words[random() % 9];
    text.insert(text.end(), w.begin(), w.end());
  }
  std::vector<uint8_t> noise(70000);
  for (auto& b : noise) b = static_cast<uint8_t>(random());
  std::vector<uint8_t> mixed;
  while (mixed.size() < 200000) {
    const size_t run = 1 + random() % 300;
    switch (random() % 3) {
      case 0:
        mixed.insert(mixed.end(), run, static_cast<uint8_t>(random()));
        break;
      case 1:
        for (size_t i = 0; i < run; ++i) mixed.push_back(static_cast<uint8_t>(random()));
        break;
      default:  // a copy from far back
        if (mixed.size() > 40000) {
          const size_t from = mixed.size() - 32768 + random() % 1000;
          for (size_t i = 0; i < run; ++i) mixed.push_back(mixed[from + i]);
        }
    }
  }
  return {{"text", text}, {"noise", noise}, {"mixed", mixed}};
}

void ExpectDecodes(const std::vector<uint8_t>& stream, const std::vector<uint8_t>& data) {
  const Decoded d = Inflate(stream);
  EXPECT_TRUE(d.bytes == data) << "output differs, " << d.bytes.size() << " of " << data.size() << " bytes";
  EXPECT_EQ(Crc(data), d.crc);
  EXPECT_EQ(ExpectedWrites(data.size()), d.writes);
  EXPECT_FALSE(d.ioFailed);
}

TEST(InflateEntry, DecodesZlibStreamsAtEveryLevelAndStrategy) {
  const std::pair<const char*, int> strategies[] = {{"default", Z_DEFAULT_STRATEGY},
                                                    {"filtered", Z_FILTERED},
                                                    {"huffman only", Z_HUFFMAN_ONLY},
                                                    {"rle", Z_RLE},
                                                    {"fixed", Z_FIXED}};
  for (const auto& [name, data] : Samples()) {
    for (int level = 0; level <= 9; ++level) {
      for (const auto& [strategyName, strategy] : strategies) {
        if (level == 0 && strategy != Z_DEFAULT_STRATEGY) continue;
        SCOPED_TRACE(name + " level " + std::to_string(level) + " " + strategyName);
        ExpectDecodes(ZlibDeflate(data, level, strategy), data);
      }
    }
  }
}

TEST(InflateEntry, DecodesLibdeflateStreamsAtEveryLevel) {
  for (const auto& [name, data] : Samples()) {
    for (int level = 0; level <= 12; ++level) {
      SCOPED_TRACE(name + " level " + std::to_string(level));
      ExpectDecodes(LibdeflateDeflate(data, level), data);
    }
  }
}

// Hand-made streams for what encoders do not write or write rarely. Each is
// checked against its expected output and against the plain decoder.
struct EdgeCase {
  const char* name;
  std::vector<uint8_t> stream;
  std::vector<uint8_t> output;
};

std::vector<EdgeCase> EdgeCases() {
  std::vector<EdgeCase> cases;
  auto add = [&](const char* name, const BitWriter& w, std::vector<uint8_t> output) {
    cases.push_back({name, w.Finish(), std::move(output)});
  };
  {
    BitWriter w;
    w.Stored(true, {});
    add("stored block of LEN 0", w, {});
  }
  {
    std::vector<uint8_t> data(65535);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 7 + i / 255);
    BitWriter w;
    w.Stored(true, data);
    add("stored block of 65535 bytes", w, data);
  }
  {
    BitWriter w;
    w.Put(1, 1);
    w.Put(0, 2);
    w.Align();
    w.Put(3, 16);
    w.Put(0x1234, 16);  // NLEN is not the complement of LEN: read over, not checked
    w.Raw(Bytes("abc"));
    add("stored block with a wrong NLEN", w, Bytes("abc"));
  }
  {
    std::vector<uint8_t> data(32768, 'x');
    BitWriter w;
    w.Stored(true, data);
    add("output of exactly 32768 bytes", w, data);
  }
  {
    BitWriter w;
    w.Put(1, 1);
    w.Put(3, 2);
    w.Stored(true, Bytes("never read"));
    add("block type 3 with the final flag ends the entry", w, {});
  }
  {
    BitWriter w;
    w.Put(0, 1);
    w.Put(3, 2);
    w.Stored(true, Bytes("ok"));
    add("block type 3 without the final flag: the next block follows", w, Bytes("ok"));
  }
  for (uint32_t symbol : {286u, 287u}) {
    // The literal's 9-bit code begins 1 1 1: read again as a block header
    // after the bad block, it is a final block of type 3, which ends the
    // entry. The literal itself is dropped with the block.
    BitWriter w;
    w.Stored(false, Bytes("kept "));
    w.FixedHeader(false);
    w.FixedSymbol(200);
    w.FixedSymbol(symbol);
    add(symbol == 286 ? "symbol 286 gives the block up" : "symbol 287 gives the block up", w, Bytes("kept "));
  }
  {
    BitWriter w;
    w.FixedHeader(true);
    w.FixedSymbol('z');
    w.FixedMatch(258, 1);
    w.FixedSymbol(256);
    add("length 258 at distance 1", w, std::vector<uint8_t>(259, 'z'));
  }
  {
    // 32769 bytes, then 3 bytes copied from 32768 back: "bca".
    std::vector<uint8_t> out = Bytes("abc");
    BitWriter w;
    w.FixedHeader(true);
    for (char c : std::string("abc")) w.FixedSymbol(static_cast<uint8_t>(c));
    for (int i = 0; i < 127; ++i) w.FixedMatch(258, 3);
    while (out.size() < 32769) out.push_back(out[out.size() - 3]);
    w.FixedMatch(3, 32768);
    for (int i = 0; i < 3; ++i) out.push_back(out[out.size() - 32768]);
    w.FixedSymbol(256);
    add("distance 32768", w, out);
  }
  {
    // A match that runs across the end of the first 32768 bytes.
    std::vector<uint8_t> head(32760);
    for (size_t i = 0; i < head.size(); ++i) head[i] = static_cast<uint8_t>(i % 251);
    std::vector<uint8_t> out = head;
    BitWriter w;
    w.Stored(false, head);
    w.FixedHeader(true);
    w.FixedMatch(20, 1000);
    for (int i = 0; i < 20; ++i) out.push_back(out[out.size() - 1000]);
    w.FixedSymbol(256);
    add("a match crossing the end of the window", w, out);
  }
  {
    // Literal/length code: 'a', 'b', end of block and symbol 257 (length 3),
    // two bits each; a single distance code of one bit.
    std::vector<uint16_t> literal(258, 0);
    literal['a'] = literal['b'] = literal[256] = literal[257] = 2;
    const auto codes = test::CanonicalCodes(literal);
    BitWriter w;
    test::DynamicHeader(w, true, literal, {1});
    w.Code(codes['a'], 2);
    w.Code(codes['b'], 2);
    w.Code(codes[257], 2);
    w.Code(0, 1);  // distance symbol 0: distance 1
    w.Code(codes[256], 2);
    add("a single distance code", w, Bytes("abbbb"));
  }
  {
    // Distance symbol 30 has a length in the header but no meaning.
    std::vector<uint16_t> literal(258, 0);
    literal['a'] = literal[256] = literal[257] = 2;
    literal['b'] = 2;
    std::vector<uint16_t> distance(31, 0);
    distance[0] = distance[30] = 1;
    const auto codes = test::CanonicalCodes(literal);
    BitWriter w;
    w.Stored(false, Bytes("kept"));
    test::DynamicHeader(w, false, literal, distance);
    w.Code(codes['a'], 2);
    w.Code(codes[257], 2);
    w.Code(1, 1);  // distance symbol 30
    add("distance symbol 30 gives the block up", w, Bytes("kept"));
  }
  {
    // Over-subscribed literal/length lengths: the block is given up behind its
    // code lengths, where a fixed block follows.
    std::vector<uint16_t> literal(257, 0);
    literal[0] = literal[1] = literal[256] = 1;
    BitWriter w;
    test::DynamicHeader(w, false, literal, {1});
    w.FixedHeader(true);
    w.FixedSymbol('k');
    w.FixedSymbol(256);
    add("over-subscribed lengths: decoding continues after them", w, Bytes("k"));
  }
  {
    // A code-length code of a single 1-bit code: its other slot is a filler,
    // met at once here, and the block is given up behind its header.
    BitWriter w;
    w.Stored(false, Bytes("kept"));
    w.Put(0, 1);
    w.Put(2, 2);
    w.Put(0, 5);
    w.Put(0, 5);
    w.Put(0, 4);
    for (int length : {0, 0, 0, 1}) w.Put(static_cast<uint32_t>(length), 3);  // symbol 0: one bit
    w.Code(1, 1);
    add("a code-length code of one code", w, Bytes("kept"));
  }
  {
    BitWriter w;
    w.FixedHeader(false);
    w.FixedSymbol('1');
    w.FixedSymbol(256);
    w.FixedHeader(true);
    w.FixedSymbol('2');
    w.FixedSymbol(256);
    add("two fixed blocks share the fixed tables", w, Bytes("12"));
  }
  {
    BitWriter w;
    w.FixedHeader(false);
    w.FixedSymbol('x');
    w.FixedSymbol(256);
    add("the data ends before a final block", w, Bytes("x"));
  }
  return cases;
}

TEST(InflateEntry, HandMadeEdgeCases) {
  for (const auto& c : EdgeCases()) {
    SCOPED_TRACE(c.name);
    const Decoded d = Inflate(c.stream);
    EXPECT_EQ(c.output, d.bytes);
    EXPECT_EQ(Crc(c.output), d.crc);
    EXPECT_EQ(ExpectedWrites(c.output.size()), d.writes);
    EXPECT_FALSE(d.ioFailed);
    EXPECT_EQ(test::RunDecoder(kReference, c.stream), d);
  }
}

TEST(InflateEntry, AFixedBlockEntryFollowedByAnotherEntry) {
  BitWriter first;
  first.FixedHeader(true);
  for (char ch : std::string("first")) first.FixedSymbol(static_cast<uint8_t>(ch));
  first.FixedSymbol(256);
  std::vector<uint8_t> package = first.Finish();
  const auto firstSize = static_cast<int32_t>(package.size());
  const auto second = ZlibDeflate(Bytes("second entry, second entry"), 6, Z_FIXED);
  package.insert(package.end(), second.begin(), second.end());

  test::MemorySource source(package);
  for (const auto& [size, expected] :
       {std::pair{firstSize, std::string("first")},
        std::pair{static_cast<int32_t>(second.size()), std::string("second entry, second entry")}}) {
    test::MemorySink sink;
    EntryTransfer transfer;
    transfer.package = &source;
    transfer.output = &sink;
    transfer.dataRemaining = size;
    InflateEntry(transfer);
    EXPECT_EQ(Bytes(expected), sink.bytes);
  }
  EXPECT_EQ(package.size(), source.position());
}

// Whatever point the data ends at, the entry ends, with every byte whose
// codes were complete written out: what zlib makes of the same prefix.
TEST(InflateEntry, DataEndingAnywhereEndsTheEntryWithWhatWasComplete) {
  std::vector<uint8_t> data;
  std::mt19937 random(8);
  for (int i = 0; i < 3000; ++i) data.push_back(static_cast<uint8_t>("abcdefgh"[random() % 8]));
  for (const auto& stream : {ZlibDeflate(data, 6, Z_DEFAULT_STRATEGY), ZlibDeflate(data, 6, Z_FIXED),
                             ZlibDeflate(data, 0, Z_DEFAULT_STRATEGY)}) {
    for (size_t end = 0; end < stream.size(); ++end) {
      const std::vector<uint8_t> prefix(stream.begin(), stream.begin() + static_cast<ptrdiff_t>(end));
      const Decoded d = Inflate(prefix);
      ASSERT_EQ(ZlibPartial(prefix), d.bytes) << "data ends after " << end << " of " << stream.size() << " bytes";
      ASSERT_EQ(0, d.dataRemaining);
    }
  }
}

TEST(InflateEntry, ShortReadsChangeNothingAndReadsStayInsideTheEntry) {
  const auto data = Samples()[2].second;
  const auto stream = ZlibDeflate(data, 9, Z_DEFAULT_STRATEGY);
  std::vector<uint8_t> package = stream;
  package.insert(package.end(), 5000, 0xAB);  // the next entry
  const Decoded whole = Inflate(package, {.dataSize = static_cast<int32_t>(stream.size())});
  EXPECT_EQ(data, whole.bytes);
  EXPECT_LE(whole.consumed, stream.size());
  for (int32_t maxRead : {1, 3, 100, 4095}) {
    SCOPED_TRACE(maxRead);
    EXPECT_EQ(whole, Inflate(package, {.maxRead = maxRead, .dataSize = static_cast<int32_t>(stream.size())}));
  }
}

// A full disk must not pass for a good extraction: a short write at any flush
// sets ioFailed, and the CRC covers only what was written, so it no longer
// matches the entry's.
TEST(InflateEntry, AShortWriteAtAnyFlushSetsIoFailedAndShowsInTheCrc) {
  const auto data = Samples()[0].second;
  const auto stream = ZlibDeflate(data, 6, Z_DEFAULT_STRATEGY);
  for (int64_t capacity :
       {int64_t{0}, int64_t{1000}, int64_t{32768}, int64_t{70000}, static_cast<int64_t>(data.size() - 1)}) {
    SCOPED_TRACE(capacity);
    const Decoded d = Inflate(stream, {.capacity = capacity});
    EXPECT_TRUE(d.ioFailed);
    const std::vector<uint8_t> written(data.begin(), data.begin() + capacity);
    EXPECT_EQ(written, d.bytes);
    EXPECT_EQ(Crc(written), d.crc);
    EXPECT_NE(Crc(data), d.crc);
    EXPECT_EQ(ExpectedWrites(data.size()), d.writes);  // decoding goes on to the end
  }
  EXPECT_FALSE(Inflate(stream, {.capacity = static_cast<int64_t>(data.size())}).ioFailed);
}

TEST(InflateEntry, AnEncryptedEntryDecryptsAcrossRefills) {
  const auto data = Samples()[1].second;  // noise: more than 32768 compressed bytes
  const auto stream = ZlibDeflate(data, 6, Z_DEFAULT_STRATEGY);
  ASSERT_GT(stream.size(), 65536u);
  for (int32_t maxRead : {0, 777}) {
    const Decoded d = Inflate(test::Encrypt(stream, "secret"), {.maxRead = maxRead, .password = "secret"});
    EXPECT_EQ(data, d.bytes);
    EXPECT_EQ(Crc(data), d.crc);
  }
}

// An end-of-block code shorter than the literal codes makes the literal root
// table as narrow as that code, and the sub-tables behind it wider than the
// root: a literal decoded through them asks for more bits than the next code's
// root lookup. What the decoder holds when the block ends must account for
// that, or a bad block after it resumes from other bits than the plain
// decoder's. Every alignment of the end of the block to the bytes is tried.
TEST(InflateEntry, ABlockEndingRightAfterALongLookupHoldsTheBitsAskedFor) {
  std::vector<uint16_t> literal(257, 0);
  literal[256] = 1;
  literal['a'] = 2;
  for (int i = 0; i < 64; ++i) literal[128 + i] = 8;
  const auto codes = test::CanonicalCodes(literal);
  for (int pre = 0; pre < 8; ++pre) {
    for (int longCodes = 0; longCodes < 4; ++longCodes) {
      BitWriter w;
      w.FixedHeader(false);
      for (int i = 0; i < pre; ++i) w.FixedSymbol('p');
      w.FixedSymbol(256);
      test::DynamicHeader(w, false, literal, {1});
      for (int i = 0; i < 200; ++i) {
        const uint32_t symbol = i % 7 == 0 ? 130 + i % 50 : 'a';
        w.Code(codes[symbol], literal[symbol]);
      }
      for (int i = 0; i < longCodes; ++i) w.Code(codes[130], 8);
      w.Code(codes['a'], 2);
      w.Code(codes[256], 1);
      w.FixedHeader(false);
      w.FixedSymbol('x');
      w.FixedSymbol(286);  // gives the block up: decoding resumes from the bits held at the end of the last
      w.Raw(std::vector<uint8_t>(40, 0x5A));
      const auto stream = w.Finish();
      SCOPED_TRACE(std::to_string(pre) + " " + std::to_string(longCodes));
      EXPECT_EQ(test::RunDecoder(kReference, stream), Inflate(stream));
    }
  }
}

// Damaged streams under varied input and output conditions: the decoder must
// do exactly what the plain decoder does, byte for byte and write for write.
TEST(InflateEntry, AgreesWithThePlainDecoderOnDamagedStreams) {
  std::mt19937 random(1996);
  std::vector<std::vector<uint8_t>> streams;
  for (const auto& [name, data] : Samples()) {
    const std::vector<uint8_t> part(data.begin(), data.begin() + 20000);
    streams.push_back(ZlibDeflate(part, 6, Z_DEFAULT_STRATEGY));
    streams.push_back(ZlibDeflate(part, 1, Z_FIXED));
    streams.push_back(LibdeflateDeflate(part, 12));
  }
  for (const auto& c : EdgeCases()) streams.push_back(c.stream);
  for (int round = 0; round < 2500; ++round) {
    std::vector<uint8_t> s = streams[random() % streams.size()];
    const int damage = 1 + static_cast<int>(random() % 4);
    for (int i = 0; i < damage && !s.empty(); ++i) {
      const size_t at = random() % s.size();
      switch (random() % 4) {
        case 0:
          s[at] = static_cast<uint8_t>(s[at] ^ (1u << (random() % 8)));
          break;
        case 1:
          s[at] = static_cast<uint8_t>(random());
          break;
        case 2:
          s.resize(at);
          break;
        default:
          s.insert(s.begin() + static_cast<ptrdiff_t>(at), static_cast<uint8_t>(random()));
      }
    }
    Conditions c;
    if (random() % 3 == 0) c.maxRead = static_cast<int32_t>(1 + random() % 50);
    if (random() % 4 == 0) c.capacity = static_cast<int64_t>(random() % 50000);
    if (random() % 4 == 0) c.password = "pw";
    SCOPED_TRACE(round);
    ASSERT_EQ(test::RunDecoder(kReference, s, c), Inflate(s, c));
  }
}

}  // namespace
}  // namespace quillon
