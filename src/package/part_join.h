// Joining a split package. The program file carries the header, the texts and
// the beginning of the entry stream; part files hold the rest. Part n (n >= 1)
// has the program's path with its last three characters replaced by n in
// three digits: D:\SETUP.EXE has the parts D:\SETUP.001, D:\SETUP.002, ...
// The joined file is the program file followed by every part, byte for byte,
// until it reaches the header's totalSize; it begins with the whole program
// file, so the header and dataStart are valid in it unchanged.
#pragma once

#include <cstdint>

#include "fs/package_io.h"

namespace quillon {

constexpr int32_t kJoinBufferSize = 32768;
constexpr int32_t kMaxPartNumber = 255;  // parts are counted in three digits, and the program file is 0
constexpr char kJoinedPackageName[] = "\\Quillon.pkg";

// n in three decimal digits with leading zeros: 1 gives "001", 255 "255".
// Longer numbers are cut to their first three digits.
void FormatPartNumber(int32_t n, char out[4]);

// Replaces the last three characters of path by the part number. False when
// the path is shorter than three characters.
[[nodiscard]] bool MakePartPath(char* path, int32_t partNumber);

// Where the joiner takes the pieces from and whom it asks for a missing one.
class PartShelf {
 public:
  // Opens part partNumber (0 is the program file); null when it is not there.
  // The part stays open until ClosePart.
  [[nodiscard]] virtual PackageSource* OpenPart(int32_t partNumber) = 0;
  virtual void ClosePart() = 0;
  // Asks for the disk that holds a part; true to look again, false to cancel.
  // Disks count from 1, the program file's disk.
  [[nodiscard]] virtual bool AskForDisk(int32_t diskNumber) = 0;

 protected:
  PartShelf() = default;
  PartShelf(const PartShelf&) = default;
  PartShelf& operator=(const PartShelf&) = default;
  ~PartShelf() = default;
};

// Copies the program file and then part after part into joined until
// totalSize bytes are there. False when the user cancels a disk prompt, a
// part cannot be read to its end, a write fails or comes up short, or more
// than kMaxPartNumber parts would be needed. buffer holds kJoinBufferSize
// bytes.
[[nodiscard]] bool JoinParts(PartShelf& shelf, OutputSink& joined, int32_t totalSize, uint8_t* buffer);

}  // namespace quillon
