// Building the driver's output: one JSON object per line.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace quillon::guidriver {

std::string Utf8(std::wstring_view text);
std::wstring Wide(std::string_view utf8);

// The text as a quoted JSON string.
std::string JsonString(std::string_view utf8);
std::string JsonArray(const std::vector<std::string>& items);

// Collects the members of one JSON object in the order they are added.
class Json {
 public:
  Json& Str(std::string_view key, std::wstring_view value);
  Json& Str(std::string_view key, std::string_view value);
  Json& Num(std::string_view key, long long value);
  Json& Bool(std::string_view key, bool value);
  Json& Null(std::string_view key);
  // Adds an already encoded JSON value.
  Json& Raw(std::string_view key, std::string_view json);
  std::string Text() const { return body_ + "}"; }

 private:
  void Key(std::string_view key);
  std::string body_ = "{";
};

}  // namespace quillon::guidriver
