// Entry names and texts in the ANSI code page of the machines an installer is
// made for (--code-page, --name-encoding): names of files and texts (UTF-8;
// on Windows in the ANSI code page of this machine) are converted with iconv
// (on Windows by Windows), and every name is read character by character in
// that code page, where the second byte of a double-byte character may be
// "\" or "|".
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "fs/path.h"

namespace quillon::pack {

class NameEncoding {
 public:
  // Names are taken as the bytes they are, one byte a character.
  NameEncoding() = default;
  // Throws UsageError for a code page that the converter does not know, or that is
  // not made of one- and two-byte characters with ASCII as it is (UTF-8 and
  // UTF-16, say, are not: Windows has no such ANSI code page).
  explicit NameEncoding(const std::string& codePage);

  [[nodiscard]] bool converts() const { return !codePage_.empty(); }
  [[nodiscard]] const std::string& codePage() const { return codePage_; }

  // The UTF-8 name in the code page; without a code page the name as it is.
  // Throws PackError, naming the name and origin, when the name is no UTF-8
  // or has a character that the code page lacks.
  [[nodiscard]] std::string Convert(const std::string& name, const std::string& origin) const;
  // A text of the package (`what`: "the title", "the password") in the code
  // page: from UTF-8 (or, on Windows, the ANSI code page of this machine,
  // unless it starts with a UTF-8 byte order mark, which is dropped). With
  // lineEnds, a line feed without a carriage return before it gets one, as
  // the text boxes of Windows need. Throws PackError, naming the text, the
  // line and the character, for what the code page cannot hold.
  [[nodiscard]] std::string ConvertText(const std::string& text, const std::string& what, bool lineEnds) const;
  // A name in the code page back in UTF-8, for messages; as it is when it
  // does not convert.
  [[nodiscard]] std::string Shown(const std::string& name) const;
  // A name in the code page in UTF-8; nullopt when the code page has no
  // such bytes. Without a code page the name as it is.
  [[nodiscard]] std::optional<std::string> ToUtf8(const std::string& name) const;

  [[nodiscard]] bool IsLeadByte(uint8_t byte) const { return lead_[byte]; }

  // The lead-byte test that the installer's name routines take, a plain
  // function: it answers for this encoding until LeadTest is next called on
  // this thread (the packager reads names in one code page at a time).
  [[nodiscard]] LeadByteTest LeadTest() const;

  // The number of bytes of the character at text[i]: 2 for a lead byte that
  // has a byte after it, else 1.
  [[nodiscard]] size_t CharacterLength(std::string_view text, size_t i) const {
    return lead_[static_cast<uint8_t>(text[i])] && i + 1 < text.size() ? 2 : 1;
  }

 private:
  [[nodiscard]] std::string Problem(std::string_view rest) const;

  std::string codePage_;
  std::array<bool, 256> lead_{};
};

}  // namespace quillon::pack
