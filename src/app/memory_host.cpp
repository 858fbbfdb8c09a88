#include <cstdio>
#include <cstdlib>

#include "app/memory.h"

namespace quillon {

void* MemAlloc(size_t size) {
  void* block = std::calloc(size == 0 ? 1 : size, 1);
  if (block == nullptr) {
    static_cast<void>(std::fputs("out of memory\n", stderr));
    std::abort();
  }
  return block;
}

void MemFree(void* block) {
  std::free(block);
}

}  // namespace quillon
