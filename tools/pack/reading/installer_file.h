// An installer opened for reading as the installer reads its own package:
// a single file, a split installer joined from the program file and its part
// files beside it (in the order and under the names the installer uses), or a
// plain ZIP archive without a package header, whose entries start at offset 0.
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/package_texts.h"
#include "fs/package_io.h"
#include "package/package_header.h"
#include "package/package_start.h"

namespace quillon::pack {

// How the package ends, as found at the end of the file.
struct PackageEnding {
  enum class Kind { None, CentralDirectory, Trailer } kind = Kind::None;
  int64_t entriesEnd = 0;       // where the entry walk should stop: the central directory or the trailer
  uint32_t directoryCount = 0;  // entries the end record lists
  uint32_t directorySize = 0;
  uint32_t directoryOffset = 0;  // as the end record gives it
  bool zip64 = false;            // the end record is a ZIP64 archive's, whose real values are elsewhere
};

// One central directory header: what ZIP tools read of an entry.
struct CentralEntry {
  int64_t localOffset = 0;  // in the file, with the distance of a shifted archive applied
  uint16_t flags = 0;
  uint16_t method = 0;
  uint16_t time = 0;
  uint16_t date = 0;
  uint32_t crc = 0;
  uint32_t packedSize = 0;
  uint32_t size = 0;
  std::string name;
};

// The installer's start-up read of its program file (the first file of a
// split one), the texts descrambled into texts, cut where the file ends.
[[nodiscard]] PackageStart ReadInstallerStart(PackageSource& programFile, PackageTexts& texts);

class InstallerFile {
 public:
  // Throws PackError for a file that cannot be read, a missing part file, or
  // texts that reach past the end of the package.
  explicit InstallerFile(const std::filesystem::path& path);
  ~InstallerFile();
  InstallerFile(const InstallerFile&) = delete;
  InstallerFile& operator=(const InstallerFile&) = delete;

  // The package as the installer reads it; the joined files of a split one.
  [[nodiscard]] PackageSource& source();
  [[nodiscard]] int64_t size() const;

  [[nodiscard]] bool hasHeader() const { return hasHeader_; }
  // A single-file package that the start-up's integrity check refuses.
  [[nodiscard]] bool endMissing() const { return endMissing_; }
  [[nodiscard]] const PackageHeader& header() const { return header_; }
  [[nodiscard]] const PackageTexts& texts() const { return texts_; }  // descrambled
  [[nodiscard]] int32_t dataStart() const { return dataStart_; }
  // The program file and the part files, in joining order.
  [[nodiscard]] const std::vector<std::filesystem::path>& files() const { return files_; }

  // What the installer's integrity check finds: the trailer, or the first
  // end record whose comment reaches the end of the file (or beyond: a
  // reserve for a signature). A plain archive, which no installer checks,
  // may instead end with the last end record that fits in the file.
  [[nodiscard]] PackageEnding FindEnding();

  // The headers of the central directory that `ending` found. Throws
  // PackError, saying what is wrong, when they cannot be read.
  [[nodiscard]] std::vector<CentralEntry> ReadCentralDirectory(const PackageEnding& ending);

 private:
  class JoinedFiles;

  // Where the last end record whose comment fits in the file starts; -1.
  [[nodiscard]] int64_t LastEndRecordInFile();
  [[noreturn]] void ThrowMissingPart(const std::filesystem::path& part, int32_t number) const;

  std::unique_ptr<JoinedFiles> joined_;
  std::vector<std::filesystem::path> files_;
  bool hasHeader_ = false;
  bool endMissing_ = false;
  PackageHeader header_;
  PackageTexts texts_;
  int32_t dataStart_ = 0;
};

}  // namespace quillon::pack
