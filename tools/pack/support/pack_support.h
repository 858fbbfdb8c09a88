// Little pieces shared by the packager's sources: byte buffers, appending
// little-endian fields to them, and the two kinds of failure that end a run.
// Fields read or written in place use base/little_endian.h.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "package/part_join.h"

namespace quillon::pack {

using Bytes = std::vector<uint8_t>;

// A failure that ends the run with a message and exit code 1; whatever was
// written so far is thrown away.
class PackError : public std::runtime_error {
 public:
  explicit PackError(const std::string& message) : std::runtime_error(message) {}
};

// A command line that cannot be understood: exit code 2 and a hint to --help.
class UsageError : public std::runtime_error {
 public:
  explicit UsageError(const std::string& message) : std::runtime_error(message) {}
};

// The largest file the installer can position in: its file positions are
// signed 32-bit numbers.
constexpr int64_t kMaxPackageSize = INT32_MAX;

// A split installer has at most this many part files besides the program
// file: the installer joins no more.
constexpr int kMaxPartFiles = kMaxPartNumber;

inline void Put32(Bytes& out, uint32_t value) {
  for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<uint8_t>(value >> shift));
}

inline void PutBytes(Bytes& out, const uint8_t* data, size_t size) {
  out.insert(out.end(), data, data + size);
}

inline void PutText(Bytes& out, std::string_view text) {
  out.insert(out.end(), text.begin(), text.end());
}

// Prints "quillon-pack: warning: ..." on stderr.
void Warn(const std::string& message);

// A text fit for a terminal: control characters (an escape sequence, a line
// break, a NUL) as \xHH, everything else as it is.
[[nodiscard]] std::string Printable(std::string_view text);

// Quotes a path, an entry name or a text for a message, made printable.
[[nodiscard]] std::string Quote(std::string_view text);

}  // namespace quillon::pack
