#include "commands/text_options.h"

#include <algorithm>
#include <vector>

#include "common/file_io.h"

namespace quillon::pack {

namespace {

std::string ReadText(const TextOption& option, const std::string& what) {
  if (option.text) return *option.text;
  if (!option.file) return {};
  const Bytes text = ReadWholeFile(*option.file, kMaxPackageSize, what + " file", Pipes::ReadToEnd);
  return {text.begin(), text.end()};
}

// "the title", "the title and the INF text", "the title, the INF text and ..."
std::string Listed(const std::vector<std::string>& names) {
  std::string listed;
  for (size_t i = 0; i < names.size(); ++i) {
    if (i > 0) listed += i + 1 == names.size() ? " and " : ", ";
    listed += names[i];
  }
  return listed;
}

// With --name-encoding the texts are meant to be in its code page already.
void WarnAboutRawTexts(const std::vector<std::pair<std::string, const Bytes*>>& texts, bool codePageNamed) {
  std::vector<std::string> nonAscii;
  std::vector<std::string> bareLineFeeds;
  for (const auto& [what, text] : texts) {
    if (std::any_of(text->begin(), text->end(), [](uint8_t byte) { return byte >= 0x80; })) nonAscii.push_back(what);
    for (size_t i = 0; i < text->size(); ++i) {
      if ((*text)[i] == '\n' && (i == 0 || (*text)[i - 1] != '\r')) {
        bareLineFeeds.push_back(what);
        break;
      }
    }
  }
  if (!nonAscii.empty() && !codePageNamed) {
    Warn(Listed(nonAscii) + (nonAscii.size() == 1 ? " has" : " have") +
         " bytes outside ASCII, which Windows reads in the ANSI code page of the user's " +
         "machine: name that with --code-page (e.g. --code-page 1252) to convert the texts from UTF-8");
  }
  if (!bareLineFeeds.empty()) {
    Warn(Listed(bareLineFeeds) + (bareLineFeeds.size() == 1 ? " has" : " have") +
         " line feeds without a carriage return, which the text boxes of Windows " +
         "need: write CR LF, or give --code-page, which converts them");
  }
}

}  // namespace

PackageTexts LoadTexts(const Options& options, const NameEncoding& encoding) {
  struct Text {
    const TextOption& option;
    const char* what;
    Bytes& into;
  };
  PackageTexts texts;
  const Text all[] = {
      {options.title, "title", texts.title},
      {options.inf, "INF text", texts.inf},
      {options.licenceInfo, "licence information", texts.licenceInfo},
      {options.info, "information text", texts.info},
      {options.licence, "licence text", texts.licence},
  };
  std::vector<std::pair<std::string, const Bytes*>> raw;
  for (const Text& text : all) {
    std::string read = ReadText(text.option, text.what);
    if (options.codePage.convertsTexts) read = encoding.ConvertText(read, std::string("the ") + text.what, true);
    text.into.assign(read.begin(), read.end());
    raw.emplace_back(std::string("the ") + text.what, &text.into);
  }
  if (!options.codePage.convertsTexts) WarnAboutRawTexts(raw, options.codePage.codePage.has_value());
  CheckPackageTexts(texts);
  return texts;
}

std::optional<std::string> LoadPackagePassword(const PasswordOption& password, const CodePageOption& codePage,
                                               const NameEncoding& encoding, bool confirm) {
  if (!password.given()) return std::nullopt;
  if (codePage.convertsTexts) return LoadPassword(password, confirm, &encoding);
  std::string loaded = LoadPassword(password, confirm, nullptr);
  WarnAboutPassword(loaded);
  return loaded;
}

}  // namespace quillon::pack
