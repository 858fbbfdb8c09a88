#include "common/name_encoding.h"

#include <algorithm>
#include <cerrno>

#include "support/pack_support.h"
#include "system/code_page.h"

namespace quillon::pack {

namespace {

// The bytes of the UTF-8 character that text starts with; 0 when it does not
// start with one.
size_t Utf8CharacterLength(std::string_view text) {
  if (text.empty()) return 0;
  const auto first = static_cast<uint8_t>(text[0]);
  size_t length = 0;
  if (first < 0x80) {
    length = 1;
  } else if (first >= 0xC2 && first <= 0xDF) {
    length = 2;
  } else if (first >= 0xE0 && first <= 0xEF) {
    length = 3;
  } else if (first >= 0xF0 && first <= 0xF4) {
    length = 4;
  }
  if (length == 0 || length > text.size()) return 0;
  for (size_t i = 1; i < length; ++i) {
    if ((static_cast<uint8_t>(text[i]) & 0xC0) != 0x80) return 0;
  }
  return length;
}

constexpr std::string_view kUtf8ByteOrderMark = "\xEF\xBB\xBF";

}  // namespace

NameEncoding::NameEncoding(const std::string& codePage) : codePage_(codePage) {
  Converter toUtf8(kLocalNames, codePage);
  Converter fromUtf8(codePage, kLocalNames);
  if (codePage.empty() || !toUtf8.valid() || !fromUtf8.valid()) {
    throw UsageError(std::string(kConverterName) + " knows no code page " + Quote(codePage));
  }
  // The installer finds separators and forbidden characters as ASCII bytes,
  // and steps over the second byte of a double-byte character.
  std::string ascii;
  for (int c = 1; c < 0x80; ++c) ascii += static_cast<char>(c);
  const Converter::Result kept = fromUtf8.Run(ascii);
  bool fits = kept.error == 0 && kept.text == ascii;
  for (int b = 0x80; b <= 0xFF && fits; ++b) {
    const char first = static_cast<char>(b);
    lead_[static_cast<size_t>(b)] = toUtf8.Run(std::string(1, first)).error == EINVAL;
    for (int second = 1; second <= 0xFF && fits && lead_[static_cast<size_t>(b)]; ++second) {
      fits = toUtf8.Run(std::string{first, static_cast<char>(second)}).error != EINVAL;
    }
  }
  if (!fits) {
    throw UsageError("code page " + Quote(codePage) +
                     " is no code page of one- and two-byte characters that keeps ASCII as it is, as the ANSI "
                     "code pages of Windows are (cp1252, cp932, ...)");
  }
}

// Why the conversion stopped at `rest`.
std::string NameEncoding::Problem(std::string_view rest) const {
  const size_t length = Utf8CharacterLength(rest);
  if (length == 0) return std::string("it is not ") + (kLocalNames == std::string_view("UTF-8") ? "UTF-8" : "text");
  return "code page " + codePage_ + " has no character " + Quote(rest.substr(0, length));
}

std::string NameEncoding::Convert(const std::string& name, const std::string& origin) const {
  if (!converts()) return name;
  Converter fromUtf8(codePage_, kLocalNames);
  Converter::Result result = fromUtf8.Run(name);
  if (result.error == 0) return std::move(result.text);
  throw PackError("entry name " + Quote(name) + " (" + origin + ") cannot be converted to code page " + codePage_ +
                  ": " + Problem(std::string_view(name).substr(result.done)));
}

std::string NameEncoding::ConvertText(const std::string& text, const std::string& what, bool lineEnds) const {
  std::string_view rest = text;
  const char* from = kLocalNames;
  if (rest.starts_with(kUtf8ByteOrderMark)) {
    rest.remove_prefix(kUtf8ByteOrderMark.size());
    from = "UTF-8";
  }
  std::string lines;
  for (size_t i = 0; i < rest.size(); ++i) {
    if (lineEnds && rest[i] == '\n' && (i == 0 || rest[i - 1] != '\r')) lines += '\r';
    lines += rest[i];
  }
  Converter converter(codePage_, from);
  Converter::Result result = converter.Run(lines);
  if (result.error == 0) return std::move(result.text);
  const std::string_view before = std::string_view(lines).substr(0, result.done);
  const size_t line = 1 + static_cast<size_t>(std::count(before.begin(), before.end(), '\n'));
  throw PackError(what + " cannot be converted to code page " + codePage_ + " (line " + std::to_string(line) +
                  "): " + Problem(std::string_view(lines).substr(result.done)));
}

std::string NameEncoding::Shown(const std::string& name) const {
  return ToUtf8(name).value_or(name);
}

std::optional<std::string> NameEncoding::ToUtf8(const std::string& name) const {
  if (!converts()) return name;
  Converter toUtf8(kLocalNames, codePage_);
  Converter::Result result = toUtf8.Run(name);
  if (result.error != 0) return std::nullopt;
  return std::move(result.text);
}

LeadByteTest NameEncoding::LeadTest() const {
  thread_local std::array<bool, 256> current{};
  current = lead_;
  return [](uint8_t byte) { return current[byte]; };
}

}  // namespace quillon::pack
