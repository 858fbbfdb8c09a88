// The installer's reading of its own file, as the stub runs it before and
// after its main window: the header and its texts, the integrity check of a
// single-file package, and the extraction. For tests and fuzzers that feed it
// whole packages.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "memory_host.h"
#include "package/extract.h"
#include "package/package_header.h"
#include "package/package_integrity.h"

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

// Reads a text as the stub does; false when the stub would run out of memory.
// Only the bytes that arrived are descrambled: a length beyond the end of the
// file costs the stub time, but here it would only slow the fuzzer down.
inline bool ReadText(PackageSource& file, int32_t length, bool scrambled) {
  if (length > kLargestText) return false;
  const int32_t available = std::max(0, std::min(length, file.Size()));
  std::vector<char> text(static_cast<size_t>(available) + 1, '\0');
  const int32_t got = available > 0 ? file.Read(text.data(), available) : 0;
  if (length > available) file.Seek(0, SeekMethod::FromEnd);  // where a read that long would stop
  if (scrambled) DescrambleText(text.data(), got);
  return true;
}

inline InstallerReading ReadInstaller(PackageSource& file, MemoryHost& host) {
  InstallerReading reading;
  int32_t dataStart = 0;
  uint8_t magic[3] = {};
  file.Seek(kPackageOffset, SeekMethod::FromStart);
  if (file.Read(magic, 3) == 3 && std::memcmp(magic, kPackageMagic, 3) == 0) {
    uint8_t fields[kPackageHeaderSize - 3] = {};
    static_cast<void>(file.Read(fields, sizeof fields));
    const PackageHeader header = ParsePackageHeader(fields);
    if (!ReadText(file, header.titleLength, false) || !ReadText(file, header.infLength, false) ||
        !ReadText(file, header.licenceInfoLength, true) || !ReadText(file, header.infoLength, true) ||
        !ReadText(file, header.licenceLength, true)) {
      reading.end = ReadingEnd::OutOfMemory;
      return reading;
    }
    if (!header.multiPart && !CheckPackageIntegrity(file, kPackageOffset)) {
      reading.end = ReadingEnd::Corrupted;
      return reading;
    }
    dataStart = ComputeDataStart(header);
  }
  reading.extraction = ExtractPackage(file, dataStart, kWork, NoLeadBytes, host);
  return reading;
}

}  // namespace quillon::test
