#include <windows.h>

#include "base/fatal_win32.h"
#include "base/memory.h"

namespace quillon {

namespace {

void* Allocate(size_t size, DWORD flags) {
  void* block = size > 0x7FFFFFF0u ? nullptr : HeapAlloc(GetProcessHeap(), flags, size == 0 ? 1 : size);
  if (block == nullptr) FatalError(kOutOfMemory);
  return block;
}

}  // namespace

void* MemAlloc(size_t size) {
  return Allocate(size, HEAP_ZERO_MEMORY);
}

void* MemAllocUnfilled(size_t size) {
  return Allocate(size, 0);
}

void MemFree(void* block) {
  if (block != nullptr) HeapFree(GetProcessHeap(), 0, block);
}

}  // namespace quillon
