#include "support/json_writer.h"

#include <array>
#include <cstdio>

namespace quillon::pack {

void JsonWriter::Key(std::string_view key) {
  BeforeValue();
  Quoted(key);
  text_ += ": ";
  afterKey_ = true;
}

void JsonWriter::String(std::string_view text) {
  BeforeValue();
  Quoted(text);
}

void JsonWriter::Quoted(std::string_view text) {
  text_ += '"';
  for (size_t i = 0; i < text.size();) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if (byte >= 0x80) {
      const size_t length = Utf8Length(text, i);
      text_ += length == 0 ? std::string_view("\xEF\xBF\xBD") : text.substr(i, length);
      i += length == 0 ? 1 : length;
      continue;
    }
    ++i;
    switch (byte) {
      case '"':
        text_ += "\\\"";
        break;
      case '\\':
        text_ += "\\\\";
        break;
      case '\n':
        text_ += "\\n";
        break;
      case '\r':
        text_ += "\\r";
        break;
      case '\t':
        text_ += "\\t";
        break;
      default:
        if (byte < 0x20 || byte == 0x7F) {
          std::array<char, 8> escaped{};
          (void)std::snprintf(escaped.data(), escaped.size(), "\\u%04x", byte);
          text_ += escaped.data();
        } else {
          text_ += static_cast<char>(byte);
        }
    }
  }
  text_ += '"';
}

void JsonWriter::Integer(int64_t value) {
  BeforeValue();
  text_ += std::to_string(value);
}

void JsonWriter::Bool(bool value) {
  BeforeValue();
  text_ += value ? "true" : "false";
}

void JsonWriter::Null() {
  BeforeValue();
  text_ += "null";
}

void JsonWriter::BeforeValue() {
  if (afterKey_) {
    afterKey_ = false;
    return;
  }
  if (empty_.empty()) return;
  if (!empty_.back()) text_ += ',';
  empty_.back() = false;
  NewLine();
}

void JsonWriter::Open(char bracket) {
  BeforeValue();
  text_ += bracket;
  empty_.push_back(true);
}

void JsonWriter::Close(char bracket) {
  const bool wasEmpty = empty_.back();
  empty_.pop_back();
  if (!wasEmpty) NewLine();
  text_ += bracket;
  if (empty_.empty()) text_ += '\n';
}

void JsonWriter::NewLine() {
  text_ += '\n';
  text_.append(2 * empty_.size(), ' ');
}

size_t Utf8Length(std::string_view text, size_t i) {
  const auto byte = [&](size_t at) { return at < text.size() ? static_cast<unsigned char>(text[at]) : 0U; };
  const unsigned lead = byte(i);
  if (lead < 0x80) return 1;
  size_t length = 0;
  unsigned low = 0x80;  // the second byte's range, which rules out overlong forms and surrogates
  unsigned high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (byte(i + 1) < low || byte(i + 1) > high) return 0;
  for (size_t k = 2; k < length; ++k) {
    if ((byte(i + k) & 0xC0U) != 0x80) return 0;
  }
  return length;
}

bool IsUtf8(std::string_view text) {
  for (size_t i = 0; i < text.size();) {
    const size_t length = Utf8Length(text, i);
    if (length == 0) return false;
    i += length;
  }
  return true;
}

}  // namespace quillon::pack
