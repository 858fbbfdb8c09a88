// The finished installer read back with the installer's own code before it
// is handed out: the header, the walk over the entries, every entry's data
// against its CRC-32, and the ending that the installer's start-up looks for.
#pragma once

#include <string>
#include <vector>

#include "file_io.h"

namespace quillon::pack {

struct ExpectedEntry {
  std::string name;
  bool encrypted = false;  // its data cannot be checked without the password
};

// Throws PackError when the installer would not find exactly these entries,
// in this order, each with data that matches its CRC-32.
void ReadBack(const OutputFile& output, const std::vector<ExpectedEntry>& expected);

}  // namespace quillon::pack
