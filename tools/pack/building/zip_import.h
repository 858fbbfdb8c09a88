// Entries taken over from an existing ZIP archive: its central directory tells
// where each local entry is, and the local header, name, extra field and data
// are copied as they are.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "building/zip_entries.h"

namespace quillon::pack {

struct ArchiveEntry {
  std::string name;
  bool directory = false;
  bool encrypted = false;
  size_t localStart = 0;  // offset of the local header in the archive
  size_t dataStart = 0;   // offset of the data
  size_t dataEnd = 0;     // offset behind the data
  size_t descriptor = 0;  // bytes of data descriptor behind the data (0, or 12 or 16: without or with its signature)
  uint16_t method = 0;
  uint32_t crc = 0;
  uint32_t originalSize = 0;
  size_t centralStart = 0;  // offset of the central header
  size_t centralSize = 0;   // central header with name, extra field and comment
};

// A ZIP archive held in memory with the list of its entries.
class ZipArchive {
 public:
  // Reads the archive and checks its directory and every local header;
  // refuses, with a message naming the archive and the entry, whatever the
  // installer could not read: ZIP64, split archives, methods other than
  // stored and deflated, strong encryption, and local headers that lack the
  // real CRC-32 and sizes (as streaming ZIP writers leave them).
  explicit ZipArchive(const std::filesystem::path& path);

  [[nodiscard]] const std::vector<ArchiveEntry>& entries() const { return entries_; }
  [[nodiscard]] const std::string& shownPath() const { return shown_; }

  // The entry for the package. The data of an unencrypted entry is checked
  // against its CRC-32 first (deflated data is inflated for that), so a
  // damaged archive never becomes an installer that fails on the user's
  // machine. A data descriptor without its signature, which the installer
  // could not step over, gets the signature.
  [[nodiscard]] PackEntry Take(const ArchiveEntry& entry) const;

 private:
  void ReadDirectory();
  [[noreturn]] void Refuse(const std::string& problem) const;
  [[noreturn]] void Refuse(const std::string& name, const std::string& problem) const;

  std::string shown_;
  Bytes bytes_;
  std::vector<ArchiveEntry> entries_;
};

}  // namespace quillon::pack
