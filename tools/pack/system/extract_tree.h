// The directory that `quillon-pack extract` writes below, reached one path
// component at a time from the directory itself without following links, so
// that nothing placed in it beforehand leads a write elsewhere.
// extract_tree_posix.cpp opens each directory relative to the one before;
// extract_tree_win32.cpp refuses every step onto a reparse point.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "fs/package_io.h"
#include "package/entry_stream.h"

namespace quillon::pack {

// Path components below the directory, in this machine's encoding of names.
using Components = std::vector<std::string>;

// One extracted file being written; a failed write shows as a short count.
class ExtractedFile : public OutputSink {
 public:
  ExtractedFile() = default;
  ExtractedFile(const ExtractedFile&) = delete;
  ExtractedFile& operator=(const ExtractedFile&) = delete;
  virtual ~ExtractedFile() = default;
  // Gives the file the entry's DOS date and time as local time, as the
  // installer does, and closes it; what went wrong with that or an earlier
  // write, or "".
  [[nodiscard]] virtual std::string Finish(const EntryHeader& header) = 0;
};

class ExtractionTree {
 public:
  // Throws PackError when the directory cannot be opened.
  explicit ExtractionTree(const std::filesystem::path& directory);
  ~ExtractionTree();
  ExtractionTree(const ExtractionTree&) = delete;
  ExtractionTree& operator=(const ExtractionTree&) = delete;

  // Whether something exists under these components (a link counts as itself).
  [[nodiscard]] bool Exists(const Components& components) const;
  // Makes the directories that are missing; false when one cannot be made or
  // a component is no directory (LastSystemError says why).
  bool MakeDirectories(const Components& components);
  // Creates the file anew: whatever was there, unless a directory, is removed
  // first, so that a link there leads nowhere. Null when it cannot be made
  // (LastSystemError says why).
  [[nodiscard]] std::unique_ptr<ExtractedFile> MakeFile(const Components& components);

 private:
  struct Root;
  std::unique_ptr<Root> root_;
};

}  // namespace quillon::pack
