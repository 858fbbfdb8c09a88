// The traditional ZIP encryption of the package's entries. It keeps out only
// the casual reader: the cipher is long broken, and anyone who knows some
// bytes of one file can read them all. The installer knows no other.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "building/zip_entries.h"

namespace quillon::pack {

// The bytes of an entry's encryption header before its check byte: random,
// from the system's random source (getrandom or /dev/urandom; on Windows
// RtlGenRandom), or with SOURCE_DATE_EPOCH set derived from the password and
// the entry (reproducible.h).
class RandomSource {
 public:
  RandomSource();
  // `entry` is the entry's local record before encryption.
  void Fill(uint8_t* data, size_t size, const std::string& password, const Bytes& entry);

 private:
  std::optional<uint64_t> testState_;  // a fixed sequence, for the packager's own tests only
};

class EntryEncryptor {
 public:
  explicit EntryEncryptor(std::string password) : password_(std::move(password)) {}

  // Encrypts an entry's data: a 12-byte encryption header of random bytes
  // (RandomSource) whose last byte is the check byte the installer verifies the password
  // with (the top byte of the CRC-32, or of the DOS time when the sizes
  // follow the data), then the data, all under the password; the local and
  // central headers and a data descriptor get the new size and the
  // encryption flag. Directory entries too, though they have no data: the
  // installer judges its extraction by the last entry, and the directory
  // entries come last, so a directory entry that needed no password would
  // count a run whose files were all refused as a success. An entry
  // encrypted already (taken from an archive) is kept when it opens with
  // this password; otherwise PackError, as the installer would ask for
  // another password there.
  void Protect(PackEntry& entry);

 private:
  std::string password_;
  RandomSource random_;
};

}  // namespace quillon::pack
