#include "building/zip_entries.h"

#include <libdeflate.h>

#include <algorithm>
#include <chrono>
#include <ctime>

#include "base/crc.h"
#include "base/little_endian.h"
#include "building/deflate_pieces.h"
#include "system/system.h"

namespace quillon::pack {

namespace {

constexpr uint16_t kVersionStored = 10;    // 1.0: stored data
constexpr uint16_t kVersionDeflated = 20;  // 2.0: deflate and directories
constexpr uint16_t kMadeByDos = 20;        // host 0 (MS-DOS attributes), version 2.0
constexpr uint32_t kDosDirectoryAttribute = 0x10;

uint16_t DeflateOptionFlags(int level) {
  // Bits 1 and 2 tell ZIP tools how hard the compressor tried.
  if (level >= 8) return 0x0002;  // maximum
  if (level <= 2) return 0x0004;  // fast
  return 0;                       // normal
}

// What the local and the central header share.
struct EntryFields {
  uint16_t versionNeeded;
  uint16_t flags;
  uint16_t method;
  DosDateTime when;
  uint32_t crc;
  uint32_t storedSize;
  uint32_t originalSize;
  uint16_t nameLength;
};

Bytes LocalHeader(const EntryFields& f) {
  Bytes header(kLocalHeaderSize, 0);
  uint8_t* h = header.data();
  StoreLittle32(h, kLocalHeaderSignature);
  StoreLittle16(h + kLocalVersionField, f.versionNeeded);
  StoreLittle16(h + kLocalFlagsField, f.flags);
  StoreLittle16(h + kLocalMethodField, f.method);
  StoreLittle16(h + kLocalTimeField, f.when.time);
  StoreLittle16(h + kLocalDateField, f.when.date);
  StoreLittle32(h + kLocalCrcField, f.crc);
  StoreLittle32(h + kLocalPackedSizeField, f.storedSize);
  StoreLittle32(h + kLocalSizeField, f.originalSize);
  StoreLittle16(h + kLocalNameLengthField, f.nameLength);
  StoreLittle16(h + kLocalExtraLengthField, 0);  // no extra field
  return header;
}

// Without extra field and comment, on disk 0; the local header's offset is
// set when the entry is written.
Bytes CentralHeader(const EntryFields& f, bool directory) {
  Bytes header(kCentralHeaderSize, 0);
  uint8_t* h = header.data();
  StoreLittle32(h, kCentralHeaderSignature);
  StoreLittle16(h + kCentralMadeByField, kMadeByDos);
  StoreLittle16(h + kCentralVersionField, f.versionNeeded);
  StoreLittle16(h + kCentralFlagsField, f.flags);
  StoreLittle16(h + kCentralMethodField, f.method);
  StoreLittle16(h + kCentralTimeField, f.when.time);
  StoreLittle16(h + kCentralDateField, f.when.date);
  StoreLittle32(h + kCentralCrcField, f.crc);
  StoreLittle32(h + kCentralPackedSizeField, f.storedSize);
  StoreLittle32(h + kCentralSizeField, f.originalSize);
  StoreLittle16(h + kCentralNameLengthField, f.nameLength);
  StoreLittle32(h + kCentralExternalAttributesField, directory ? kDosDirectoryAttribute : 0);
  return header;
}

PackEntry MakeEntry(const std::string& name, bool directory, uint16_t versionNeeded, uint16_t flags, uint16_t method,
                    DosDateTime when, uint32_t crc, const uint8_t* data, size_t storedSize, size_t originalSize) {
  PackEntry entry;
  entry.name = name;
  entry.directory = directory;
  const EntryFields fields{versionNeeded,
                           flags,
                           method,
                           when,
                           crc,
                           static_cast<uint32_t>(storedSize),
                           static_cast<uint32_t>(originalSize),
                           static_cast<uint16_t>(name.size())};
  entry.local = LocalHeader(fields);
  entry.local.reserve(kLocalHeaderSize + name.size() + storedSize);
  PutText(entry.local, name);
  PutBytes(entry.local, data, storedSize);
  entry.central = CentralHeader(fields, directory);
  PutText(entry.central, name);
  return entry;
}

}  // namespace

uint32_t Crc32(const uint8_t* data, size_t size) {
  constexpr size_t kChunk = size_t{1} << 30;
  uint32_t crc = 0xFFFFFFFFu;
  for (size_t done = 0; done < size; done += kChunk) {
    UpdateCrc(data + done, static_cast<int32_t>(std::min(kChunk, size - done)), crc);
  }
  return crc ^ 0xFFFFFFFFu;
}

namespace {

constexpr DosDateTime kEarliest{0, (1u << 5) | 1u};  // 1980-01-01 00:00:00
constexpr DosDateTime kLatest{(23u << 11) | (59u << 5) | 29u, (127u << 9) | (12u << 5) | 31u};

DosDateTime FromCalendar(const std::tm& moment) {
  const int year = moment.tm_year + 1900;
  if (year < 1980) return kEarliest;
  if (year > 2107) return kLatest;
  DosDateTime result;
  result.date = static_cast<uint16_t>((year - 1980) << 9 | (moment.tm_mon + 1) << 5 | moment.tm_mday);
  // tm_sec may be 60 on a leap second; 59 is the last value DOS can hold.
  const int second = moment.tm_sec > 59 ? 59 : moment.tm_sec;
  result.time = static_cast<uint16_t>(moment.tm_hour << 11 | moment.tm_min << 5 | second / 2);
  return result;
}

}  // namespace

DosDateTime ToDosDateTime(int64_t unixSeconds) {
  std::tm local{};
  if (!LocalTime(unixSeconds, local)) return unixSeconds < 0 ? kEarliest : kLatest;
  return FromCalendar(local);
}

DosDateTime ToDosDateTimeUtc(int64_t unixSeconds) {
  // Outside these years the result is clamped anyway; inside them the
  // calendar below cannot overflow.
  constexpr int64_t k1980 = 315532800;   // 1980-01-01 00:00:00 UTC
  constexpr int64_t k2108 = 4354819200;  // 2108-01-01 00:00:00 UTC
  if (unixSeconds < k1980) return kEarliest;
  if (unixSeconds >= k2108) return kLatest;
  using namespace std::chrono;
  const sys_seconds moment{seconds{unixSeconds}};
  const sys_days day = floor<days>(moment);
  const year_month_day date{day};
  const hh_mm_ss time{moment - day};
  std::tm utc{};
  utc.tm_year = static_cast<int>(date.year()) - 1900;
  utc.tm_mon = static_cast<int>(static_cast<unsigned>(date.month())) - 1;
  utc.tm_mday = static_cast<int>(static_cast<unsigned>(date.day()));
  utc.tm_hour = static_cast<int>(time.hours().count());
  utc.tm_min = static_cast<int>(time.minutes().count());
  utc.tm_sec = static_cast<int>(time.seconds().count());
  return FromCalendar(utc);
}

EntryMaker::EntryMaker(int level) : level_(level) {
  if (level_ > 0) {
    compressor_ = libdeflate_alloc_compressor(level_);
    if (compressor_ == nullptr) throw PackError("cannot set up the compressor for level " + std::to_string(level_));
  }
}

EntryMaker::~EntryMaker() {
  if (compressor_ != nullptr) libdeflate_free_compressor(compressor_);
}

PackEntry EntryMaker::MakeFile(const std::string& name, const Bytes& data, DosDateTime when,
                               const std::function<void(size_t)>& done) {
  const uint32_t crc = Crc32(data.data(), data.size());

  if (compressor_ != nullptr && data.size() > kDeflatePiece) {
    const Bytes deflated = DeflateInPieces(compressor_, data.data(), data.size(), kDeflatePiece, done);
    if (deflated.size() < data.size()) {
      return MakeEntry(name, false, kVersionDeflated, DeflateOptionFlags(level_), kMethodDeflated, when, crc,
                       deflated.data(), deflated.size(), data.size());
    }
  } else if (compressor_ != nullptr && !data.empty()) {
    // Only output shorter than the input is of any use; a full buffer means
    // deflate did not win, and the data is stored.
    Bytes deflated(data.size() - 1);
    const size_t size = deflated.empty() ? 0
                                         : libdeflate_deflate_compress(compressor_, data.data(), data.size(),
                                                                       deflated.data(), deflated.size());
    if (size > 0) {
      return MakeEntry(name, false, kVersionDeflated, DeflateOptionFlags(level_), kMethodDeflated, when, crc,
                       deflated.data(), size, data.size());
    }
  }
  return MakeEntry(name, false, kVersionStored, 0, kMethodStored, when, crc, data.data(), data.size(), data.size());
}

PackEntry EntryMaker::MakeDirectory(const std::string& name, DosDateTime when) {
  return MakeEntry(name, true, kVersionDeflated, 0, kMethodStored, when, 0, nullptr, 0, 0);
}

}  // namespace quillon::pack
