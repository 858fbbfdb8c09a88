// The entry-name rule: what an entry's stored name comes to below the work
// directory, or that the installer refuses it with "Invalid filename.". The
// stub's extraction writes the path it gives, and the packager's verify and
// extract judge names by it; the packager adds stricter rules on top.
//
// The path is the one Windows would write the name to, made here rather than
// left to Windows, so that every reader comes to the same path:
//
//   - the name ends at its first NUL byte, and may be 255 bytes long at most;
//   - "/" and "\" both separate; leading separators are skipped, as ZIP tools
//     skip them, except exactly two, which make a server or device path;
//   - empty and "." components are dropped, as Windows drops them;
//   - trailing dots and blanks of a component are dropped, as Windows drops
//     them from a name (so "a." and "a" are one file);
//   - refused: "..", a component of dots and blanks only, a drive or stream
//     (":"), a character that Windows forbids in names, a device name (CON,
//     NUL, COM1, ... whatever follows the stem), and a file name that comes
//     to nothing;
//   - a name that ends with a separator stands for a directory; one that
//     comes to nothing names the work directory itself.
#pragma once

#include <cstdint>

#include "base/buffer_sizes.h"
#include "fs/path.h"

namespace quillon {

constexpr int32_t kMaxEntryNameLength = 255;

enum class EntryNameKind : uint8_t {
  Invalid,
  File,
  Directory,
  WorkDirectory,  // a directory entry such as "./": nothing to make
};

struct EntryPath {
  EntryNameKind kind = EntryNameKind::Invalid;
  // Below the work directory: components joined by "\", none of them empty,
  // "." or ending in a dot or blank, and no separator at either end.
  PathText path;
};

// The rule on the length bytes of a name as stored in the package, read in
// the code page of isLead.
[[nodiscard]] EntryPath MakeEntryPath(const char* stored, int32_t length, LeadByteTest isLead);

// Parts of the rule, for messages that say why a name is refused.
// A control character, or one of : * ? " < > |.
[[nodiscard]] bool IsForbiddenInName(char c);
// A component whose stem (before its first ".", without trailing blanks) is
// a device's name.
[[nodiscard]] bool IsDeviceComponent(const char* component, int32_t length, LeadByteTest isLead);

}  // namespace quillon
