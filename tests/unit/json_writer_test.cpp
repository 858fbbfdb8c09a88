// The packager's JSON writer: the layout of nested values, and strings that
// any JSON reader takes back as they were, whatever bytes they held.
#include "pack/support/json_writer.h"

#include <gtest/gtest.h>

#include <string>

namespace quillon::pack {
namespace {

std::string Written(std::string_view text) {
  JsonWriter json;
  json.BeginArray();
  json.String(text);
  json.EndArray();
  const std::string& document = json.text();
  return document.substr(4, document.size() - 7);  // "[\n  " ... "\n]\n"
}

TEST(JsonWriterTest, Strings) {
  const struct {
    std::string_view text;
    bool utf8;
    std::string_view written;
  } cases[] = {
      {"plain", true, R"("plain")"},
      {"a\"b\\c/d", true, R"("a\"b\\c/d")"},
      {"\n\r\t", true, R"("\n\r\t")"},
      {std::string_view("\x00\x01\x1f\x7f", 4), true, R"("\u0000\u0001\u001f\u007f")"},
      {"caf\xc3\xa9 \xe3\x82\xbd \xf0\x9f\x98\x80", true, "\"caf\xc3\xa9 \xe3\x82\xbd \xf0\x9f\x98\x80\""},
      // Bytes that are no UTF-8: each becomes U+FFFD.
      {"caf\xe9", false, "\"caf\xef\xbf\xbd\""},
      {"\x83\x5c", false, "\"\xef\xbf\xbd\\\\\""},                          // cp932 with a backslash as its second byte
      {"\xc0\xaf", false, "\"\xef\xbf\xbd\xef\xbf\xbd\""},                  // an overlong '/'
      {"\xed\xa0\x80", false, "\"\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd\""},  // a surrogate
      {"\xf4\x90\x80\x80", false, "\"\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd\""},  // above U+10FFFF
      {"\xe3\x82", false, "\"\xef\xbf\xbd\xef\xbf\xbd\""},                                  // cut short
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Written(c.text), c.written) << c.text;
    EXPECT_EQ(IsUtf8(c.text), c.utf8) << c.text;
  }
}

TEST(JsonWriterTest, NestedValues) {
  JsonWriter json;
  json.BeginObject();
  json.Key("a");
  json.Integer(-1);
  json.Key("b");
  json.BeginArray();
  json.Bool(true);
  json.Null();
  json.BeginObject();
  json.EndObject();
  json.EndArray();
  json.Key("c");
  json.BeginArray();
  json.EndArray();
  json.Key("d\"");
  json.Integer(4294967295);
  json.EndObject();
  EXPECT_EQ(
      json.text(),
      "{\n  \"a\": -1,\n  \"b\": [\n    true,\n    null,\n    {}\n  ],\n  \"c\": [],\n  \"d\\\"\": 4294967295\n}\n");
}

}  // namespace
}  // namespace quillon::pack
