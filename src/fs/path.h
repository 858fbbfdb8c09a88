// Path texts: NUL-terminated ANSI byte strings with "\" as the separator, and
// "/" and ":" where a routine says so. Routines that work in place take the
// buffer's capacity and never write beyond it.
#pragma once

#include <cstdint>

#include "fs/fixed_text.h"

namespace quillon {

constexpr int32_t kMaxPath = 260;  // the ANSI file functions' limit, NUL included
using PathText = FixedText<kMaxPath>;

[[nodiscard]] int32_t TextLength(const char* text);

// Appends "\" when the last character is not one. An empty text stays empty;
// false when there is no room for the backslash.
bool AppendBackslash(char* text, int32_t capacity);
// Removes one trailing "\".
void StripBackslash(char* text);
// Turns every "/" into "\".
void ToBackslashes(char* text);

// The bytes of buffer[0..length), cut before the first NUL.
[[nodiscard]] PathText TextFromBuffer(const char* buffer, int32_t length);

// The directory part of a path: C:\dir\file gives C:\dir, C:\file gives C:\,
// C:file gives C:, a three-character text with a colon is returned as it is,
// and a path without a separator gives an empty text.
[[nodiscard]] PathText DirectoryPart(const char* path);
// The part after the last "\", "/" or ":", at most 255 characters.
[[nodiscard]] PathText NamePart(const char* path);

// Whether an entry name from a package may be written below the work
// directory: not empty, relative, no drive, no ".." component, and none of the
// characters that Windows forbids in names. "/" and "\" both separate.
[[nodiscard]] bool IsSafeEntryName(const char* name);

// A name that ends with a separator stands for a directory.
[[nodiscard]] bool IsDirectoryName(const char* name);

}  // namespace quillon
