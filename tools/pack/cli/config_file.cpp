#include "cli/config_file.h"

#include <algorithm>
#include <cctype>
#include <string_view>

#include "common/file_io.h"

namespace quillon::pack {

namespace {

namespace fs = std::filesystem;

constexpr int64_t kMaxDescriptionSize = 1 << 20;

// Options whose value is a path, relative to the description file.
bool IsPathOption(const OptionSpec& option) {
  return option.kind == ValueKind::File || option.kind == ValueKind::Directory;
}

// The keys of [inputs]: the inputs themselves, and the options placed there.
bool IsInputKey(const std::string& key) {
  const OptionSpec* option = FindLongOption(key);
  return key == "input" || key == "path" || (option != nullptr && option->config == ConfigPlace::Inputs);
}

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

class Reader {
 public:
  explicit Reader(const fs::path& path) : path_(path), directory_(path.parent_path()) {}

  std::vector<Setting> Read() {
    const Bytes bytes = ReadWholeFile(path_, kMaxDescriptionSize, "description file");
    std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);  // a byte order mark from an editor
    while (!text.empty()) {
      ++line_;
      const size_t end = text.find('\n');
      std::string_view line = text.substr(0, end);
      text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
      if (line.ends_with('\r')) line.remove_suffix(1);
      ReadLine(Trimmed(line));
    }
    return std::move(settings_);
  }

 private:
  [[noreturn]] void Fail(const std::string& problem) const {
    throw UsageError(Printable(path_.string()) + ":" + std::to_string(line_) + ": " + problem);
  }

  void ReadLine(std::string_view line) {
    if (line.empty() || line.front() == ';' || line.front() == '#') return;
    if (line.front() == '[') {
      if (line == "[installer]" || line == "[inputs]") {
        section_ = std::string(line.substr(1, line.size() - 2));
        return;
      }
      Fail("unknown section " + Quote(line) + "; there are [installer] and [inputs]");
    }
    const size_t equals = line.find('=');
    if (equals == std::string_view::npos) Fail("want KEY = VALUE, not " + Quote(line));
    const std::string key(Trimmed(line.substr(0, equals)));
    const std::string value = Value(Trimmed(line.substr(equals + 1)));
    if (section_.empty()) Fail(Quote(key) + " stands before any section ([installer] or [inputs])");
    if (section_ == "inputs") {
      if (!IsInputKey(key)) Fail("[inputs] takes input, path, from-zip and base, not " + Quote(key));
      AddInput(key, value);
      return;
    }
    if (IsInputKey(key)) Fail(Quote(key) + " belongs in [inputs]");
    const OptionSpec* option = FindLongOption(key);
    if (option == nullptr || option->config != ConfigPlace::Installer) Fail("no option is called " + Quote(key));
    if (!option->value.empty()) {
      settings_.push_back({option, IsPathOption(*option) ? Resolved(value) : value});
    } else if (Switch(value)) {
      settings_.push_back({option, std::nullopt});
    } else if (option->id == OptionId::WaitForFinish || option->id == OptionId::NoWait) {
      const OptionId opposite = option->id == OptionId::NoWait ? OptionId::WaitForFinish : OptionId::NoWait;
      settings_.push_back({&Option(opposite), std::nullopt});
    }
  }

  void AddInput(const std::string& key, const std::string& value) {
    if (const OptionSpec* option = FindLongOption(key)) {
      const bool ends = option->id == OptionId::Base && value.empty();  // "base =" ends it
      settings_.push_back({option, ends ? value : Resolved(value)});
    } else if (const size_t equals = value.find('='); key == "path" || equals == std::string::npos) {
      // The resolved path may have '=' in a directory's name: no NAME= split.
      settings_.push_back({nullptr, Resolved(value), true});
    } else {
      settings_.push_back({nullptr, value.substr(0, equals + 1) + Resolved(value.substr(equals + 1))});
    }
  }

  std::string Resolved(const std::string& value) const {
    if (value.empty() || fs::path(value).is_absolute()) return value;
    return (directory_ / value).string();
  }

  bool Switch(const std::string& value) const {
    std::string lower = value;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (lower == "yes" || lower == "true" || lower == "on" || lower == "1") return true;
    if (lower == "no" || lower == "false" || lower == "off" || lower == "0") return false;
    Fail("a switch wants yes or no, not " + Quote(value));
  }

  // A value as it stands, or a quoted one with its escapes.
  std::string Value(std::string_view raw) const {
    if (!raw.starts_with('"')) return std::string(raw);
    std::string value;
    size_t i = 1;
    for (; i < raw.size() && raw[i] != '"'; ++i) {
      if (raw[i] != '\\') {
        value += raw[i];
        continue;
      }
      if (++i == raw.size()) break;
      switch (raw[i]) {
        case '\\':
        case '"':
          value += raw[i];
          break;
        case 'r':
          value += '\r';
          break;
        case 'n':
          value += '\n';
          break;
        case 't':
          value += '\t';
          break;
        case 'x': {
          const auto hex = [](char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; };
          if (i + 2 >= raw.size() || !hex(raw[i + 1]) || !hex(raw[i + 2])) Fail("\\x wants two hexadecimal digits");
          value += static_cast<char>(std::stoi(std::string(raw.substr(i + 1, 2)), nullptr, 16));
          i += 2;
          break;
        }
        default:
          Fail("unknown escape \\" + std::string(1, raw[i]) + " in a quoted value");
      }
    }
    if (i >= raw.size()) Fail("the quoted value has no closing '\"'");
    if (i + 1 != raw.size()) Fail("text after the closing '\"'");
    return value;
  }

  fs::path path_;
  fs::path directory_;
  std::vector<Setting> settings_;
  std::string section_;
  int line_ = 0;
};

}  // namespace

std::vector<Setting> ReadDescriptionFile(const fs::path& path) {
  return Reader(path).Read();
}

}  // namespace quillon::pack
