// What the packager needs of the operating system beyond the standard
// library: files by handle, file identities and times, directory listings,
// random bytes, the terminal and the processors. system_posix.cpp has the
// POSIX side, system_win32.cpp the Windows side; everything else in the
// packager is the same on both.
#pragma once

#include <cstdint>
#include <ctime>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace quillon::pack {

// The text of the last failure of a call below (errno, or the Windows error),
// for messages.
[[nodiscard]] std::string LastSystemError();
// Notes the error of the system call that just failed for LastSystemError
// (where the call was made outside these functions).
void KeepSystemError();

// Which file a path leads to: the same two numbers for the same file, even
// under two names.
struct FileId {
  uint64_t device = 0;
  uint64_t index = 0;
  friend bool operator==(const FileId&, const FileId&) = default;
};

// Pipe: a FIFO or an anonymous pipe (process substitution, /dev/stdin);
// Device: a terminal, a disk or any other device.
enum class FileKind { Regular, Directory, Link, Pipe, Device, Other };

struct FileStatus {
  FileKind kind = FileKind::Other;
  FileId id;
  int64_t size = 0;
  int64_t modified = 0;  // seconds since 1970, UTC
};

// The status of the file a path leads to, following links (followLinks) or
// of the link itself; nullopt when there is none or it cannot be read
// (LastSystemError says why).
[[nodiscard]] std::optional<FileStatus> StatusOf(const std::filesystem::path& path, bool followLinks);

// The names in a directory, without "." and ".."; nullopt when it cannot be
// read (LastSystemError says why).
[[nodiscard]] std::optional<std::vector<std::string>> ListDirectory(const std::filesystem::path& directory);

// Removes a file (not a directory); false when it cannot.
bool RemoveFile(const std::filesystem::path& path);

// Renames a file over another, which is replaced; false when it cannot.
bool RenameOver(const std::filesystem::path& from, const std::filesystem::path& to);

// One open file, closed when it goes out of scope. Failed calls return false
// (or -1) and leave the reason to LastSystemError.
class SystemFile {
 public:
  SystemFile() = default;
  ~SystemFile();
  SystemFile(SystemFile&& other) noexcept;
  SystemFile& operator=(SystemFile&& other) noexcept;
  SystemFile(const SystemFile&) = delete;
  SystemFile& operator=(const SystemFile&) = delete;

  // Opens without waiting, whatever the path leads to: a FIFO without a
  // writer or a device opens at once, and Status tells what it is. Reads
  // from a pipe then wait for data only after WaitForData.
  bool OpenForReading(const std::filesystem::path& path);
  // Makes reads from a pipe wait for its writer's data; false when it cannot.
  bool WaitForData();
  // Creates a new file of a name not yet taken in `directory`, starting with
  // `prefix`; its path goes to `made`.
  bool CreateUnique(const std::filesystem::path& directory, const std::string& prefix, std::filesystem::path& made);

  [[nodiscard]] bool is_open() const { return handle_ != kClosed; }
  [[nodiscard]] std::optional<FileStatus> Status() const;

  // Reads up to `size` bytes from the current position; 0 at the end.
  [[nodiscard]] int64_t Read(uint8_t* data, size_t size);
  // Reads up to `size` bytes at `offset`; fewer only at the end of the file.
  [[nodiscard]] int64_t ReadAt(int64_t offset, uint8_t* data, size_t size) const;
  // Writes all `size` bytes at `offset`.
  bool WriteAt(int64_t offset, const uint8_t* data, size_t size);
  bool Truncate(int64_t size);
  // Gives a file made by CreateUnique the permissions of any new file, puts
  // it on the disk and closes it.
  bool Complete();
  bool Close();

 private:
  static constexpr intptr_t kClosed = -1;
  intptr_t handle_ = kClosed;
};

// Holds back the interrupts (Ctrl+C, termination) while it lives, so that a
// set of files is renamed into place as a whole.
class HeldInterrupts {
 public:
  HeldInterrupts();
  ~HeldInterrupts();
  HeldInterrupts(const HeldInterrupts&) = delete;
  HeldInterrupts& operator=(const HeldInterrupts&) = delete;

 private:
  struct Saved;
  std::unique_ptr<Saved> saved_;
};

// Fills data with bytes from the system's random source; throws PackError
// when it cannot.
void FillSystemRandom(uint8_t* data, size_t size);

// The local time of the machine for seconds since 1970; false when it has none.
bool LocalTime(int64_t seconds, std::tm& local);

// The processors this process may run on.
[[nodiscard]] int UsableProcessors();

// The packager's own file.
[[nodiscard]] std::filesystem::path ProgramFile(const char* programPath);

// Whether standard input is a terminal (and a password is asked there).
[[nodiscard]] bool StandardInputIsTerminal();

// Whether standard error is a terminal that can redraw a line in place.
[[nodiscard]] bool CanRedrawErrorLine();

// Turns the echo of standard input off while it lives, where it is a terminal.
class HiddenInput {
 public:
  HiddenInput();
  ~HiddenInput();
  HiddenInput(const HiddenInput&) = delete;
  HiddenInput& operator=(const HiddenInput&) = delete;

 private:
  struct Saved;
  std::unique_ptr<Saved> saved_;  // null when nothing was changed
};

// Reads one byte of standard input: 1, 0 at its end, -1 on failure.
[[nodiscard]] int ReadStandardInput(char& c);

// Sets up the process: on Windows, paths and texts in the ANSI code page.
void PrepareProcess();

}  // namespace quillon::pack
