// The packager's deflate in pieces: the joined streams inflate to the input
// (with zlib, an independent reader), the pieces are reported as they are
// done, and the end of a stream is found only in a whole stream.
#include "pack/building/deflate_pieces.h"

#include <gtest/gtest.h>
#include <libdeflate.h>
#include <zlib.h>

#include <memory>
#include <random>
#include <vector>

namespace quillon::pack {
namespace {

using Bytes = std::vector<uint8_t>;

struct CompressorDeleter {
  void operator()(libdeflate_compressor* compressor) const { libdeflate_free_compressor(compressor); }
};
using Compressor = std::unique_ptr<libdeflate_compressor, CompressorDeleter>;

// Text-like bytes, random bytes (stored blocks) and runs of zeros, mixed.
Bytes MixedData(size_t size, unsigned seed) {
  std::mt19937 random(seed);
  Bytes data;
  const char* words[] = {"alpha ", "beta ", "gamma\r\n", "delta; ", "0x1234 "};
  while (data.size() < size) {
    const unsigned kind = random() % 3;
    const size_t run = 1000 + random() % 50000;
    for (size_t i = 0; i < run && data.size() < size; ++i) {
      if (kind == 0) {
        for (const char* c = words[random() % 5]; *c != 0 && data.size() < size; ++c) data.push_back(*c);
      } else {
        data.push_back(kind == 1 ? static_cast<uint8_t>(random()) : 0);
      }
    }
  }
  return data;
}

Bytes Inflate(const Bytes& deflated, size_t size) {
  Bytes out(size + 1);
  z_stream stream{};
  EXPECT_EQ(inflateInit2(&stream, -15), Z_OK);
  stream.next_in = const_cast<uint8_t*>(deflated.data());
  stream.avail_in = static_cast<uInt>(deflated.size());
  stream.next_out = out.data();
  stream.avail_out = static_cast<uInt>(out.size());
  EXPECT_EQ(inflate(&stream, Z_FINISH), Z_STREAM_END);
  EXPECT_EQ(stream.avail_in, 0u) << "bytes behind the end of the stream";
  out.resize(stream.total_out);
  inflateEnd(&stream);
  return out;
}

TEST(DeflatePiecesTest, JoinedPiecesInflateToTheInput) {
  struct Case {
    int level;
    size_t size;
    size_t piece;
  };
  const Case cases[] = {
      {12, 1'000'000, 100'000}, {1, 1'000'000, 65'536},  {6, 300'000, 300'000},
      {12, 300'001, 100'000},   {9, 2'500'000, 777'777}, {1, 10, 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "level " << c.level << ", " << c.size << " bytes in pieces of " << c.piece);
    const Compressor compressor(libdeflate_alloc_compressor(c.level));
    const Bytes data = MixedData(c.size, static_cast<unsigned>(c.size));
    std::vector<size_t> reported;
    const Bytes joined = DeflateInPieces(compressor.get(), data.data(), data.size(), c.piece,
                                         [&](size_t bytes) { reported.push_back(bytes); });
    EXPECT_EQ(Inflate(joined, data.size()), data);
    std::vector<size_t> pieces;
    for (size_t at = 0; at < data.size(); at += c.piece) pieces.push_back(std::min(c.piece, data.size() - at));
    EXPECT_EQ(reported, pieces);
    const std::optional<DeflateEnd> end = FindDeflateEnd(joined.data(), joined.size());
    ASSERT_TRUE(end.has_value());
    EXPECT_EQ((end->end + 7) / 8, joined.size());
  }
}

TEST(DeflatePiecesTest, EndIsFoundOnlyInAWholeStream) {
  const Compressor compressor(libdeflate_alloc_compressor(6));
  const Bytes data = MixedData(200'000, 7);
  Bytes stream(libdeflate_deflate_compress_bound(compressor.get(), data.size()));
  stream.resize(libdeflate_deflate_compress(compressor.get(), data.data(), data.size(), stream.data(), stream.size()));
  ASSERT_TRUE(FindDeflateEnd(stream.data(), stream.size()).has_value());

  Bytes cut(stream.begin(), stream.end() - 1);
  EXPECT_FALSE(FindDeflateEnd(cut.data(), cut.size()).has_value()) << "cut short";
  Bytes longer = stream;
  longer.push_back(0);
  EXPECT_FALSE(FindDeflateEnd(longer.data(), longer.size()).has_value()) << "a byte behind it";
  const Bytes reserved = {0x07};  // a final block of the reserved type 3
  EXPECT_FALSE(FindDeflateEnd(reserved.data(), reserved.size()).has_value());
  const Bytes badStored = {0x01, 0x05, 0x00, 0x05, 0x00};  // LEN and NLEN that disagree
  EXPECT_FALSE(FindDeflateEnd(badStored.data(), badStored.size()).has_value());
  const Bytes emptyStored = {0x01, 0x00, 0x00, 0xFF, 0xFF};
  const std::optional<DeflateEnd> end = FindDeflateEnd(emptyStored.data(), emptyStored.size());
  ASSERT_TRUE(end.has_value());
  EXPECT_EQ(end->lastBlock, 0u);
  EXPECT_EQ(end->end, 40u);
}

}  // namespace
}  // namespace quillon::pack
