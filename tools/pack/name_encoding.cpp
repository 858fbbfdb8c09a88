#include "name_encoding.h"

#include <cerrno>

#include "code_page.h"
#include "pack_support.h"

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

}  // namespace

NameEncoding::NameEncoding(const std::string& codePage) : codePage_(codePage) {
  Converter toUtf8(kLocalNames, codePage);
  Converter fromUtf8(codePage, kLocalNames);
  if (codePage.empty() || !toUtf8.valid() || !fromUtf8.valid()) {
    throw UsageError(std::string("--name-encoding: ") + kConverterName + " knows no code page " + Quote(codePage));
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
    throw UsageError("--name-encoding: " + Quote(codePage) +
                     " is no code page of one- and two-byte characters that keeps ASCII as it is, as the ANSI "
                     "code pages of Windows are (cp1252, cp932, ...)");
  }
}

std::string NameEncoding::Convert(const std::string& name, const std::string& origin) const {
  if (!converts()) return name;
  Converter fromUtf8(codePage_, kLocalNames);
  Converter::Result result = fromUtf8.Run(name);
  if (result.error == 0) return std::move(result.text);
  const std::string_view rest = std::string_view(name).substr(result.done);
  const size_t length = Utf8CharacterLength(rest);
  const std::string problem =
      length == 0 ? "it is not UTF-8" : codePage_ + " has no character " + Quote(rest.substr(0, length));
  throw PackError("entry name " + Quote(name) + " (" + origin + ") cannot be converted to " + codePage_ + ": " +
                  problem);
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
