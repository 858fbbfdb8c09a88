// Writes the installer: the stub padded to the package offset, the package
// header and its five texts, the entries, and the ending that the installer's
// integrity check looks for.
//
// The installer reads one byte sequence from offset 35840 on. A split
// installer is this same sequence cut into files afterwards (split_output.h):
// every offset, those of the central directory included, counts in the whole
// sequence, as the installer joins it.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "building/encrypt.h"
#include "building/zip_entries.h"
#include "common/file_io.h"
#include "common/package_texts.h"
#include "package/package_header.h"
#include "package/package_integrity.h"

namespace quillon::pack {

enum class Ending {
  CentralDirectory,  // central directory and end record: the installer is also a ZIP archive
  Trailer,           // the 4-byte end marker "RSF" and a zero byte
};

constexpr std::array<uint8_t, 4> kTrailer = {kTrailerMark[0], kTrailerMark[1], kTrailerMark[2], 0};
constexpr size_t kMaxShortText = 255;  // title, INF text and licence information
// One less than the count that marks a ZIP64 archive, which ZIP tools would
// look for elsewhere.
constexpr size_t kMaxEntriesInDirectory = kZip64Count - 1;
// Code signing (Authenticode) appends a certificate table to the installer,
// first padding the file with up to 7 zero bytes to a multiple of 8. The end
// record's comment length covers both, so it can claim at most 65535 - 7
// bytes of table.
constexpr uint16_t kMaxSignReserve = 0xFFFF - 7;

// The bytes that signing puts before the certificate table of a file of
// this size.
[[nodiscard]] constexpr int64_t SigningPadding(int64_t fileSize) {
  return (8 - fileSize % 8) % 8;
}

// How the package ends and whether it is to be split.
struct PackageEnd {
  Ending ending = Ending::CentralDirectory;
  // Room for a certificate table of up to this many bytes: the end record's
  // comment length reaches that far (and over the padding before the table)
  // past the end of the file, so that the start-up check still finds the
  // record once the installer is signed. 0: no room, no comment.
  uint16_t signReserve = 0;
  // Split into files of at most this many bytes; 0: one file.
  int64_t partSize = 0;
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

  // Entries added from now on are encrypted, in the order they are added.
  void EncryptWith(EntryEncryptor* encryptor) { encryptor_ = encryptor; }

  void Add(PackEntry entry);

  // Writes the ending and the final header, which marks the package as split
  // when it is larger than the part size. Throws PackError when the package
  // grew past what the installer can read.
  void Finish(const PackageEnd& end);

  // After Finish: whether the package is to be cut into part files.
  [[nodiscard]] bool multiPart() const { return header_.multiPart; }

 private:
  void CheckSize(int64_t size) const;

  OutputFile& output_;
  PackageHeader header_;
  std::vector<HeaderOverride> overrides_;
  std::vector<Bytes> central_;
  EntryEncryptor* encryptor_ = nullptr;
};

}  // namespace quillon::pack
