// A growing list of NUL-terminated texts (paths) kept on the heap, with no
// upper limit on the count. Zero-filled memory is an empty list, and the list
// has no destructor, so it can live in the stub's static state (which has no
// runtime to run destructors). The stub's lists live as long as the program,
// whose end gives their memory back; Clear frees the blocks of a list that
// ends earlier, as the host's tests' lists do.
#pragma once

#include <cstdint>

namespace quillon {

class TextList {
 public:
  TextList() = default;
  TextList(const TextList&) = delete;
  TextList& operator=(const TextList&) = delete;

  void Add(const char* text);
  [[nodiscard]] int32_t Count() const { return count_; }
  [[nodiscard]] const char* At(int32_t index) const { return bytes_ + offsets_[index]; }
  void Clear();

 private:
  char* bytes_ = nullptr;
  int32_t* offsets_ = nullptr;
  int32_t used_ = 0;
  int32_t byteCapacity_ = 0;
  int32_t count_ = 0;
  int32_t offsetCapacity_ = 0;
};

}  // namespace quillon
