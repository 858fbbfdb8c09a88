// The installer's reading of its own file, as the stub runs it before and
// after its main window: the header and its texts, the integrity check of a
// single-file package, and the extraction. For tests and fuzzers that feed it
// whole packages.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "memory_host.h"
#include "package/extract.h"
#include "package/package_start.h"

namespace quillon::test {

constexpr char kWork[] = "C:\\TEMP\\$Quillon.Tmp";
// A text longer than this could not be allocated by the stub either: it ends
// with the out-of-memory report there.
constexpr int32_t kLargestText = 1 << 26;

// The installer file: zeros up to the package offset, then the package.
class InstallerFile final : public PackageSource {
 public:
  InstallerFile(const uint8_t* package, size_t size) : package_(package), size_(static_cast<int64_t>(size)) {}

  int32_t Read(void* buffer, int32_t count) override {
    auto* out = static_cast<uint8_t*>(buffer);
    int32_t n = 0;
    if (n < count && position_ < kPackageOffset) {
      const auto zeros = static_cast<int32_t>(std::min<int64_t>(count, kPackageOffset - position_));
      std::memset(out, 0, static_cast<size_t>(zeros));
      n += zeros;
      position_ += zeros;
    }
    if (n < count && position_ < kPackageOffset + size_) {
      const auto bytes = static_cast<int32_t>(std::min<int64_t>(count - n, kPackageOffset + size_ - position_));
      std::memcpy(out + n, package_ + (position_ - kPackageOffset), static_cast<size_t>(bytes));
      n += bytes;
      position_ += bytes;
    }
    return n;
  }

  int32_t Seek(int32_t distance, SeekMethod method) override {
    const int64_t target = (method == SeekMethod::FromStart ? 0 : kPackageOffset + size_) + distance;
    if (target < 0 || target > 0x7FFFFFFE) return -1;
    position_ = target;
    return static_cast<int32_t>(target);
  }

  int32_t Size() override { return static_cast<int32_t>(kPackageOffset + size_); }

 private:
  const uint8_t* package_;
  int64_t size_;
  int64_t position_ = 0;
};

enum class ReadingEnd {
  OutOfMemory,  // a text too long to allocate: the runtime-error report
  Corrupted,    // refused by the integrity check
  Extracted,    // the extraction ran; see its result
};

struct InstallerReading {
  ReadingEnd end = ReadingEnd::Extracted;
  ExtractionResult extraction;
};

// The texts' buffers, as the stub takes them from the heap; a text that the
// stub could not allocate stops the reading. The buffers are not filled
// first: only what arrives from the file is written, so a length far beyond
// the end of the file costs no time here.
class TextBuffers final : public PackageStartHost {
 public:
  bool GoOn(const PackageHeader& /*header*/) override { return true; }
  char* TextBuffer(PackageText /*text*/, int32_t length) override {
    if (length > kLargestText) return nullptr;
    buffers_.emplace_back(new char[static_cast<size_t>(length) + 1]);
    return buffers_.back().get();
  }

 private:
  std::vector<std::unique_ptr<char[]>> buffers_;
};

inline InstallerReading ReadInstaller(PackageSource& file, MemoryHost& host) {
  InstallerReading reading;
  TextBuffers texts;
  const PackageStart start = ReadPackageStart(file, texts);
  if (start.status == PackageStartStatus::Stopped) {
    reading.end = ReadingEnd::OutOfMemory;
    return reading;
  }
  if (start.status == PackageStartStatus::Corrupted) {
    reading.end = ReadingEnd::Corrupted;
    return reading;
  }
  reading.extraction = ExtractPackage(file, start.dataStart, kWork, NoLeadBytes, host);
  return reading;
}

}  // namespace quillon::test
