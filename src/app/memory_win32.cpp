#include <windows.h>

#include "app/fatal_win32.h"
#include "app/memory.h"

namespace quillon {

void* MemAlloc(size_t size) {
  void* block = size > 0x7FFFFFF0u ? nullptr : HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, size == 0 ? 1 : size);
  if (block == nullptr) FatalError(kOutOfMemory);
  return block;
}

void MemFree(void* block) {
  if (block != nullptr) HeapFree(GetProcessHeap(), 0, block);
}

}  // namespace quillon
