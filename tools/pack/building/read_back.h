// The finished installer read back with the installer's own code before it
// is handed out: the header, the walk over the entries, every entry's data
// against its CRC-32, and the ending that the installer's start-up looks for.
// A split installer is read as the installer joins it, from its files.
#pragma once

#include <string>
#include <vector>

#include "common/file_io.h"

namespace quillon::pack {

struct ExpectedEntry {
  std::string name;
  bool encrypted = false;
};

// Throws PackError when the installer would not find exactly these entries,
// in this order, each with data that matches its CRC-32, or when the ending
// would not pass the start-up check, also after signing has appended a
// certificate table of `signReserve` bytes (PackageEnd). `files` are the
// program file and the part files in order. Encrypted entries are decrypted
// with `password`; without one (null) only their place is checked.
void ReadBack(const std::vector<const OutputFile*>& files, const std::vector<ExpectedEntry>& expected,
              uint16_t signReserve, const std::string* password);

}  // namespace quillon::pack
