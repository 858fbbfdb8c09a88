#include "fs/path.h"

#include <cstring>

namespace quillon {
namespace {

constexpr int32_t kMaxNamePart = 255;

bool IsSeparator(char c) {
  return c == '\\' || c == '/';
}

// Where the last character of text starts; 0 for an empty text.
int32_t LastCharacterAt(const char* text, LeadByteTest isLead) {
  int32_t last = 0;
  for (int32_t i = 0; text[i] != '\0'; i += CharacterLength(text + i, isLead)) last = i;
  return last;
}

bool ContainsColon(const char* text, LeadByteTest isLead) {
  for (; *text != '\0'; text += CharacterLength(text, isLead)) {
    if (*text == ':') return true;
  }
  return false;
}

// 1-based position of the last "\", "/" or ":", 0 when there is none.
int32_t LastSeparatorPosition(const char* path, LeadByteTest isLead) {
  int32_t position = 0;
  for (int32_t i = 0; path[i] != '\0'; i += CharacterLength(path + i, isLead)) {
    if (IsSeparator(path[i]) || path[i] == ':') position = i + 1;
  }
  return position;
}

char Upper(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

}  // namespace

bool IsDeviceStem(const char* stem, int32_t length) {
  char upper[5] = {};
  if (length < 3 || length > 4) return false;
  for (int32_t i = 0; i < length; ++i) upper[i] = Upper(stem[i]);
  if (length == 3) {
    return std::memcmp(upper, "CON", 3) == 0 || std::memcmp(upper, "PRN", 3) == 0 ||
           std::memcmp(upper, "AUX", 3) == 0 || std::memcmp(upper, "NUL", 3) == 0;
  }
  return (std::memcmp(upper, "COM", 3) == 0 || std::memcmp(upper, "LPT", 3) == 0) && upper[3] >= '1' && upper[3] <= '9';
}

bool NoLeadBytes(uint8_t /*byte*/) {
  return false;
}

int32_t CharacterLength(const char* p, LeadByteTest isLead) {
  return isLead(static_cast<uint8_t>(*p)) && p[1] != '\0' ? 2 : 1;
}

int32_t TextLength(const char* text) {
  int32_t length = 0;
  while (text[length] != '\0') ++length;
  return length;
}

bool EndsWithBackslash(const char* text, LeadByteTest isLead) {
  return text[LastCharacterAt(text, isLead)] == '\\';
}

bool AppendBackslash(char* text, int32_t capacity, LeadByteTest isLead) {
  const int32_t length = TextLength(text);
  if (length == 0 || EndsWithBackslash(text, isLead)) return true;
  if (length + 2 > capacity) return false;
  text[length] = '\\';
  text[length + 1] = '\0';
  return true;
}

void StripBackslash(char* text, LeadByteTest isLead) {
  const int32_t last = LastCharacterAt(text, isLead);
  if (text[last] == '\\') text[last] = '\0';
}

void ToBackslashes(char* text, LeadByteTest isLead) {
  for (; *text != '\0'; text += CharacterLength(text, isLead)) {
    if (*text == '/') *text = '\\';
  }
}

PathText TextFromBuffer(const char* buffer, int32_t length) {
  int32_t used = 0;
  while (used < length && buffer[used] != '\0') ++used;
  PathText text;
  text.Append(buffer, used);
  return text;
}

PathText DirectoryPart(const char* path, LeadByteTest isLead) {
  const int32_t length = TextLength(path);
  PathText result;
  if (length == 3 && ContainsColon(path, isLead)) return PathText(path);
  int32_t i = LastSeparatorPosition(path, isLead);
  if (i == 0) return result;
  if (IsSeparator(path[i - 1]) && !(i == 3 && path[1] == ':')) --i;
  result.Append(path, i);
  return result;
}

PathText NamePart(const char* path, LeadByteTest isLead) {
  const char* name = path + LastSeparatorPosition(path, isLead);
  int32_t count = 0;
  while (name[count] != '\0') {
    const int32_t next = count + CharacterLength(name + count, isLead);
    if (next > kMaxNamePart) break;
    count = next;
  }
  PathText result;
  result.Append(name, count);
  return result;
}

}  // namespace quillon
