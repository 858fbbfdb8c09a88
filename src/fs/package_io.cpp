#include "fs/package_io.h"

namespace quillon {

int32_t ReadFully(PackageSource& source, void* buffer, int32_t count) {
  auto* bytes = static_cast<uint8_t*>(buffer);
  int32_t got = 0;
  while (got < count) {
    const int32_t n = source.Read(bytes + got, count - got);
    if (n <= 0) break;
    got += n;
  }
  return got;
}

}  // namespace quillon
