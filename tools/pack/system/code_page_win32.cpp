#include <windows.h>

#include <cerrno>
#include <cstdlib>
#include <string_view>

#include "system/code_page.h"

namespace quillon::pack {

namespace {

constexpr UINT kUnknown = 0xFFFFFFFF;

// A code page number by name: kLocalNames, "cp932", "windows-1252", "932",
// "utf-8", and the common names of the double-byte code pages.
UINT CodePageNumber(const std::string& name) {
  std::string lower;
  for (const char c : name) lower += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  if (name == kLocalNames) return GetACP();
  if (lower == "utf-8" || lower == "utf8") return CP_UTF8;
  if (lower == "shift_jis" || lower == "sjis") return 932;
  if (lower == "gbk" || lower == "gb2312") return 936;
  if (lower == "euc-kr" || lower == "uhc") return 949;
  if (lower == "big5") return 950;
  std::string_view digits = lower;
  for (const std::string_view prefix : {"windows-", "cp", "ibm"}) {
    if (digits.starts_with(prefix)) {
      digits.remove_prefix(prefix.size());
      break;
    }
  }
  if (digits.empty() || digits.size() > 5 || digits.find_first_not_of("0123456789") != std::string_view::npos) {
    return kUnknown;
  }
  const auto number = static_cast<UINT>(std::strtoul(std::string(digits).c_str(), nullptr, 10));
  CPINFO info{};
  return GetCPInfo(number, &info) != 0 ? number : kUnknown;
}

// The bytes of the character at text[0] in code page, or 0 when the text
// ends within it.
size_t CharacterBytes(UINT codePage, std::string_view text) {
  const auto first = static_cast<uint8_t>(text[0]);
  size_t length = 1;
  if (codePage == CP_UTF8) {
    length = first < 0xC0 ? 1 : first < 0xE0 ? 2 : first < 0xF0 ? 3 : 4;
  } else if (IsDBCSLeadByteEx(codePage, first) != 0) {
    length = 2;
  }
  return length <= text.size() ? length : 0;
}

}  // namespace

struct Converter::State {
  UINT to = kUnknown;
  UINT from = kUnknown;
};

Converter::Converter(const std::string& to, const std::string& from)
    : state_(std::make_unique<State>(State{CodePageNumber(to), CodePageNumber(from)})) {}

Converter::~Converter() = default;

bool Converter::valid() const {
  return state_->to != kUnknown && state_->from != kUnknown;
}

// Character by character, so that the result tells where it stopped.
Converter::Result Converter::Run(std::string_view input) {
  Result result;
  while (result.done < input.size()) {
    const std::string_view rest = input.substr(result.done);
    const size_t length = CharacterBytes(state_->from, rest);
    if (length == 0) {
      result.error = EINVAL;
      break;
    }
    wchar_t wide[2];
    const int wideLength =
        MultiByteToWideChar(state_->from, MB_ERR_INVALID_CHARS, rest.data(), static_cast<int>(length), wide, 2);
    char out[8];
    BOOL lossy = FALSE;
    const bool exact = state_->to == CP_UTF8 || state_->to == CP_UTF7;
    const int outLength = wideLength <= 0
                              ? 0
                              : WideCharToMultiByte(state_->to, exact ? 0 : WC_NO_BEST_FIT_CHARS, wide, wideLength, out,
                                                    sizeof out, nullptr, exact ? nullptr : &lossy);
    if (outLength <= 0 || lossy != FALSE) {
      result.error = EILSEQ;
      break;
    }
    result.text.append(out, static_cast<size_t>(outLength));
    result.done += length;
  }
  return result;
}

}  // namespace quillon::pack
