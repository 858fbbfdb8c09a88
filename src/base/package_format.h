// The package behind the program image: a fixed 22-byte header at file offset
// 35840, then five texts back to back, then the ZIP entry stream at dataStart.
//
//   offset  size  field
//        0     3  magic "QLX"
//        3     1  waitForFinish
//        4     1  titleLength         (0..255, plain text)
//        5     1  infLength           (0..255, plain text)
//        6     1  adminRequired
//        7     1  licenceInfoLength   (0..255, scrambled)
//        8     4  infoLength          (signed, scrambled)
//       12     4  licenceLength       (signed, scrambled)
//       16     1  hideInfoButton
//       17     1  multiPart
//       18     4  totalSize           (signed)
//
// Texts follow in the order title, INF text, licence information,
// information, licence. All integers are little-endian.
#pragma once

#include <cstdint>

namespace quillon {

constexpr int32_t kPackageOffset = 35840;
constexpr int32_t kPackageHeaderSize = 22;
constexpr uint8_t kPackageMagic[3] = {'Q', 'L', 'X'};

// The header's fields, in their order; the reader, the writer and the
// packager's --header-field all go by this table.
enum class HeaderField : uint8_t {
  Magic,
  WaitForFinish,
  TitleLength,
  InfLength,
  AdminRequired,
  LicenceInfoLength,
  InfoLength,
  LicenceLength,
  HideInfoButton,
  MultiPart,
  TotalSize,
  Count
};

struct HeaderFieldPlace {
  const char* name;
  int32_t offset;
  int32_t size;  // 1 or 4; 3 for the magic
};

inline constexpr HeaderFieldPlace kHeaderFields[] = {
    {"magic", 0, 3},           {"waitForFinish", 3, 1},     {"titleLength", 4, 1}, {"infLength", 5, 1},
    {"adminRequired", 6, 1},   {"licenceInfoLength", 7, 1}, {"infoLength", 8, 4},  {"licenceLength", 12, 4},
    {"hideInfoButton", 16, 1}, {"multiPart", 17, 1},        {"totalSize", 18, 4},
};
static_assert(sizeof kHeaderFields / sizeof kHeaderFields[0] == static_cast<unsigned>(HeaderField::Count));

[[nodiscard]] constexpr int32_t FieldOffset(HeaderField field) {
  return kHeaderFields[static_cast<unsigned>(field)].offset;
}

// The fields lie back to back and fill the header.
[[nodiscard]] consteval bool FieldsFillHeader() {
  int32_t end = 0;
  for (const HeaderFieldPlace& field : kHeaderFields) {
    if (field.offset != end) return false;
    end += field.size;
  }
  return end == kPackageHeaderSize && kHeaderFields[0].size == static_cast<int32_t>(sizeof kPackageMagic);
}
static_assert(FieldsFillHeader());
constexpr int32_t kTextBufferSize = 261;  // title and INF text: 255 bytes and a NUL, with room to spare
constexpr int32_t kLicenceInfoPrefixLength = 62;

struct PackageHeader {
  bool waitForFinish = false;
  uint8_t titleLength = 0;
  uint8_t infLength = 0;
  bool adminRequired = false;
  uint8_t licenceInfoLength = 0;
  int32_t infoLength = 0;
  int32_t licenceLength = 0;
  bool hideInfoButton = false;
  bool multiPart = false;
  int32_t totalSize = 0;
};

}  // namespace quillon
