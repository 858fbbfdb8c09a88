// Writes the installer: the stub padded to the package offset, the package
// header and its five texts, the entries, and the ending that the installer's
// integrity check looks for.
//
// The installer reads one byte sequence from offset 35840 on. A package cut
// into part files would be this same sequence written across several files;
// the writer keeps every offset counted in that sequence, so such a split can
// sit between it and the files later.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "app/package_header.h"
#include "file_io.h"
#include "zip_entries.h"

namespace quillon::pack {

enum class Ending {
  CentralDirectory,  // central directory and end record: the installer is also a ZIP archive
  Trailer,           // the 4-byte end marker "RSF" and a zero byte
};

constexpr std::array<uint8_t, 4> kTrailer = {'R', 'S', 'F', 0};
constexpr size_t kMaxShortText = 255;  // title, INF text and licence information
constexpr size_t kMaxEntriesInDirectory = 0xFFFF;

struct PackageTexts {
  Bytes title;
  Bytes inf;
  Bytes licenceInfo;
  Bytes info;
  Bytes licence;
};

// A raw header field forced to a value after the header has been laid out;
// the texts are written as they are, whatever the lengths in the header say.
struct HeaderOverride {
  std::string field;
  int64_t value = 0;
  std::string magic;  // for the field "magic": three bytes
};

// The names --header-field understands, with their header offsets and sizes.
struct HeaderFieldInfo {
  const char* name;
  size_t offset;
  size_t size;  // 1 or 4; 3 for the magic
};
[[nodiscard]] const std::vector<HeaderFieldInfo>& HeaderFields();
// Parses NAME=VALUE; throws UsageError for an unknown name or a value out of range.
[[nodiscard]] HeaderOverride ParseHeaderOverride(const std::string& text);

struct PackageFlags {
  bool waitForFinish = true;
  bool adminRequired = false;
  bool hideInfoButton = false;
};

// Throws PackError for a text that is too long for its length field.
void CheckPackageTexts(const PackageTexts& texts);

class PackageWriter {
 public:
  // Writes the stub, a provisional header and the texts. Throws PackError for
  // a stub that reaches past the package offset or texts that are too long.
  PackageWriter(OutputFile& output, const Bytes& stub, const PackageTexts& texts, PackageFlags flags,
                std::vector<HeaderOverride> overrides);

  void Add(const PackEntry& entry);

  // Writes the ending and the final header. Throws PackError when the
  // package grew past what the installer can read.
  void Finish(Ending ending);

 private:
  void CheckSize(int64_t size) const;

  OutputFile& output_;
  PackageHeader header_;
  std::vector<HeaderOverride> overrides_;
  std::vector<Bytes> central_;
};

}  // namespace quillon::pack
