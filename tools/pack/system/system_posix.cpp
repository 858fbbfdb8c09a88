#include <dirent.h>
#include <fcntl.h>
#include <sched.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <thread>
#include <utility>

#include "support/pack_support.h"
#include "system/system.h"

namespace quillon::pack {

namespace {

FileStatus FromStat(const struct stat& info) {
  FileStatus status;
  if (S_ISREG(info.st_mode)) {
    status.kind = FileKind::Regular;
  } else if (S_ISDIR(info.st_mode)) {
    status.kind = FileKind::Directory;
  } else if (S_ISLNK(info.st_mode)) {
    status.kind = FileKind::Link;
  } else if (S_ISFIFO(info.st_mode)) {
    status.kind = FileKind::Pipe;
  } else if (S_ISCHR(info.st_mode) || S_ISBLK(info.st_mode)) {
    status.kind = FileKind::Device;
  }
  status.id = {static_cast<uint64_t>(info.st_dev), static_cast<uint64_t>(info.st_ino)};
  status.size = static_cast<int64_t>(info.st_size);
  status.modified = static_cast<int64_t>(info.st_mtim.tv_sec);
  return status;
}

int Descriptor(intptr_t handle) {
  return static_cast<int>(handle);
}

}  // namespace

std::string LastSystemError() {
  return std::strerror(errno);
}

void KeepSystemError() {}  // errno keeps it

std::optional<FileStatus> StatusOf(const std::filesystem::path& path, bool followLinks) {
  struct stat info {};
  if ((followLinks ? stat(path.c_str(), &info) : lstat(path.c_str(), &info)) != 0) return std::nullopt;
  return FromStat(info);
}

std::optional<std::vector<std::string>> ListDirectory(const std::filesystem::path& directory) {
  DIR* handle = opendir(directory.c_str());
  if (handle == nullptr) return std::nullopt;
  std::vector<std::string> names;
  errno = 0;
  while (const dirent* entry = readdir(handle)) {
    const std::string_view name = entry->d_name;
    if (name != "." && name != "..") names.emplace_back(name);
    errno = 0;
  }
  const int error = errno;
  closedir(handle);
  errno = error;
  if (error != 0) return std::nullopt;
  return names;
}

bool RemoveFile(const std::filesystem::path& path) {
  return unlink(path.c_str()) == 0;
}

bool RenameOver(const std::filesystem::path& from, const std::filesystem::path& to) {
  return std::rename(from.c_str(), to.c_str()) == 0;
}

SystemFile::~SystemFile() {
  if (is_open()) close(Descriptor(handle_));
}

SystemFile::SystemFile(SystemFile&& other) noexcept : handle_(std::exchange(other.handle_, kClosed)) {}

SystemFile& SystemFile::operator=(SystemFile&& other) noexcept {
  if (this != &other) {
    if (is_open()) close(Descriptor(handle_));
    handle_ = std::exchange(other.handle_, kClosed);
  }
  return *this;
}

// Without O_NONBLOCK, opening a FIFO waits for a writer, for ever if none
// comes; O_NOCTTY keeps a terminal from becoming the controlling one.
bool SystemFile::OpenForReading(const std::filesystem::path& path) {
  const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return false;
  handle_ = fd;
  return true;
}

// A pipe whose writer has gone reads as its end, also a FIFO that never had one.
bool SystemFile::WaitForData() {
  const int flags = fcntl(Descriptor(handle_), F_GETFL);
  return flags >= 0 && fcntl(Descriptor(handle_), F_SETFL, flags & ~O_NONBLOCK) == 0;
}

bool SystemFile::CreateUnique(const std::filesystem::path& directory, const std::string& prefix,
                              std::filesystem::path& made) {
  std::string pattern = (directory / (prefix + "XXXXXX")).string();
  const int fd = mkstemp(pattern.data());
  if (fd < 0) return false;
  handle_ = fd;
  made = pattern;
  return true;
}

std::optional<FileStatus> SystemFile::Status() const {
  struct stat info {};
  if (fstat(Descriptor(handle_), &info) != 0) return std::nullopt;
  return FromStat(info);
}

int64_t SystemFile::Read(uint8_t* data, size_t size) {
  while (true) {
    const ssize_t n = read(Descriptor(handle_), data, size);
    if (n < 0 && errno == EINTR) continue;
    return n;
  }
}

int64_t SystemFile::ReadAt(int64_t offset, uint8_t* data, size_t size) const {
  size_t done = 0;
  while (done < size) {
    const ssize_t n =
        pread(Descriptor(handle_), data + done, size - done, static_cast<off_t>(offset) + static_cast<off_t>(done));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return -1;
    if (n == 0) break;
    done += static_cast<size_t>(n);
  }
  return static_cast<int64_t>(done);
}

bool SystemFile::WriteAt(int64_t offset, const uint8_t* data, size_t size) {
  size_t done = 0;
  while (done < size) {
    const ssize_t n =
        pwrite(Descriptor(handle_), data + done, size - done, static_cast<off_t>(offset) + static_cast<off_t>(done));
    if (n < 0 && errno == EINTR) continue;
    if (n == 0) errno = ENOSPC;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

bool SystemFile::Truncate(int64_t size) {
  return ftruncate(Descriptor(handle_), static_cast<off_t>(size)) == 0;
}

bool SystemFile::Complete() {
  // mkstemp makes the file private; give it the mode of any newly created file.
  const mode_t mask = umask(0);
  umask(mask);
  if (fchmod(Descriptor(handle_), 0666 & ~mask) != 0) return false;
  if (fsync(Descriptor(handle_)) != 0) return false;
  return Close();
}

bool SystemFile::Close() {
  return close(Descriptor(std::exchange(handle_, kClosed))) == 0;
}

struct HeldInterrupts::Saved {
  sigset_t mask{};
};

HeldInterrupts::HeldInterrupts() : saved_(std::make_unique<Saved>()) {
  sigset_t held;
  sigemptyset(&held);
  for (const int signalNumber : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&held, signalNumber);
  sigprocmask(SIG_BLOCK, &held, &saved_->mask);
}

// One that arrived meanwhile is delivered now.
HeldInterrupts::~HeldInterrupts() {
  sigprocmask(SIG_SETMASK, &saved_->mask, nullptr);
}

void FillSystemRandom(uint8_t* data, size_t size) {
  size_t done = 0;
  while (done < size) {
    const ssize_t n = getrandom(data + done, size - done, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno == ENOSYS) break;
    if (n < 0) throw PackError(std::string("cannot get random bytes: ") + std::strerror(errno));
    done += static_cast<size_t>(n);
  }
  if (done == size) return;
  // Kernels before getrandom have the device.
  const int fd = open("/dev/urandom", O_RDONLY | O_CLOEXEC);
  if (fd < 0) throw PackError(std::string("cannot open /dev/urandom: ") + std::strerror(errno));
  while (done < size) {
    const ssize_t n = read(fd, data + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      close(fd);
      throw PackError("cannot read random bytes from /dev/urandom");
    }
    done += static_cast<size_t>(n);
  }
  close(fd);
}

bool LocalTime(int64_t seconds, std::tm& local) {
  const auto value = static_cast<time_t>(seconds);
  return localtime_r(&value, &local) != nullptr;
}

int UsableProcessors() {
  cpu_set_t usable;
  CPU_ZERO(&usable);
  if (sched_getaffinity(0, sizeof usable, &usable) == 0) return std::max(1, CPU_COUNT(&usable));
  return std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
}

std::filesystem::path ProgramFile(const char* programPath) {
  std::error_code error;
  std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error) self = std::filesystem::absolute(programPath);
  return self;
}

bool StandardInputIsTerminal() {
  return isatty(STDIN_FILENO) == 1;
}

// The line is redrawn with a carriage return and an erase to its end, which a
// terminal that calls itself dumb may not know.
bool CanRedrawErrorLine() {
  const char* terminal = std::getenv("TERM");  // NOLINT(concurrency-mt-unsafe): read before any thread starts
  return isatty(STDERR_FILENO) == 1 && (terminal == nullptr || std::string_view(terminal) != "dumb");
}

struct HiddenInput::Saved {
  termios settings{};
};

HiddenInput::HiddenInput() {
  termios settings{};
  if (tcgetattr(STDIN_FILENO, &settings) != 0) return;
  saved_ = std::make_unique<Saved>(Saved{settings});
  settings.c_lflag &= ~static_cast<tcflag_t>(ECHO);
  (void)tcsetattr(STDIN_FILENO, TCSAFLUSH, &settings);
}

HiddenInput::~HiddenInput() {
  if (saved_) (void)tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved_->settings);
}

int ReadStandardInput(char& c) {
  while (true) {
    const ssize_t n = read(STDIN_FILENO, &c, 1);
    if (n < 0 && errno == EINTR) continue;
    return static_cast<int>(n);
  }
}

void PrepareProcess() {}

}  // namespace quillon::pack
