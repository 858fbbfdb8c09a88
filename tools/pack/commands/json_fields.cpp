#include "commands/json_fields.h"

#include <array>
#include <cstdio>
#include <optional>

#include "base/zip_format.h"

namespace quillon::pack {

void PutPackageText(JsonWriter& json, std::string_view key, const std::string& bytes, const NameEncoding& encoding) {
  const std::optional<std::string> text = encoding.ToUtf8(bytes);
  json.Key(key);
  if (text && IsUtf8(*text)) {
    json.String(*text);
    return;
  }
  // Read what can be read: with a code page its ASCII, else the UTF-8 in it.
  std::string shown;
  for (const char c : bytes) {
    shown += static_cast<unsigned char>(c) < 0x80 || !encoding.converts() ? std::string(1, c) : "\xEF\xBF\xBD";
  }
  json.String(shown);
  static constexpr char kHex[] = "0123456789abcdef";
  std::string hex;
  for (const char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    hex += kHex[byte >> 4];
    hex += kHex[byte & 0x0F];
  }
  json.Key(std::string(key) + "_bytes");
  json.String(hex);
}

std::string IsoDosTime(uint16_t date, uint16_t time) {
  std::array<char, 32> stamp{};
  (void)std::snprintf(stamp.data(), stamp.size(), "%04d-%02d-%02dT%02d:%02d:%02d", 1980 + (date >> 9),
                      (date >> 5) & 0x0F, date & 0x1F, time >> 11, (time >> 5) & 0x3F, (time & 0x1F) * 2);
  return stamp.data();
}

std::string MethodName(uint16_t method) {
  if (method == kMethodStored) return "stored";
  if (method == kMethodDeflated) return "deflated";
  return "method " + std::to_string(method);
}

void PutEntryFields(JsonWriter& json, const EntryHeader& header, const std::string& name, int32_t offset,
                    const NameEncoding& encoding) {
  PutPackageText(json, "name", name, encoding);
  json.Key("offset");
  json.Integer(offset);
  json.Key("size");
  json.Integer(header.uncompressedSize);
  json.Key("packed_size");
  json.Integer(static_cast<uint32_t>(header.compressedSize));
  json.Key("method");
  json.String(MethodName(header.method));
  json.Key("method_id");
  json.Integer(header.method);
  json.Key("crc32");
  json.Integer(header.crc32);
  json.Key("encrypted");
  json.Bool((header.flags & kFlagEncrypted) != 0);
  json.Key("flags");
  json.Integer(header.flags);
  json.Key("time");
  json.String(IsoDosTime(header.modDate, header.modTime));
}

}  // namespace quillon::pack
