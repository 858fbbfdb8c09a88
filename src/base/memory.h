// Heap blocks for the package logic. The stub takes them from the process
// heap and ends with runtime error 203 when the heap is exhausted; the host
// build uses malloc and aborts. Blocks arrive zero-filled, so a short read
// into one never exposes stale heap contents.
#pragma once

#include <cstddef>
#include <cstdint>

namespace quillon {

// Never returns null: exhaustion ends the program.
[[nodiscard]] void* MemAlloc(size_t size);
// The same without the zero fill, for a block of which nothing is read before
// it is written.
[[nodiscard]] void* MemAllocUnfilled(size_t size);
void MemFree(void* block);

enum class Fill : uint8_t { Zeros, None };

// One heap block owned for the duration of a scope.
template <typename T>
class HeapBuffer {
 public:
  explicit HeapBuffer(size_t count, Fill fill = Fill::Zeros)
      : data_(
            static_cast<T*>(fill == Fill::Zeros ? MemAlloc(count * sizeof(T)) : MemAllocUnfilled(count * sizeof(T)))) {}
  ~HeapBuffer() { MemFree(data_); }
  HeapBuffer(const HeapBuffer&) = delete;
  HeapBuffer& operator=(const HeapBuffer&) = delete;

  [[nodiscard]] T* get() const { return data_; }
  T& operator[](size_t index) const { return data_[index]; }

 private:
  T* data_;
};

}  // namespace quillon
