#include "building/package_writer.h"

#include <algorithm>
#include <charconv>

#include "base/little_endian.h"

namespace quillon::pack {

namespace {

void CheckTextLength(const Bytes& text, size_t limit, const char* what) {
  if (text.size() > limit) {
    throw PackError(std::string(what) + " is " + std::to_string(text.size()) + " bytes long; at most " +
                    std::to_string(limit) + " are allowed");
  }
}

Bytes Scrambled(Bytes text) {
  // The scrambler is its own inverse.
  DescrambleText(text.data(), static_cast<int32_t>(text.size()));
  return text;
}

}  // namespace

void CheckPackageTexts(const PackageTexts& texts) {
  CheckTextLength(texts.title, kMaxShortText, "the title");
  CheckTextLength(texts.inf, kMaxShortText, "the INF text");
  CheckTextLength(texts.licenceInfo, kMaxShortText, "the licence information");
  CheckTextLength(texts.info, static_cast<size_t>(kMaxPackageSize), "the information text");
  CheckTextLength(texts.licence, static_cast<size_t>(kMaxPackageSize), "the licence text");
}

const std::vector<HeaderFieldInfo>& HeaderFields() {
  static const std::vector<HeaderFieldInfo> fields = [] {
    std::vector<HeaderFieldInfo> all;
    for (const HeaderFieldPlace& field : kHeaderFields) {
      all.push_back({field.name, static_cast<size_t>(field.offset), static_cast<size_t>(field.size)});
    }
    return all;
  }();
  return fields;
}

HeaderOverride ParseHeaderOverride(const std::string& text) {
  const size_t equals = text.find('=');
  if (equals == std::string::npos) throw UsageError("--header-field wants NAME=VALUE, not " + Quote(text));
  HeaderOverride result;
  result.field = text.substr(0, equals);
  const std::string value = text.substr(equals + 1);
  const auto& fields = HeaderFields();
  const auto field = std::find_if(fields.begin(), fields.end(),
                                  [&](const HeaderFieldInfo& info) { return result.field == info.name; });
  if (field == fields.end()) throw UsageError("--header-field: no header field is called " + Quote(result.field));
  if (field->size == 3) {
    if (value.size() != 3) throw UsageError("--header-field magic wants exactly three characters");
    result.magic = value;
    return result;
  }
  // Decimal, or hexadecimal after 0x; a minus sign for the 32-bit fields.
  const bool negative = value.starts_with('-');
  std::string_view digits(value);
  if (negative) digits.remove_prefix(1);
  int base = 10;
  if (digits.starts_with("0x") || digits.starts_with("0X")) {
    digits.remove_prefix(2);
    base = 16;
  }
  uint64_t magnitude = 0;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), magnitude, base);
  if (digits.empty() || error != std::errc() || end != digits.data() + digits.size()) {
    throw UsageError("--header-field " + result.field + ": " + Quote(value) + " is not a number");
  }
  const int64_t lowest = field->size == 1 ? 0 : INT32_MIN;
  const int64_t highest = field->size == 1 ? 0xFF : int64_t{UINT32_MAX};
  if (magnitude > uint64_t{UINT32_MAX} + 1) {
    throw UsageError("--header-field " + result.field + ": " + value + " is out of range");
  }
  result.value = negative ? -static_cast<int64_t>(magnitude) : static_cast<int64_t>(magnitude);
  if (result.value < lowest || result.value > highest) {
    throw UsageError("--header-field " + result.field + ": " + value + " is out of range " + std::to_string(lowest) +
                     ".." + std::to_string(highest));
  }
  return result;
}

PackageWriter::PackageWriter(OutputFile& output, const Bytes& stub, const PackageTexts& texts, PackageFlags flags,
                             std::vector<HeaderOverride> overrides)
    : output_(output), overrides_(std::move(overrides)) {
  if (stub.size() > static_cast<size_t>(kPackageOffset)) {
    throw PackError("the stub is " + std::to_string(stub.size()) + " bytes long; the package starts at offset " +
                    std::to_string(kPackageOffset) + ", so the stub must not be longer");
  }
  CheckPackageTexts(texts);

  header_.waitForFinish = flags.waitForFinish;
  header_.adminRequired = flags.adminRequired;
  header_.hideInfoButton = flags.hideInfoButton;
  header_.titleLength = static_cast<uint8_t>(texts.title.size());
  header_.infLength = static_cast<uint8_t>(texts.inf.size());
  header_.licenceInfoLength = static_cast<uint8_t>(texts.licenceInfo.size());
  header_.infoLength = static_cast<int32_t>(texts.info.size());
  header_.licenceLength = static_cast<int32_t>(texts.licence.size());

  CheckSize(int64_t{kPackageOffset} + kPackageHeaderSize + static_cast<int64_t>(texts.title.size()) +
            static_cast<int64_t>(texts.inf.size() + texts.licenceInfo.size()) +
            static_cast<int64_t>(texts.info.size()) + static_cast<int64_t>(texts.licence.size()));

  Bytes start = stub;
  start.resize(static_cast<size_t>(kPackageOffset), 0);
  start.resize(start.size() + kPackageHeaderSize, 0);  // the header is written by Finish
  output_.Write(start);
  output_.Write(texts.title);
  output_.Write(texts.inf);
  output_.Write(Scrambled(texts.licenceInfo));
  output_.Write(Scrambled(texts.info));
  output_.Write(Scrambled(texts.licence));
}

void PackageWriter::CheckSize(int64_t size) const {
  if (size > kMaxPackageSize) {
    throw PackError("the installer would be larger than " + std::to_string(kMaxPackageSize) +
                    " bytes, more than it can read");
  }
}

void PackageWriter::Add(PackEntry entry) {
  if (encryptor_ != nullptr) encryptor_->Protect(entry);
  CheckSize(output_.size() + static_cast<int64_t>(entry.local.size()));
  Bytes central = std::move(entry.central);
  StoreLittle32(central.data() + kCentralOffsetField, static_cast<uint32_t>(output_.size()));
  output_.Write(entry.local);
  central_.push_back(std::move(central));
}

void PackageWriter::Finish(const PackageEnd& packageEnd) {
  Bytes end;
  if (packageEnd.ending == Ending::Trailer) {
    end.assign(kTrailer.begin(), kTrailer.end());
  } else {
    if (central_.size() > kMaxEntriesInDirectory) {
      throw PackError(std::to_string(central_.size()) + " entries do not fit in a ZIP central directory (at most " +
                      std::to_string(kMaxEntriesInDirectory) + "); use --trailer");
    }
    const auto directoryOffset = static_cast<uint32_t>(output_.size());
    for (const Bytes& header : central_) PutBytes(end, header.data(), header.size());
    const auto directorySize = static_cast<uint32_t>(end.size());
    const auto count = static_cast<uint16_t>(central_.size());
    // One disk, the one the directory is on; no comment of its own.
    uint8_t record[kEndRecordSize] = {};
    StoreLittle32(record, kEndRecordSignature);
    StoreLittle16(record + kEndRecordEntriesHereField, count);
    StoreLittle16(record + kEndRecordEntriesField, count);
    StoreLittle32(record + kEndRecordDirectorySizeField, directorySize);
    StoreLittle32(record + kEndRecordDirectoryOffsetField, directoryOffset);
    // The comment's bytes are those that signing appends.
    const int64_t unsignedSize = output_.size() + static_cast<int64_t>(end.size()) + kEndRecordSize;
    const int64_t reach = packageEnd.signReserve == 0 ? 0 : SigningPadding(unsignedSize) + packageEnd.signReserve;
    CheckSize(unsignedSize + reach);  // the signed installer must still be readable
    StoreLittle16(record + kEndRecordCommentLengthField, static_cast<uint16_t>(reach));
    PutBytes(end, record, sizeof record);
  }
  const int64_t total = output_.size() + static_cast<int64_t>(end.size());
  CheckSize(total);
  output_.Write(end);

  header_.totalSize = static_cast<int32_t>(total);
  header_.multiPart = packageEnd.partSize > 0 && total > packageEnd.partSize;
  uint8_t header[kPackageHeaderSize];
  FormatPackageHeader(header_, header);
  for (const HeaderOverride& forced : overrides_) {
    const auto& fields = HeaderFields();
    const auto field = std::find_if(fields.begin(), fields.end(),
                                    [&](const HeaderFieldInfo& info) { return forced.field == info.name; });
    if (field->size == 3) {
      std::copy(forced.magic.begin(), forced.magic.end(), header + field->offset);
    } else if (field->size == 1) {
      header[field->offset] = static_cast<uint8_t>(forced.value);
    } else {
      StoreLittle32(header + field->offset, static_cast<uint32_t>(forced.value));
    }
  }
  output_.WriteAt(kPackageOffset, header, sizeof header);
}

}  // namespace quillon::pack
