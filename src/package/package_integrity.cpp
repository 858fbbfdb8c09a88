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

// window holds the last count bytes of a file of fileSize bytes. Where the
// first record that reaches the end starts in it, or -1.
int32_t EndRecordReachingEnd(const uint8_t* window, int32_t count, int32_t fileSize) {
  const int64_t windowStart = int64_t{fileSize} - count;
  for (int32_t i = 0; i <= count - kEndRecordSize; ++i) {
    if (LoadLittle32(window + i) != kEndRecordSignature) continue;
    const int32_t commentLength = LoadLittle16(window + i + kEndRecordCommentLengthField);
    if (fileSize <= windowStart + i + kEndRecordSize + commentLength) return i;
  }
  return -1;
}

}  // namespace

PackageTail FindPackageTail(PackageSource& package, int32_t packageStart) {
  PackageTail tail;
  const int32_t fileSize = package.Size();
  if (packageStart < 0 || fileSize < packageStart) return tail;
  const int32_t packageSize = fileSize - packageStart;
  const int32_t window = packageSize < kIntegrityWindow ? packageSize : kIntegrityWindow;
  if (window <= kEndRecordSize) return tail;
  if (EndsWithTrailer(package)) {
    tail.kind = PackageTail::Kind::Trailer;
    tail.position = fileSize - 4;
    return tail;
  }

  HeapBuffer<uint8_t> bytes(static_cast<size_t>(window));
  if (package.Seek(-window, SeekMethod::FromEnd) < 0) return tail;
  if (ReadFully(package, bytes.get(), window) != window) return tail;
  const int32_t at = EndRecordReachingEnd(bytes.get(), window, fileSize);
  if (at >= 0) {
    tail.kind = PackageTail::Kind::EndRecord;
    tail.position = fileSize - window + at;
  }
  return tail;
}

bool CheckPackageIntegrity(PackageSource& package, int32_t packageStart) {
  return FindPackageTail(package, packageStart).kind != PackageTail::Kind::Missing;
}

}  // namespace quillon
