#include "app/work_directory.h"

#include <cstring>

#include "fs/path.h"

namespace quillon {
namespace {

constexpr uint32_t kTempQueryLength = 254;
constexpr int32_t kSuffixLength = static_cast<int32_t>(sizeof kWorkDirectorySuffix) - 1;
static_assert(kSuffixLength == 13);

bool ContainsSpace(const char* text) {
  return std::strchr(text, ' ') != nullptr;
}

}  // namespace

void ChooseWorkDirectory(const char* tempPath, uint32_t tempLength, const char* startDirectory,
                         const char* systemDirectory, char workDirectory[kDirectoryBufferSize], LeadByteTest isLead) {
  int32_t insertion = -1;
  if (tempLength > 1 && tempLength < kTempQueryLength) {
    std::memcpy(workDirectory, tempPath, tempLength);
    workDirectory[tempLength] = '\0';
    StripBackslash(workDirectory, isLead);
    const int32_t base = TextLength(workDirectory);
    const bool usable = base > 0 && std::strcmp(workDirectory, startDirectory) != 0 && !ContainsSpace(workDirectory);
    if (usable && base + kSuffixLength < kDirectoryBufferSize) insertion = base;
  }
  if (insertion < 0) {
    // The system directory is at most 127 characters, so the suffix always fits.
    const int32_t length = TextLength(systemDirectory);
    std::memcpy(workDirectory, systemDirectory, static_cast<size_t>(length));
    workDirectory[length] = '\0';
    StripBackslash(workDirectory, isLead);
    insertion = TextLength(workDirectory);
  }
  std::memcpy(workDirectory + insertion, kWorkDirectorySuffix, sizeof kWorkDirectorySuffix);
}

}  // namespace quillon
