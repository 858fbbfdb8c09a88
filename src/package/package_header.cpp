#include "package/package_header.h"

#include "base/little_endian.h"

namespace quillon {
namespace {

int32_t LoadInt32(const uint8_t* p) {
  return static_cast<int32_t>(LoadLittle32(p));
}

void StoreInt32(uint8_t* p, int32_t value) {
  StoreLittle32(p, static_cast<uint32_t>(value));
}

}  // namespace

PackageHeader ParsePackageHeader(const uint8_t fields[kPackageHeaderSize - 3]) {
  // fields[i] is header offset i + 3.
  PackageHeader header;
  header.waitForFinish = fields[0] != 0;
  header.titleLength = fields[1];
  header.infLength = fields[2];
  header.adminRequired = fields[3] != 0;
  header.licenceInfoLength = fields[4];
  header.infoLength = LoadInt32(fields + 5);
  header.licenceLength = LoadInt32(fields + 9);
  header.hideInfoButton = fields[13] != 0;
  header.multiPart = fields[14] != 0;
  header.totalSize = LoadInt32(fields + 15);
  return header;
}

void FormatPackageHeader(const PackageHeader& header, uint8_t out[kPackageHeaderSize]) {
  out[0] = kPackageMagic[0];
  out[1] = kPackageMagic[1];
  out[2] = kPackageMagic[2];
  out[3] = header.waitForFinish ? 1 : 0;
  out[4] = header.titleLength;
  out[5] = header.infLength;
  out[6] = header.adminRequired ? 1 : 0;
  out[7] = header.licenceInfoLength;
  StoreInt32(out + 8, header.infoLength);
  StoreInt32(out + 12, header.licenceLength);
  out[16] = header.hideInfoButton ? 1 : 0;
  out[17] = header.multiPart ? 1 : 0;
  StoreInt32(out + 18, header.totalSize);
}

int32_t ComputeDataStart(const PackageHeader& header) {
  const auto positive = [](int32_t length) { return length > 0 ? static_cast<int64_t>(length) : 0; };
  const int64_t start = int64_t{kPackageOffset} + kPackageHeaderSize + header.titleLength + header.infLength +
                        header.licenceInfoLength + positive(header.infoLength) + positive(header.licenceLength);
  return start > INT32_MAX ? -1 : static_cast<int32_t>(start);
}

}  // namespace quillon
