#include "package/part_join.h"

namespace quillon {
namespace {

// Copies one whole part. A read that delivers nothing before the part's size
// is reached would never finish, so it fails the copy like a failed write.
bool CopyPart(PackageSource& part, OutputSink& joined, int64_t& joinedSize, uint8_t* buffer) {
  int32_t remaining = part.Size();
  if (remaining < 0) return false;
  while (remaining > 0) {
    const int32_t got = part.Read(buffer, remaining < kJoinBufferSize ? remaining : kJoinBufferSize);
    if (got <= 0) return false;
    if (joined.Write(buffer, got) != got) return false;
    joinedSize += got;
    remaining -= got;
  }
  return true;
}

}  // namespace

void FormatPartNumber(int32_t n, char out[4]) {
  char digits[12];
  int32_t count = 0;
  auto value = static_cast<uint32_t>(n < 0 ? 0 : n);
  do {
    digits[count++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value != 0);
  // digits holds the number backwards; keep its first (most significant) three.
  const int32_t kept = count < 3 ? count : 3;
  int32_t i = 0;
  for (; i < 3 - kept; ++i) out[i] = '0';
  for (int32_t k = 0; k < kept; ++k) out[i++] = digits[count - 1 - k];
  out[3] = '\0';
}

bool MakePartPath(char* path, int32_t partNumber) {
  int32_t length = 0;
  while (path[length] != '\0') ++length;
  if (length < 3) return false;
  char number[4];
  FormatPartNumber(partNumber, number);
  for (int32_t i = 0; i < 3; ++i) path[length - 3 + i] = number[i];
  return true;
}

bool JoinParts(PartShelf& shelf, OutputSink& joined, int32_t totalSize, uint8_t* buffer) {
  int64_t joinedSize = 0;
  int32_t partNumber = 0;
  while (joinedSize < totalSize) {
    // The counter is three digits wide: a 256th part would be asked for as 000.
    if (partNumber > kMaxPartNumber) return false;
    PackageSource* part = shelf.OpenPart(partNumber);
    if (part == nullptr) {
      if (!shelf.AskForDisk(partNumber + 1)) return false;
      continue;
    }
    const bool copied = CopyPart(*part, joined, joinedSize, buffer);
    shelf.ClosePart();
    if (!copied) return false;
    ++partNumber;
  }
  return true;
}

}  // namespace quillon
