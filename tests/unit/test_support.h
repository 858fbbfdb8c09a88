// Shared helpers for the unit tests: the CRC table that the program entry
// would build, and in-memory package sources and output sinks.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "fs/package_io.h"

namespace quillon::test {

// Little-endian fields, as ZIP headers hold them.
inline void Put16(std::vector<uint8_t>& out, uint32_t v) {
  out.push_back(static_cast<uint8_t>(v));
  out.push_back(static_cast<uint8_t>(v >> 8));
}
inline void Put32(std::vector<uint8_t>& out, uint32_t v) {
  Put16(out, v & 0xFFFF);
  Put16(out, v >> 16);
}

// The lead bytes of code page 932 (Shift-JIS), whose second bytes include
// "\" (0x5C) and "|" (0x7C).
inline bool IsLeadByte932(uint8_t byte) {
  return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

// A package held in memory, with the semantics of a file handle.
class MemorySource final : public PackageSource {
 public:
  explicit MemorySource(std::vector<uint8_t> bytes) : bytes_(std::move(bytes)) {}

  int32_t Read(void* buffer, int32_t count) override {
    ++reads;
    if (count <= 0 || position_ >= bytes_.size()) return 0;
    size_t n = std::min(static_cast<size_t>(count), bytes_.size() - position_);
    if (maxRead > 0) n = std::min(n, static_cast<size_t>(maxRead));
    std::memcpy(buffer, bytes_.data() + position_, n);
    position_ += n;
    return static_cast<int32_t>(n);
  }

  int32_t Seek(int32_t distance, SeekMethod method) override {
    const int64_t base = method == SeekMethod::FromStart ? 0 : static_cast<int64_t>(bytes_.size());
    const int64_t target = base + distance;
    if (target < 0) return -1;
    position_ = static_cast<size_t>(target);
    return static_cast<int32_t>(target);
  }

  int32_t Size() override { return static_cast<int32_t>(bytes_.size()); }

  [[nodiscard]] size_t position() const { return position_; }

  int32_t maxRead = 0;  // above 0: deliver at most this many bytes per read
  int reads = 0;

 private:
  std::vector<uint8_t> bytes_;
  size_t position_ = 0;
};

// Collects what is written; can be told to fail after a number of bytes.
class MemorySink final : public OutputSink {
 public:
  int32_t Write(const void* buffer, int32_t count) override {
    ++writes;
    writeSizes.push_back(count);
    int32_t n = count;
    if (capacity >= 0)
      n = static_cast<int32_t>(std::min<int64_t>(count, capacity - static_cast<int64_t>(bytes.size())));
    if (n < 0) n = 0;
    const auto* p = static_cast<const uint8_t*>(buffer);
    bytes.insert(bytes.end(), p, p + n);
    return n;
  }

  std::vector<uint8_t> bytes;
  std::vector<int32_t> writeSizes;
  int writes = 0;
  int64_t capacity = -1;  // below 0: unlimited
};

}  // namespace quillon::test
