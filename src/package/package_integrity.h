// The integrity check of a single-file package: it refuses a package whose
// end is missing, as a download cut short would be. Only the end of the file
// is looked at:
//
//   - a 4-byte trailer whose first three bytes are "RSF" passes at once;
//   - otherwise the last min(F - packageStart, 65558) bytes are scanned, from
//     their start, for a ZIP end-of-central-directory record (signature
//     50 4B 05 06, the comment length as a 16-bit little-endian number at
//     offset 20, 22 bytes before the comment) whose comment reaches the end of
//     the file or past it. A record that ends before the end of the file is
//     skipped.
//
// The window is one byte larger than a record with the largest comment, so a
// record that reaches the end is always inside it. A comment that reaches
// past the end passes too; that lets a signature appended to the installer
// count as the comment of a record written with room for it.
#pragma once

#include <cstdint>

#include "base/zip_format.h"
#include "fs/package_io.h"

namespace quillon {

constexpr int32_t kIntegrityWindow = 65536 + kEndRecordSize;
static_assert(kIntegrityWindow == 0x10016);
static_assert(kIntegrityWindow == kEndRecordSize + 0xFFFF + 1, "one byte beyond the largest comment");

constexpr uint8_t kTrailerMark[3] = {'R', 'S', 'F'};

// What the check finds at the package's end: the trailer, or the first end
// record in the window that reaches the end of the file; its position in the
// file.
struct PackageTail {
  enum class Kind : uint8_t { Missing, Trailer, EndRecord } kind = Kind::Missing;
  int32_t position = -1;
};

[[nodiscard]] PackageTail FindPackageTail(PackageSource& package, int32_t packageStart);

// True when the package's end is there. packageStart is where the package
// begins in the file: the program image before it is never scanned, since the
// installer's own code holds the signature that a cut package lacks. Leaves the
// file pointer where the check happened to leave it; a package that cannot be
// read fails.
[[nodiscard]] bool CheckPackageIntegrity(PackageSource& package, int32_t packageStart);

}  // namespace quillon
