// Reading input files whole, and the output file that appears only when it is
// complete.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "support/pack_support.h"
#include "system/system.h"

namespace quillon::pack {

// What a file that is not a regular file is, for messages: "a directory",
// "a pipe (FIFO)", "a device", ...
[[nodiscard]] std::string DescribeKind(FileKind kind);

// Whether a file read whole may be a pipe, which is then read to its end:
// texts and passwords, given as process substitution or /dev/stdin.
enum class Pipes { Refused, ReadToEnd };

// Reads a regular file whole, without ever waiting on a FIFO or a device,
// which are refused (a pipe is read to its end where `pipes` allows it). A
// file larger than maxSize is refused before it is read; `what` names the
// file's role in messages ("stub", "licence text file").
[[nodiscard]] Bytes ReadWholeFile(const std::filesystem::path& path, int64_t maxSize, const std::string& what,
                                  Pipes pipes = Pipes::Refused);

// The output is written to a temporary file beside its final place and renamed
// over it only by Commit. Until then the final path is never touched, and the
// destructor removes the temporary file, so a run that fails leaves neither a
// half-written output nor any debris, and an older output stays as it was.
// Missing folders of its path are made, and removed again by a run that
// fails. Several outputs may be pending at once (the files of a split
// installer); an interrupt removes all of their temporary files.
class OutputFile {
 public:
  explicit OutputFile(std::filesystem::path path);
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // Appends at the end.
  void Write(const uint8_t* data, size_t size);
  void Write(const Bytes& bytes) { Write(bytes.data(), bytes.size()); }
  // Overwrites bytes already written.
  void WriteAt(int64_t offset, const uint8_t* data, size_t size);

  // Reads bytes already written.
  void ReadAt(int64_t offset, uint8_t* data, size_t size) const;

  [[nodiscard]] int64_t size() const { return size_; }
  [[nodiscard]] const std::filesystem::path& path() const { return path_; }

  // Cuts the file to its first `size` bytes.
  void Truncate(int64_t size);

  // Flushes the file to disk and closes it; nothing can be written or read
  // afterwards. Commit does this itself when it has not been done.
  void Complete();

  // Moves the file to its final path.
  void Commit();

 private:
  [[noreturn]] void Fail(const std::string& action) const;
  void MakeFolders(const std::filesystem::path& directory);

  std::filesystem::path path_;
  std::vector<std::filesystem::path> madeFolders_;  // outermost first
  std::string tempPath_;
  SystemFile file_;
  int64_t size_ = 0;
  bool committed_ = false;
};

}  // namespace quillon::pack
