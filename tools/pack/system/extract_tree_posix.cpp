#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <optional>

#include "support/pack_support.h"
#include "system/extract_tree.h"

namespace quillon::pack {

namespace {

constexpr int kDirectoryFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

// The modification time an entry gives its file: its DOS date and time as
// local time, as the installer sets it on the user's machine.
std::optional<time_t> EntryTime(const EntryHeader& header) {
  std::tm local{};
  local.tm_year = ((header.modDate >> 9) & 0x7F) + 80;
  local.tm_mon = ((header.modDate >> 5) & 0x0F) - 1;
  local.tm_mday = header.modDate & 0x1F;
  local.tm_hour = header.modTime >> 11;
  local.tm_min = (header.modTime >> 5) & 0x3F;
  local.tm_sec = (header.modTime & 0x1F) * 2;
  local.tm_isdst = -1;
  if (local.tm_mon < 0 || local.tm_mon > 11 || local.tm_mday == 0) return std::nullopt;
  const time_t seconds = std::mktime(&local);
  if (seconds == static_cast<time_t>(-1)) return std::nullopt;
  return seconds;
}

class PosixFile final : public ExtractedFile {
 public:
  explicit PosixFile(int fd) : fd_(fd) {}
  ~PosixFile() override {
    if (fd_ >= 0) close(fd_);
  }
  PosixFile(const PosixFile&) = delete;
  PosixFile& operator=(const PosixFile&) = delete;

  int32_t Write(const void* buffer, int32_t count) override {
    const auto* bytes = static_cast<const uint8_t*>(buffer);
    int32_t done = 0;
    while (done < count) {
      const ssize_t n = write(fd_, bytes + done, static_cast<size_t>(count - done));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        error_ = n < 0 ? errno : ENOSPC;
        break;
      }
      done += static_cast<int32_t>(n);
    }
    return done;
  }

  std::string Finish(const EntryHeader& header) override {
    if (const std::optional<time_t> when = EntryTime(header)) {
      const timespec times[2] = {{*when, 0}, {*when, 0}};
      if (futimens(fd_, times) != 0 && error_ == 0) error_ = errno;
    }
    if (close(fd_) != 0 && error_ == 0) error_ = errno;
    fd_ = -1;
    return error_ == 0 ? std::string() : std::strerror(error_);
  }

 private:
  int fd_;
  int error_ = 0;
};

}  // namespace

struct ExtractionTree::Root {
  int fd = -1;

  // The directory of the first `count` components, opened without following
  // links; -1 when it cannot be (errno says why).
  [[nodiscard]] int Open(const Components& components, size_t count) const {
    int current = dup(fd);
    for (size_t i = 0; i < count && current >= 0; ++i) {
      const int next = openat(current, components[i].c_str(), kDirectoryFlags);
      const int error = errno;
      close(current);
      current = next;
      errno = error;
    }
    return current;
  }
};

ExtractionTree::ExtractionTree(const std::filesystem::path& directory) : root_(std::make_unique<Root>()) {
  root_->fd = open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (root_->fd < 0) {
    throw PackError("cannot open directory " + Quote(directory.string()) + ": " + std::strerror(errno));
  }
}

ExtractionTree::~ExtractionTree() {
  close(root_->fd);
}

bool ExtractionTree::Exists(const Components& components) const {
  const int parent = root_->Open(components, components.size() - 1);
  if (parent < 0) return false;
  struct stat info {};
  const bool exists = fstatat(parent, components.back().c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0;
  close(parent);
  return exists;
}

bool ExtractionTree::MakeDirectories(const Components& components) {
  int fd = dup(root_->fd);
  for (const std::string& component : components) {
    if (fd < 0) return false;
    if (mkdirat(fd, component.c_str(), 0777) != 0 && errno != EEXIST) {
      close(fd);
      return false;
    }
    const int next = openat(fd, component.c_str(), kDirectoryFlags);
    const int error = errno;
    close(fd);
    fd = next;
    errno = error;
  }
  if (fd < 0) return false;
  close(fd);
  return true;
}

std::unique_ptr<ExtractedFile> ExtractionTree::MakeFile(const Components& components) {
  const int parent = root_->Open(components, components.size() - 1);
  if (parent < 0) return nullptr;
  // A replaced file is made anew: whatever the old name led to stays as it was.
  const char* leaf = components.back().c_str();
  struct stat info {};
  if (fstatat(parent, leaf, &info, AT_SYMLINK_NOFOLLOW) == 0 && !S_ISDIR(info.st_mode)) (void)unlinkat(parent, leaf, 0);
  const int fd = openat(parent, leaf, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
  const int error = errno;
  close(parent);
  errno = error;
  if (fd < 0) return nullptr;
  return std::make_unique<PosixFile>(fd);
}

}  // namespace quillon::pack
