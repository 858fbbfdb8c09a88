// The fields that list --json and verify --json write: byte strings of the
// package, entries and DOS times (docs/packager.md, "JSON output").
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "common/name_encoding.h"
#include "package/entry_stream.h"
#include "support/json_writer.h"

namespace quillon::pack {

// A name or text of the package under key: in UTF-8, read in the code page
// when one is given (else taken as UTF-8). When that does not show its bytes
// exactly, what cannot be read becomes U+FFFD and key + "_bytes" follows
// with the bytes in hexadecimal.
void PutPackageText(JsonWriter& json, std::string_view key, const std::string& bytes, const NameEncoding& encoding);

// A DOS date and time as ISO 8601 without a zone ("2024-05-01T12:30:00"): the
// local time of the machine that packed it, or UTC, as stored.
[[nodiscard]] std::string IsoDosTime(uint16_t date, uint16_t time);

// The method's name: "stored", "deflated", or "method N".
[[nodiscard]] std::string MethodName(uint16_t method);

// The members of an entry's object (the caller opens and closes it).
void PutEntryFields(JsonWriter& json, const EntryHeader& header, const std::string& name, int32_t offset,
                    const NameEncoding& encoding);

}  // namespace quillon::pack
