#include "extract_host.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>

#include "pack_support.h"

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

}  // namespace

// An entry's output file; a failed write shows up as a short count.
class DirectoryHost::FileSink final : public OutputSink {
 public:
  explicit FileSink(int fd) : fd_(fd) {}
  ~FileSink() {
    if (fd_ >= 0) close(fd_);
  }
  FileSink(const FileSink&) = delete;
  FileSink& operator=(const FileSink&) = delete;

  int32_t Write(const void* buffer, int32_t count) override {
    const auto* bytes = static_cast<const uint8_t*>(buffer);
    int32_t done = 0;
    while (done < count) {
      const ssize_t n = write(fd_, bytes + done, static_cast<size_t>(count - done));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        error = n < 0 ? errno : ENOSPC;
        break;
      }
      done += static_cast<int32_t>(n);
    }
    return done;
  }

  // Closes the file; the error of the close or of an earlier write, or 0.
  int Finish(const EntryHeader& header) {
    if (const std::optional<time_t> when = EntryTime(header)) {
      const timespec times[2] = {{*when, 0}, {*when, 0}};
      if (futimens(fd_, times) != 0 && error == 0) error = errno;
    }
    if (close(fd_) != 0 && error == 0) error = errno;
    fd_ = -1;
    return error;
  }

  int error = 0;

 private:
  int fd_;
};

DirectoryHost::DirectoryHost(const std::filesystem::path& directory, LeadByteTest isLead, const NameEncoding& encoding,
                             bool overwrite, const std::string* password)
    : directory_(directory), isLead_(isLead), encoding_(encoding), overwrite_(overwrite), password_(password) {
  rootFd_ = open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (rootFd_ < 0) throw PackError("cannot open directory " + Quote(directory.string()) + ": " + std::strerror(errno));
}

DirectoryHost::~DirectoryHost() {
  open_.reset();
  if (rootFd_ >= 0) close(rootFd_);
}

std::vector<std::string> DirectoryHost::Components(const char* path) const {
  const size_t rootLength = std::strlen(kRoot);
  if (std::strncmp(path, kRoot, rootLength) != 0 || (path[rootLength] != '\0' && path[rootLength] != '\\')) return {};
  std::vector<std::string> components;
  std::string current;
  bool valid = true;
  const auto finish = [&] {
    const std::optional<std::string> converted = encoding_.ToUtf8(current);
    if (current.empty() || current == "." || current == ".." || !converted ||
        converted->find_first_of(std::string("/\0", 2)) != std::string::npos) {
      valid = false;
    } else {
      components.push_back(*converted);
    }
    current.clear();
  };
  const char* p = path + rootLength;
  if (*p == '\0') return {kRoot};
  for (++p; *p != '\0';) {
    const int32_t length = CharacterLength(p, isLead_);
    if (*p == '\\') {
      finish();
    } else {
      current.append(p, static_cast<size_t>(length));
    }
    p += length;
  }
  finish();
  if (!valid) return {};
  return components;
}

int DirectoryHost::OpenDirectory(const std::vector<std::string>& components, size_t count) const {
  int fd = dup(rootFd_);
  for (size_t i = 0; i < count && fd >= 0; ++i) {
    const int next = openat(fd, components[i].c_str(), kDirectoryFlags);
    const int error = errno;
    close(fd);
    fd = next;
    errno = error;
  }
  return fd;
}

std::string DirectoryHost::Shown(const char* path) const {
  std::string shown = directory_.string();
  for (const std::string& component : Components(path)) {
    if (component != kRoot) shown += "/" + component;
  }
  return shown;
}

bool DirectoryHost::MakeDirectory(const char* directory) {
  // A directory entry's path ends with its separator.
  std::string path = directory;
  if (EndsWithBackslash(path.c_str(), isLead_)) StripBackslash(path.data(), isLead_);
  std::vector<std::string> components = Components(path.c_str());
  if (!components.empty() && components.front() == kRoot) return true;
  int fd = components.empty() ? -1 : dup(rootFd_);
  for (const std::string& component : components) {
    if (fd < 0) break;
    if (mkdirat(fd, component.c_str(), 0777) != 0 && errno != EEXIST) {
      close(fd);
      fd = -1;
      break;
    }
    const int next = openat(fd, component.c_str(), kDirectoryFlags);
    const int error = errno;
    close(fd);
    fd = next;
    errno = error;
  }
  if (fd < 0) {
    problems_.push_back(
        "cannot make directory " + Quote(Shown(directory)) +
        (components.empty() ? ": it is not below the directory" : std::string(": ") + std::strerror(errno)));
    return false;
  }
  close(fd);
  return true;
}

bool DirectoryHost::ReplaceExisting(const char* /*name*/) {
  if (!overwrite_) kept_.push_back(lastExisting_);
  return overwrite_;
}

bool DirectoryHost::AskPassword(PasswordText& typed) {
  if (password_ == nullptr || passwordGiven_) return false;
  passwordGiven_ = true;
  typed.Append(password_->data(), static_cast<int32_t>(password_->size()));
  return true;
}

OutputSink* DirectoryHost::CreateOutputFile(const char* path, bool replace, bool& exists) {
  const std::vector<std::string> components = Components(path);
  if (components.empty() || components.front() == kRoot) {
    lastError_ = "it is not below the directory";
    return nullptr;
  }
  const int parent = OpenDirectory(components, components.size() - 1);
  if (parent < 0) {
    lastError_ = std::strerror(errno);
    return nullptr;
  }
  // A replaced file is made anew: whatever the old name led to stays as it was.
  const char* leaf = components.back().c_str();
  struct stat info {};
  if (replace && fstatat(parent, leaf, &info, AT_SYMLINK_NOFOLLOW) == 0 && !S_ISDIR(info.st_mode)) {
    (void)unlinkat(parent, leaf, 0);
  }
  const int fd = openat(parent, leaf, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
  const int error = errno;
  lastError_ = fd < 0 ? std::strerror(error) : "";
  close(parent);
  if (fd < 0) {
    exists = error == EEXIST;
    if (exists) {
      lastExisting_.clear();
      for (const std::string& component : components) lastExisting_ += (lastExisting_.empty() ? "" : "/") + component;
    }
    return nullptr;
  }
  open_ = std::make_unique<FileSink>(fd);
  return open_.get();
}

void DirectoryHost::CloseOutputFile(const EntryHeader& header, const char* path) {
  if (!open_) return;
  const int error = open_->Finish(header);
  open_.reset();
  if (error != 0) problems_.push_back("cannot write " + Quote(Shown(path)) + ": " + std::strerror(error));
}

void DirectoryHost::FileCreated(const char* /*path*/) {
  ++filesWritten_;
}

void DirectoryHost::Report(const char* text, const char* caption) {
  if (std::strcmp(caption, kCannotOpenFile) == 0) {
    problems_.push_back("cannot create " + Quote(Shown(text)) + (lastError_.empty() ? "" : ": " + lastError_));
  } else if (std::strcmp(caption, kDirectoryError) != 0) {
    problems_.push_back(std::string("the installer's extraction reports \"") + text + "\"");
  }
}

}  // namespace quillon::pack
