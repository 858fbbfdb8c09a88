#include "file_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <utility>

namespace quillon::pack {

namespace {

std::string ErrorText(int error) {
  return std::strerror(error);
}

// Closes a descriptor when it goes out of scope.
class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  ~FileDescriptor() {
    if (fd_ >= 0) close(fd_);
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  [[nodiscard]] int get() const { return fd_; }

 private:
  int fd_;
};

// The temporary files of the run, removed when an interrupt ends the run
// before their destructors can: the installer and its part files. The handler
// reads the slots while the run may be changing them, hence the atomics.
constexpr size_t kMaxPending = 1 + kMaxPartFiles;
std::atomic<const char*> pendingTemporaries[kMaxPending] = {};
static_assert(std::atomic<const char*>::is_always_lock_free);
size_t pendingCount = 0;

extern "C" void RemoveTemporariesAndStop(int signalNumber) {
  for (const std::atomic<const char*>& pending : pendingTemporaries) {
    const char* path = pending.load();
    if (path != nullptr) unlink(path);
  }
  (void)std::signal(signalNumber, SIG_DFL);
  (void)std::raise(signalNumber);
}

void WatchTemporary(const char* path) {
  for (std::atomic<const char*>& pending : pendingTemporaries) {
    const char* empty = nullptr;
    if (!pending.compare_exchange_strong(empty, path)) continue;
    if (pendingCount++ == 0) {
      for (const int signalNumber : {SIGINT, SIGTERM, SIGHUP})
        (void)std::signal(signalNumber, RemoveTemporariesAndStop);
    }
    return;
  }
}

void ForgetTemporary(const char* path) {
  for (std::atomic<const char*>& pending : pendingTemporaries) {
    const char* watched = path;
    if (!pending.compare_exchange_strong(watched, nullptr)) continue;
    if (--pendingCount == 0) {
      for (const int signalNumber : {SIGINT, SIGTERM, SIGHUP}) (void)std::signal(signalNumber, SIG_DFL);
    }
    return;
  }
}

}  // namespace

void Warn(const std::string& message) {
  (void)std::fprintf(stderr, "quillon-pack: warning: %s\n", message.c_str());
}

std::string Quote(std::string_view text) {
  return "'" + std::string(text) + "'";
}

Bytes ReadWholeFile(const std::filesystem::path& path, int64_t maxSize, const std::string& what) {
  const std::string shown = Quote(path.string());
  FileDescriptor file(open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (file.get() < 0) throw PackError("cannot open " + what + " " + shown + ": " + ErrorText(errno));
  struct stat info {};
  if (fstat(file.get(), &info) != 0) throw PackError("cannot read " + what + " " + shown + ": " + ErrorText(errno));
  if (S_ISDIR(info.st_mode)) throw PackError(what + " " + shown + " is a directory, not a file");
  if (!S_ISREG(info.st_mode)) throw PackError(what + " " + shown + " is not a regular file");
  if (info.st_size > maxSize) {
    throw PackError(what + " " + shown + " is " + std::to_string(info.st_size) + " bytes; at most " +
                    std::to_string(maxSize) + " are allowed");
  }
  Bytes bytes(static_cast<size_t>(info.st_size));
  size_t done = 0;
  int readError = 0;
  while (done < bytes.size()) {
    const ssize_t n = read(file.get(), bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) readError = errno;
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  if (readError != 0) throw PackError("cannot read " + what + " " + shown + ": " + ErrorText(readError));
  if (done < bytes.size()) throw PackError(what + " " + shown + " became shorter while it was read");
  // A file that grew meanwhile would be cut silently; refuse it instead.
  uint8_t probe = 0;
  ssize_t extra = 0;
  do {
    extra = read(file.get(), &probe, 1);
  } while (extra < 0 && errno == EINTR);
  if (extra != 0) throw PackError(what + " " + shown + " changed while it was read");
  return bytes;
}

OutputFile::OutputFile(std::filesystem::path path) : path_(std::move(path)) {
  const std::filesystem::path directory = path_.has_parent_path() ? path_.parent_path() : ".";
  const std::string name = path_.filename().string();
  if (name.empty() || name == "." || name == "..") {
    throw PackError("output " + Quote(path_.string()) + " does not name a file");
  }
  std::error_code error;
  if (std::filesystem::is_directory(path_, error)) {
    throw PackError("cannot write output " + Quote(path_.string()) + ": it is a directory");
  }
  std::string pattern = (directory / ("." + name + ".XXXXXX")).string();
  fd_ = mkstemp(pattern.data());
  if (fd_ < 0) {
    throw PackError("cannot write output " + Quote(path_.string()) + ": cannot create a file in " +
                    Quote(directory.string()) + ": " + ErrorText(errno));
  }
  tempPath_ = pattern;
  WatchTemporary(tempPath_.c_str());
}

OutputFile::~OutputFile() {
  if (committed_) return;
  if (fd_ >= 0) close(fd_);
  if (!tempPath_.empty()) unlink(tempPath_.c_str());
  ForgetTemporary(tempPath_.c_str());
}

void OutputFile::Fail(const std::string& action) const {
  throw PackError("cannot " + action + " output " + Quote(path_.string()) + ": " + ErrorText(errno));
}

void OutputFile::Write(const uint8_t* data, size_t size) {
  WriteAt(size_, data, size);
  size_ += static_cast<int64_t>(size);
}

void OutputFile::WriteAt(int64_t offset, const uint8_t* data, size_t size) {
  size_t done = 0;
  while (done < size) {
    const ssize_t n = pwrite(fd_, data + done, size - done, static_cast<off_t>(offset) + static_cast<off_t>(done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) Fail("write");
    done += static_cast<size_t>(n);
  }
}

void OutputFile::ReadAt(int64_t offset, uint8_t* data, size_t size) const {
  size_t done = 0;
  while (done < size) {
    const ssize_t n = pread(fd_, data + done, size - done, static_cast<off_t>(offset) + static_cast<off_t>(done));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) Fail("read back");
    if (n == 0) {
      errno = EIO;
      Fail("read back");
    }
    done += static_cast<size_t>(n);
  }
}

void OutputFile::Truncate(int64_t size) {
  if (ftruncate(fd_, static_cast<off_t>(size)) != 0) Fail("write");
  size_ = size;
}

void OutputFile::Complete() {
  // mkstemp makes the file private; give it the mode of any newly created file.
  const mode_t mask = umask(0);
  umask(mask);
  if (fchmod(fd_, 0666 & ~mask) != 0) Fail("set the mode of");
  if (fsync(fd_) != 0) Fail("write");
  const int fd = std::exchange(fd_, -1);
  if (close(fd) != 0) Fail("write");
}

void OutputFile::Commit() {
  if (fd_ >= 0) Complete();
  if (std::rename(tempPath_.c_str(), path_.c_str()) != 0) Fail("replace");
  committed_ = true;
  ForgetTemporary(tempPath_.c_str());
}

}  // namespace quillon::pack
