// Deflating a large file in pieces, so that its progress shows while it is
// compressed: libdeflate compresses a buffer in one call, without a word in
// between, and a large file at the highest level takes minutes. Each piece
// becomes a deflate stream of its own; the streams are joined into one by
// taking the final mark off every block but the very last, each piece
// starting on a byte behind an empty stored block. A piece starts
// without the 32 KiB of history before it, which costs about a kilobyte per
// piece (under 0.1 % of a 4 MiB piece).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

struct libdeflate_compressor;

namespace quillon::pack {

// Files up to this size are deflated in one call; larger ones in pieces of
// this size.
constexpr size_t kDeflatePiece = size_t{4} << 20;

// Where a raw deflate stream's last block starts (its final mark) and where
// the stream ends, counted in bits; nullopt when the bytes are not exactly
// one complete deflate stream (padding to the byte at the end allowed).
struct DeflateEnd {
  uint64_t lastBlock = 0;
  uint64_t end = 0;
};
[[nodiscard]] std::optional<DeflateEnd> FindDeflateEnd(const uint8_t* data, size_t size);

// Deflates data with the compressor into one raw deflate stream, piece by
// piece (pieceSize bytes each), telling `done` the bytes of input after each
// piece. The same data and piece size give the same bytes.
[[nodiscard]] std::vector<uint8_t> DeflateInPieces(libdeflate_compressor* compressor, const uint8_t* data, size_t size,
                                                   size_t pieceSize, const std::function<void(size_t)>& done);

}  // namespace quillon::pack
