// A NUL-terminated byte string in a buffer of fixed capacity, the stub's
// stand-in for a string type. Appending never writes past the buffer: text
// that does not fit is dropped and the overflow is remembered, so callers
// build a path or a message first and check once whether it was complete.
#pragma once

#include <cstdint>
#include <cstring>

namespace quillon {

template <int32_t Capacity>  // bytes, the terminating NUL included
class FixedText {
  static_assert(Capacity >= 2, "a text needs room for one byte and its NUL");

 public:
  FixedText() = default;
  explicit FixedText(const char* text) { Append(text); }

  FixedText& Append(const char* text, int32_t length) {
    if (length < 0 || length > Capacity - 1 - length_) {
      overflowed_ = true;
      return *this;
    }
    std::memcpy(buffer_ + length_, text, static_cast<size_t>(length));
    length_ += length;
    buffer_[length_] = '\0';
    return *this;
  }
  FixedText& Append(const char* text) { return Append(text, static_cast<int32_t>(std::strlen(text))); }
  FixedText& Append(char c) { return Append(&c, 1); }
  // Appends the decimal digits of number.
  FixedText& AppendNumber(uint32_t number) {
    char digits[10];
    int32_t count = 0;
    do {
      digits[count++] = static_cast<char>('0' + number % 10);
      number /= 10;
    } while (number != 0);
    char ordered[10];
    for (int32_t i = 0; i < count; ++i) ordered[i] = digits[count - 1 - i];
    return Append(ordered, count);
  }
  template <int32_t Other>
  FixedText& Append(const FixedText<Other>& text) {
    return Append(text.c_str(), text.length());
  }

  // Cuts the text to its first length bytes.
  void Truncate(int32_t length) {
    if (length >= 0 && length < length_) {
      length_ = length;
      buffer_[length_] = '\0';
    }
  }
  void Clear() {
    length_ = 0;
    buffer_[0] = '\0';
    overflowed_ = false;
  }
  // Re-reads the length after the buffer was changed in place through data().
  void Resync() {
    buffer_[Capacity - 1] = '\0';
    length_ = 0;
    while (buffer_[length_] != '\0') ++length_;
  }

  [[nodiscard]] const char* c_str() const { return buffer_; }
  [[nodiscard]] char* data() { return buffer_; }
  [[nodiscard]] int32_t length() const { return length_; }
  [[nodiscard]] bool empty() const { return length_ == 0; }
  [[nodiscard]] bool overflowed() const { return overflowed_; }
  static constexpr int32_t capacity() { return Capacity; }

 private:
  char buffer_[static_cast<size_t>(Capacity)] = {};
  int32_t length_ = 0;
  bool overflowed_ = false;
};

}  // namespace quillon
