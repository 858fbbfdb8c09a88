// A small writer of JSON documents, for the packager's --json output: objects,
// arrays, strings, integers, booleans and null, indented by two blanks.
// Strings are written as valid UTF-8 whatever they hold.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quillon::pack {

class JsonWriter {
 public:
  void BeginObject() { Open('{'); }
  void EndObject() { Close('}'); }
  void BeginArray() { Open('['); }
  void EndArray() { Close(']'); }

  // The key of the next value in an object.
  void Key(std::string_view key);

  // A string: quotes, backslashes and control characters escaped, and every
  // byte that is not part of a UTF-8 character replaced by U+FFFD.
  void String(std::string_view text);
  void Integer(int64_t value);
  void Bool(bool value);
  void Null();

  // The document, ending with a line end, once every object and array is
  // closed.
  [[nodiscard]] const std::string& text() const { return text_; }

 private:
  void BeforeValue();
  void Quoted(std::string_view text);
  void Open(char bracket);
  void Close(char bracket);
  void NewLine();

  std::string text_;
  std::vector<bool> empty_;  // per open object or array: nothing in it yet
  bool afterKey_ = false;
};

// Whether text is UTF-8 throughout (no overlong forms, no surrogates, nothing
// above U+10FFFF).
[[nodiscard]] bool IsUtf8(std::string_view text);

// The length of the UTF-8 character at text[i]; 0 when no valid one starts there.
[[nodiscard]] size_t Utf8Length(std::string_view text, size_t i);

}  // namespace quillon::pack
