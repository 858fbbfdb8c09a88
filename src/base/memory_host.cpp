#include <cstdio>
#include <cstdlib>

#include "base/memory.h"

namespace quillon {

namespace {

void* Checked(void* block) {
  if (block == nullptr) {
    static_cast<void>(std::fputs("out of memory\n", stderr));
    std::abort();
  }
  return block;
}

}  // namespace

void* MemAlloc(size_t size) {
  return Checked(std::calloc(size == 0 ? 1 : size, 1));
}

void* MemAllocUnfilled(size_t size) {
  return Checked(std::malloc(size == 0 ? 1 : size));
}

void MemFree(void* block) {
  std::free(block);
}

}  // namespace quillon
