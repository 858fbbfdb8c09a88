#include "package/package_header.h"

#include "base/little_endian.h"

namespace quillon {

bool HasPackageMagic(const uint8_t header[kPackageHeaderSize]) {
  for (int32_t i = 0; i < static_cast<int32_t>(sizeof kPackageMagic); ++i) {
    if (header[i] != kPackageMagic[i]) return false;
  }
  return true;
}

PackageHeader ParsePackageHeader(const uint8_t header[kPackageHeaderSize]) {
  const auto byte = [&](HeaderField field) { return header[FieldOffset(field)]; };
  const auto number = [&](HeaderField field) {
    return static_cast<int32_t>(LoadLittle32(header + FieldOffset(field)));
  };
  PackageHeader parsed;
  parsed.waitForFinish = byte(HeaderField::WaitForFinish) != 0;
  parsed.titleLength = byte(HeaderField::TitleLength);
  parsed.infLength = byte(HeaderField::InfLength);
  parsed.adminRequired = byte(HeaderField::AdminRequired) != 0;
  parsed.licenceInfoLength = byte(HeaderField::LicenceInfoLength);
  parsed.infoLength = number(HeaderField::InfoLength);
  parsed.licenceLength = number(HeaderField::LicenceLength);
  parsed.hideInfoButton = byte(HeaderField::HideInfoButton) != 0;
  parsed.multiPart = byte(HeaderField::MultiPart) != 0;
  parsed.totalSize = number(HeaderField::TotalSize);
  return parsed;
}

void FormatPackageHeader(const PackageHeader& header, uint8_t out[kPackageHeaderSize]) {
  const auto flag = [&](HeaderField field, bool set) { out[FieldOffset(field)] = set ? 1 : 0; };
  const auto number = [&](HeaderField field, int32_t value) {
    StoreLittle32(out + FieldOffset(field), static_cast<uint32_t>(value));
  };
  for (int32_t i = 0; i < static_cast<int32_t>(sizeof kPackageMagic); ++i) out[i] = kPackageMagic[i];
  flag(HeaderField::WaitForFinish, header.waitForFinish);
  out[FieldOffset(HeaderField::TitleLength)] = header.titleLength;
  out[FieldOffset(HeaderField::InfLength)] = header.infLength;
  flag(HeaderField::AdminRequired, header.adminRequired);
  out[FieldOffset(HeaderField::LicenceInfoLength)] = header.licenceInfoLength;
  number(HeaderField::InfoLength, header.infoLength);
  number(HeaderField::LicenceLength, header.licenceLength);
  flag(HeaderField::HideInfoButton, header.hideInfoButton);
  flag(HeaderField::MultiPart, header.multiPart);
  number(HeaderField::TotalSize, header.totalSize);
}

int32_t ComputeDataStart(const PackageHeader& header) {
  const auto positive = [](int32_t length) { return length > 0 ? static_cast<int64_t>(length) : 0; };
  const int64_t start = int64_t{kPackageOffset} + kPackageHeaderSize + header.titleLength + header.infLength +
                        header.licenceInfoLength + positive(header.infoLength) + positive(header.licenceLength);
  return start > INT32_MAX ? -1 : static_cast<int32_t>(start);
}

}  // namespace quillon
