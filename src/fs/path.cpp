#include "fs/path.h"

#include <cstring>

namespace quillon {
namespace {

constexpr int32_t kMaxNamePart = 255;

bool IsSeparator(char c) {
  return c == '\\' || c == '/';
}

// 1-based position of the last "\", "/" or ":", 0 when there is none.
int32_t LastSeparatorPosition(const char* path, int32_t length) {
  for (int32_t i = length; i > 0; --i) {
    const char c = path[i - 1];
    if (IsSeparator(c) || c == ':') return i;
  }
  return 0;
}

bool IsForbiddenNameCharacter(char c) {
  const auto u = static_cast<unsigned char>(c);
  if (u < 0x20) return true;
  switch (c) {
    case ':':
    case '*':
    case '?':
    case '"':
    case '<':
    case '>':
    case '|':
      return true;
    default:
      return false;
  }
}

char Upper(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

// CON, PRN, AUX, NUL, COM1..COM9, LPT1..LPT9, with or without an extension:
// opening such a name reaches a device, not a file in the work directory.
bool IsDeviceName(const char* component, int32_t length) {
  int32_t stem = 0;
  while (stem < length && component[stem] != '.') ++stem;
  while (stem > 0 && component[stem - 1] == ' ') --stem;
  char upper[5] = {};
  if (stem < 3 || stem > 4) return false;
  for (int32_t i = 0; i < stem; ++i) upper[i] = Upper(component[i]);
  if (stem == 3) {
    return std::memcmp(upper, "CON", 3) == 0 || std::memcmp(upper, "PRN", 3) == 0 ||
           std::memcmp(upper, "AUX", 3) == 0 || memcmp(upper, "NUL", 3) == 0;
  }
  return (std::memcmp(upper, "COM", 3) == 0 || std::memcmp(upper, "LPT", 3) == 0) && upper[3] >= '1' && upper[3] <= '9';
}

}  // namespace

int32_t TextLength(const char* text) {
  int32_t length = 0;
  while (text[length] != '\0') ++length;
  return length;
}

bool AppendBackslash(char* text, int32_t capacity) {
  const int32_t length = TextLength(text);
  if (length == 0 || text[length - 1] == '\\') return true;
  if (length + 2 > capacity) return false;
  text[length] = '\\';
  text[length + 1] = '\0';
  return true;
}

void StripBackslash(char* text) {
  const int32_t length = TextLength(text);
  if (length > 0 && text[length - 1] == '\\') text[length - 1] = '\0';
}

void ToBackslashes(char* text) {
  for (; *text != '\0'; ++text) {
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

PathText DirectoryPart(const char* path) {
  const int32_t length = TextLength(path);
  PathText result;
  if (length == 3 && (path[0] == ':' || path[1] == ':' || path[2] == ':')) return PathText(path);
  int32_t i = LastSeparatorPosition(path, length);
  if (i == 0) return result;
  if (IsSeparator(path[i - 1]) && !(i == 3 && path[1] == ':')) --i;
  result.Append(path, i);
  return result;
}

PathText NamePart(const char* path) {
  const int32_t length = TextLength(path);
  const int32_t start = LastSeparatorPosition(path, length);
  const int32_t count = length - start < kMaxNamePart ? length - start : kMaxNamePart;
  PathText result;
  result.Append(path + start, count);
  return result;
}

bool IsSafeEntryName(const char* name) {
  if (name[0] == '\0' || IsSeparator(name[0])) return false;
  const char* component = name;
  for (const char* p = name;; ++p) {
    if (*p == '\0' || IsSeparator(*p)) {
      const auto length = static_cast<int32_t>(p - component);
      if (length == 2 && component[0] == '.' && component[1] == '.') return false;
      if (IsDeviceName(component, length)) return false;
      if (*p == '\0') return true;
      component = p + 1;
    } else if (IsForbiddenNameCharacter(*p)) {
      return false;  // ":" also rules out drive letters and streams
    }
  }
}

bool IsDirectoryName(const char* name) {
  const int32_t length = TextLength(name);
  return length > 0 && IsSeparator(name[length - 1]);
}

}  // namespace quillon
