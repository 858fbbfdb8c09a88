// One entry's data decoded as the installer decodes it: decrypted with the
// password where the entry is encrypted, copied or inflated, and its CRC-32
// and size compared with its local header. The packager's read-back, the
// verify and extract commands and the check of encrypted entries taken from
// archives all judge entries by it.
#pragma once

#include <cstdint>
#include <string>

#include "fs/package_io.h"
#include "package/entry_stream.h"
#include "support/pack_support.h"

namespace quillon::pack {

// A package, or a single entry, held in memory.
class MemorySource final : public PackageSource {
 public:
  explicit MemorySource(const Bytes& bytes) : bytes_(bytes) {}
  int32_t Read(void* buffer, int32_t count) override;
  int32_t Seek(int32_t distance, SeekMethod method) override;
  int32_t Size() override { return static_cast<int32_t>(bytes_.size()); }

 private:
  const Bytes& bytes_;
  size_t position_ = 0;
};

enum class EntryVerdict {
  Sound,
  NoPassword,          // encrypted, and no password was given
  WrongPassword,       // the password does not open the entry's encryption header
  NoEncryptionHeader,  // encrypted, but shorter than its encryption header: the installer refuses it
  UnknownMethod,       // neither stored nor deflated: the installer stops there
  Damaged,             // the data does not match the CRC-32 (or cannot be read at all)
  WrongSize,           // the CRC matches, the size in the header does not
};

struct EntryCheck {
  EntryVerdict verdict = EntryVerdict::Sound;
  int64_t size = 0;  // bytes decoded
};

// Decodes the data of the entry whose local header `stream` has just read;
// the entry starts at entryStart. `password` is null when none was given.
[[nodiscard]] EntryCheck CheckEntryData(PackageSource& package, EntryStream& stream, int32_t entryStart,
                                        const std::string* password);

// What a verdict means, for a message about the entry.
[[nodiscard]] std::string DescribeVerdict(const EntryCheck& check, const EntryHeader& header);

}  // namespace quillon::pack
