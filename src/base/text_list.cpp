#include "base/text_list.h"

#include <cstring>

#include "base/memory.h"

namespace quillon {
namespace {

template <typename T>
T* Grow(T* block, int32_t used, int32_t& capacity, int32_t needed) {
  if (needed <= capacity) return block;
  int32_t grown = capacity < 16 ? 16 : capacity;
  while (grown < needed) grown *= 2;
  auto* larger = static_cast<T*>(MemAlloc(static_cast<size_t>(grown) * sizeof(T)));
  if (used > 0) std::memcpy(larger, block, static_cast<size_t>(used) * sizeof(T));
  MemFree(block);
  capacity = grown;
  return larger;
}

}  // namespace

void TextList::Add(const char* text) {
  const auto length = static_cast<int32_t>(std::strlen(text));
  bytes_ = Grow(bytes_, used_, byteCapacity_, used_ + length + 1);
  offsets_ = Grow(offsets_, count_, offsetCapacity_, count_ + 1);
  std::memcpy(bytes_ + used_, text, static_cast<size_t>(length) + 1);
  offsets_[count_++] = used_;
  used_ += length + 1;
}

void TextList::Clear() {
  MemFree(bytes_);
  MemFree(offsets_);
  bytes_ = nullptr;
  offsets_ = nullptr;
  used_ = byteCapacity_ = count_ = offsetCapacity_ = 0;
}

}  // namespace quillon
