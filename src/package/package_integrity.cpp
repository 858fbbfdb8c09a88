#include "package/package_integrity.h"

#include <cstring>

#include "base/little_endian.h"
#include "base/memory.h"

namespace quillon {
namespace {

bool EndsWithTrailer(PackageSource& package) {
  uint8_t last[4] = {};
  if (package.Seek(-4, SeekMethod::FromEnd) < 0 || ReadFully(package, last, 4) != 4) return false;
  return std::memcmp(last, kTrailerMark, sizeof kTrailerMark) == 0;
}

// window holds the last count bytes of a file of fileSize bytes.
bool HasEndRecordReachingEnd(const uint8_t* window, int32_t count, int32_t fileSize) {
  const int64_t windowStart = int64_t{fileSize} - count;
  for (int32_t i = 0; i <= count - kEndRecordSize; ++i) {
    if (LoadLittle32(window + i) != kEndRecordSignature) continue;
    const int32_t commentLength = LoadLittle16(window + i + kEndRecordCommentLengthField);
    if (fileSize <= windowStart + i + kEndRecordSize + commentLength) return true;
  }
  return false;
}

}  // namespace

bool CheckPackageIntegrity(PackageSource& package, int32_t packageStart) {
  const int32_t fileSize = package.Size();
  if (packageStart < 0 || fileSize < packageStart) return false;
  const int32_t packageSize = fileSize - packageStart;
  const int32_t window = packageSize < kIntegrityWindow ? packageSize : kIntegrityWindow;
  if (window <= kEndRecordSize) return false;
  if (EndsWithTrailer(package)) return true;

  HeapBuffer<uint8_t> tail(static_cast<size_t>(window));
  if (package.Seek(-window, SeekMethod::FromEnd) < 0) return false;
  if (ReadFully(package, tail.get(), window) != window) return false;
  return HasEndRecordReachingEnd(tail.get(), window, fileSize);
}

}  // namespace quillon
