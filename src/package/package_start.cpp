#include "package/package_start.h"

#include "package/package_header.h"
#include "package/package_integrity.h"

namespace quillon {

int32_t StoredTextLength(const PackageHeader& header, PackageText text) {
  switch (text) {
    case PackageText::Title:
      return header.titleLength;
    case PackageText::Inf:
      return header.infLength;
    case PackageText::LicenceInfo:
      return header.licenceInfoLength;
    case PackageText::Info:
      return header.infoLength;
    default:
      return header.licenceLength;
  }
}

bool HasText(const PackageHeader& header, PackageText text) {
  return text < PackageText::Info || StoredTextLength(header, text) > 0;
}

bool PackageStart::TextsWhole() const {
  for (int32_t i = 0; i < kPackageTextCount; ++i) {
    const auto text = static_cast<PackageText>(i);
    if (HasText(header, text) && arrived[i] < StoredTextLength(header, text)) return false;
  }
  return true;
}

PackageStart ReadPackageStart(PackageSource& package, PackageStartHost& host) {
  PackageStart start;
  uint8_t raw[kPackageHeaderSize] = {};
  if (package.Seek(kPackageOffset, SeekMethod::FromStart) != kPackageOffset ||
      ReadFully(package, raw, kPackageHeaderSize) < static_cast<int32_t>(sizeof kPackageMagic) ||
      !HasPackageMagic(raw)) {
    return start;
  }
  start.header = ParsePackageHeader(raw);
  start.status = PackageStartStatus::Stopped;
  if (!host.GoOn(start.header)) return start;

  for (int32_t i = 0; i < kPackageTextCount; ++i) {
    const auto text = static_cast<PackageText>(i);
    if (!HasText(start.header, text)) continue;
    const int32_t length = StoredTextLength(start.header, text);
    char* buffer = host.TextBuffer(text, length);
    if (buffer == nullptr) return start;
    const int32_t got = ReadFully(package, buffer, length);
    buffer[got] = '\0';
    if (IsScrambled(text)) DescrambleText(buffer, got);
    start.arrived[i] = got;
  }
  if (!start.header.multiPart && !CheckPackageIntegrity(package, kPackageOffset)) {
    start.status = PackageStartStatus::Corrupted;
    return start;
  }
  start.status = PackageStartStatus::Ready;
  start.dataStart = ComputeDataStart(start.header);
  return start;
}

}  // namespace quillon
