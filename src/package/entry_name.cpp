#include "package/entry_name.h"

namespace quillon {
namespace {

bool IsSeparator(char c) {
  return c == '\\' || c == '/';
}

// Exactly two separators in front of a name make a server or device path on
// Windows (\\server\share, \\.\COM1).
bool NamesAServer(const char* name) {
  return IsSeparator(name[0]) && IsSeparator(name[1]) && name[2] != '\0' && !IsSeparator(name[2]);
}

// Adds one component, without its trailing dots and blanks, to path. False
// when the component cannot be part of a name below the work directory.
bool AddComponent(PathText& path, const char* component, int32_t length, int32_t kept, LeadByteTest isLead) {
  if (length == 2 && component[0] == '.' && component[1] == '.') return false;
  if (kept == 0) return length == 0 || (length == 1 && component[0] == '.');
  if (IsDeviceComponent(component, kept, isLead)) return false;
  if (!path.empty()) path.Append('\\');
  path.Append(component, kept);
  return true;
}

}  // namespace

bool IsForbiddenInName(char c) {
  if (static_cast<unsigned char>(c) < 0x20) return true;
  switch (c) {
    case ':':  // also rules out drive letters and streams
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

// Windows opens the device whatever extension follows the stem, and blanks
// before the "." do not count.
bool IsDeviceComponent(const char* component, int32_t length, LeadByteTest isLead) {
  int32_t stem = 0;
  while (stem < length && component[stem] != '.') stem += CharacterLength(component + stem, isLead);
  while (stem > 0 && component[stem - 1] == ' ') --stem;
  return IsDeviceStem(component, stem);
}

EntryPath MakeEntryPath(const char* stored, int32_t length, LeadByteTest isLead) {
  EntryPath result;
  if (length > kMaxEntryNameLength) return result;
  const PathText text = TextFromBuffer(stored, length);
  const char* name = text.c_str();
  if (NamesAServer(name)) return result;
  while (IsSeparator(*name)) ++name;
  if (*name == '\0') return result;

  const char* component = name;
  int32_t kept = 0;  // bytes of the component up to its last character that is no dot or blank
  bool directory = false;
  for (const char* p = name;; p += CharacterLength(p, isLead)) {
    if (*p == '\0' || IsSeparator(*p)) {
      if (!AddComponent(result.path, component, static_cast<int32_t>(p - component), kept, isLead)) return result;
      if (*p == '\0') break;
      directory = p[1] == '\0';
      component = p + 1;
      kept = 0;
    } else if (IsForbiddenInName(*p)) {
      return result;
    } else if (*p != '.' && *p != ' ') {
      kept = static_cast<int32_t>(p - component) + CharacterLength(p, isLead);
    }
  }
  if (result.path.empty()) {
    result.kind = directory ? EntryNameKind::WorkDirectory : EntryNameKind::Invalid;
  } else {
    result.kind = directory ? EntryNameKind::Directory : EntryNameKind::File;
  }
  return result;
}

}  // namespace quillon
