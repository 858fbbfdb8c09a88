// The files a run writes or replaces, kept apart from the files it reads: a
// mixed-up -o must never replace an input with the installer, and an earlier
// run's output inside an input directory must not be packed into this one.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "system/system.h"

namespace quillon::pack {

class OutputGuard {
 public:
  // The installer, and with `split` every part file of its name: those this
  // run writes and those of an earlier, longer split, which it removes.
  OutputGuard(const std::filesystem::path& installer, bool split);

  // Throws PackError when `path`, a file the run reads (`role`: "stub",
  // "input", "licence text file", ...), is one of the outputs or the same
  // file as one (by device and file number, so also through a hard or
  // symbolic link).
  void CheckInput(const std::filesystem::path& path, const std::string& role) const;

  // For a file met while walking an input directory: whether it is an
  // earlier output to be left out: the installer of an earlier run, or a
  // file named like one of its part files (also without --split: they belong
  // to an earlier split of this installer). Throws PackError when it is the
  // output but no installer: the user's own file, which the installer would
  // replace.
  [[nodiscard]] bool LeavesOut(const std::filesystem::path& path, const FileId& id) const;

 private:
  struct Output {
    std::filesystem::path path;
    FileId id;
    bool part = false;
    bool written = false;  // written or removed by this run
  };

  std::filesystem::path installer_;
  std::vector<Output> existing_;  // the outputs and part names that exist now
};

}  // namespace quillon::pack
