// Path texts: NUL-terminated ANSI byte strings with "\" as the separator, and
// "/" and ":" where a routine says so. Routines that work in place take the
// buffer's capacity and never write beyond it.
//
// In a double-byte code page (932, 936, 949, 950) the second byte of a
// character can be "\" or "|": every routine that looks for a separator or a
// forbidden character walks the text character by character, with the lead
// bytes of the code page the text is in.
#pragma once

#include <cstdint>

#include "base/buffer_sizes.h"

namespace quillon {

// Whether a byte starts a double-byte character. A lead byte right before
// the terminating NUL stands alone: no scan reads past the NUL.
using LeadByteTest = bool (*)(uint8_t byte);

// The test of a single-byte code page.
[[nodiscard]] bool NoLeadBytes(uint8_t byte);

// The number of bytes of the character at p: 2 for a lead byte that has a
// byte after it, else 1. Lead bytes are never ASCII, so a scan for an ASCII
// character looks at the first byte of each character only.
[[nodiscard]] int32_t CharacterLength(const char* p, LeadByteTest isLead);

[[nodiscard]] int32_t TextLength(const char* text);

// Whether the last character is "\".
[[nodiscard]] bool EndsWithBackslash(const char* text, LeadByteTest isLead);
// Appends "\" when the last character is not one. An empty text stays empty;
// false when there is no room for the backslash.
bool AppendBackslash(char* text, int32_t capacity, LeadByteTest isLead);
// Removes one trailing "\".
void StripBackslash(char* text, LeadByteTest isLead);
// Turns every "/" into "\".
void ToBackslashes(char* text, LeadByteTest isLead);

// The bytes of buffer[0..length), cut before the first NUL.
[[nodiscard]] PathText TextFromBuffer(const char* buffer, int32_t length);

// The directory part of a path: C:\dir\file gives C:\dir, C:\file gives C:\,
// C:file gives C:, a three-byte text with a colon is returned as it is, and
// a path without a separator gives an empty text.
[[nodiscard]] PathText DirectoryPart(const char* path, LeadByteTest isLead);
// The part after the last "\", "/" or ":", at most 255 bytes, cut before a
// character that would not fit whole.
[[nodiscard]] PathText NamePart(const char* path, LeadByteTest isLead);

// Whether the stem of a path component (the part before its first ".", without
// trailing blanks) names a device: CON, PRN, AUX, NUL, COM1..COM9 or
// LPT1..LPT9, in any case. Windows opens the device whatever extension
// follows, so such a name never reaches a file in the work directory.
[[nodiscard]] bool IsDeviceStem(const char* stem, int32_t length);

}  // namespace quillon
