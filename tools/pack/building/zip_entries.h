// ZIP entries as the packager writes them: a local header with the real CRC-32
// and sizes (the installer takes both from there, never from a data
// descriptor or the central directory), and the matching central directory
// header for the listing that ZIP tools read.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "base/zip_format.h"
#include "support/pack_support.h"

struct libdeflate_compressor;

namespace quillon::pack {

// Compression levels: 0 stores, 1 to 12 are libdeflate's levels.
constexpr int kMaxLevel = 12;
constexpr int kDefaultLevel = 12;

struct DosDateTime {
  uint16_t time = 0;
  uint16_t date = 0;
};

// MS-DOS date and time of a moment, in the local time zone of this machine, as
// ZIP tools store it and as the installer reads it back. Seconds are rounded
// down to even; moments before 1980 become 1980-01-01 00:00:00, moments after
// 2107 become 2107-12-31 23:59:58.
[[nodiscard]] DosDateTime ToDosDateTime(int64_t unixSeconds);
// The same in UTC, whatever this machine's time zone.
[[nodiscard]] DosDateTime ToDosDateTimeUtc(int64_t unixSeconds);

// CRC-32 of any amount of data. Needs the CRC table (crcTable) to be set.
[[nodiscard]] uint32_t Crc32(const uint8_t* data, size_t size);

// One entry ready for the package.
struct PackEntry {
  std::string name;
  bool directory = false;
  Bytes local;    // local header, name, extra field, data and any data descriptor
  Bytes central;  // central header with name, extra field and comment; the offset is set when it is written
};

// Makes entries for files and directories; keeps one compressor for the run.
class EntryMaker {
 public:
  explicit EntryMaker(int level);
  ~EntryMaker();
  EntryMaker(const EntryMaker&) = delete;
  EntryMaker& operator=(const EntryMaker&) = delete;

  // Deflates the data unless the level is 0 or deflating would not make it
  // smaller; then it is stored. A large file is deflated in pieces, and
  // `done` is told the bytes of each piece as it is compressed. Needs the CRC
  // table (crcTable) to be set.
  [[nodiscard]] PackEntry MakeFile(const std::string& name, const Bytes& data, DosDateTime when,
                                   const std::function<void(size_t)>& done = {});
  // A directory entry; its name ends with "/".
  [[nodiscard]] PackEntry MakeDirectory(const std::string& name, DosDateTime when);

 private:
  int level_;
  libdeflate_compressor* compressor_ = nullptr;
};

}  // namespace quillon::pack
