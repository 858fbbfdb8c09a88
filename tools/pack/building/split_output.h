// A split installer: the program file and the part files that the installer
// joins back, byte for byte, before it reads its package. The package is
// written and checked whole first; only then is it cut into files.
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/file_io.h"

namespace quillon::pack {

// Refuses an installer name from which the installer would not find its
// parts: the parts' names replace the last three characters of the
// installer's path, so the file name needs three characters that are whole
// characters in every ANSI code page (ASCII, and no lead byte of a double-byte
// character before them), and they must not be the number of a part itself.
void CheckPartNames(const std::filesystem::path& installer);
// The reason for CheckPartNames' refusal, if any.
[[nodiscard]] std::optional<std::string> PartNameProblem(const std::filesystem::path& installer);

// Part `number` (1 to 255), named by the installer's own rule: its path with
// the last three characters replaced by the number in three digits
// (setup.exe, setup.001).
[[nodiscard]] std::filesystem::path PartPath(const std::filesystem::path& installer, int number);

// The number of part files that a package of `total` bytes needs when no file
// may be larger than `partSize`: 0 when it fits in the program file. Throws
// PackError when it would need more than the installer can join.
[[nodiscard]] int CountParts(int64_t total, int64_t partSize);

// Copies everything behind the first `partSize` bytes of the installer into
// part files of `partSize` bytes (the last one shorter), then cuts the
// installer to `partSize` bytes. The parts are pending outputs like the
// installer itself.
[[nodiscard]] std::vector<std::unique_ptr<OutputFile>> CutIntoParts(OutputFile& installer, int64_t partSize);

// Moves the parts and then the installer into place, after all of them are
// on disk, so that nothing of this run appears before everything is written
// and the installer appears last. Interrupts wait until the moves are done.
void CommitSplit(OutputFile& installer, const std::vector<std::unique_ptr<OutputFile>>& parts);

// Removes the part files numbered `first` to 255 that an earlier, longer split
// of the same installer left behind; the installer never reads them, and they
// would mislead whoever copies the files out. A directory of such a name is
// kept, with a warning.
void RemoveStaleParts(const std::filesystem::path& installer, int first);

// Warns when part 001 of the installer's name exists beside an installer
// written as a single file without --split; such files are left alone.
void WarnAboutOldParts(const std::filesystem::path& installer);

}  // namespace quillon::pack
