#include "common/file_io.h"

#include <unistd.h>  // unlink; mingw has it too

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <utility>

namespace quillon::pack {

namespace {

// The temporary files of the run, removed when an interrupt ends the run
// before their destructors can: the installer and its part files. The handler
// reads the slots while the run may be changing them, hence the atomics.
constexpr size_t kMaxPending = 1 + kMaxPartFiles;
#ifdef SIGHUP
constexpr int kInterrupts[] = {SIGINT, SIGTERM, SIGHUP};
#else
constexpr int kInterrupts[] = {SIGINT, SIGTERM};  // Windows has no hang-up signal
#endif
std::atomic<const char*> pendingTemporaries[kMaxPending] = {};
static_assert(std::atomic<const char*>::is_always_lock_free);
size_t pendingCount = 0;

extern "C" void RemoveTemporariesAndStop(int signalNumber) {
  for (const std::atomic<const char*>& pending : pendingTemporaries) {
    const char* path = pending.load();
    if (path != nullptr) (void)unlink(path);  // async-signal-safe, as remove is not
  }
  (void)std::signal(signalNumber, SIG_DFL);
  (void)std::raise(signalNumber);
}

void WatchTemporary(const char* path) {
  for (std::atomic<const char*>& pending : pendingTemporaries) {
    const char* empty = nullptr;
    if (!pending.compare_exchange_strong(empty, path)) continue;
    if (pendingCount++ == 0) {
      for (const int signalNumber : kInterrupts) (void)std::signal(signalNumber, RemoveTemporariesAndStop);
    }
    return;
  }
}

void ForgetTemporary(const char* path) {
  for (std::atomic<const char*>& pending : pendingTemporaries) {
    const char* watched = path;
    if (!pending.compare_exchange_strong(watched, nullptr)) continue;
    if (--pendingCount == 0) {
      for (const int signalNumber : kInterrupts) (void)std::signal(signalNumber, SIG_DFL);
    }
    return;
  }
}

}  // namespace

std::string DescribeKind(FileKind kind) {
  switch (kind) {
    case FileKind::Regular:
      return "a regular file";
    case FileKind::Directory:
      return "a directory";
    case FileKind::Pipe:
      return "a pipe (FIFO)";
    case FileKind::Device:
      return "a device";
    case FileKind::Link:
    case FileKind::Other:
      break;
  }
  return "a special file";
}

namespace {

// A pipe's bytes up to its end; more than maxSize of them are refused.
Bytes ReadPipe(SystemFile& file, int64_t maxSize, const std::string& what, const std::string& shown) {
  if (!file.WaitForData()) throw PackError("cannot read " + what + " " + shown + ": " + LastSystemError());
  Bytes bytes;
  constexpr size_t kBlock = 65536;
  int64_t n = 1;
  while (n > 0 && static_cast<int64_t>(bytes.size()) <= maxSize) {
    const size_t done = bytes.size();
    bytes.resize(done + kBlock);
    n = file.Read(bytes.data() + done, kBlock);
    bytes.resize(done + static_cast<size_t>(std::max<int64_t>(n, 0)));
  }
  if (n < 0) throw PackError("cannot read " + what + " " + shown + ": " + LastSystemError());
  if (static_cast<int64_t>(bytes.size()) > maxSize) {
    throw PackError(what + " " + shown + " holds more than the " + std::to_string(maxSize) + " bytes allowed");
  }
  return bytes;
}

}  // namespace

Bytes ReadWholeFile(const std::filesystem::path& path, int64_t maxSize, const std::string& what, Pipes pipes) {
  const std::string shown = Quote(path.string());
  SystemFile file;
  if (!file.OpenForReading(path)) throw PackError("cannot open " + what + " " + shown + ": " + LastSystemError());
  const std::optional<FileStatus> status = file.Status();
  if (!status) throw PackError("cannot read " + what + " " + shown + ": " + LastSystemError());
  if (status->kind == FileKind::Pipe && pipes == Pipes::ReadToEnd) return ReadPipe(file, maxSize, what, shown);
  if (status->kind != FileKind::Regular) {
    throw PackError(what + " " + shown + " is " + DescribeKind(status->kind) + ", not a regular file");
  }
  if (status->size > maxSize) {
    throw PackError(what + " " + shown + " is " + std::to_string(status->size) + " bytes; at most " +
                    std::to_string(maxSize) + " are allowed");
  }
  Bytes bytes(static_cast<size_t>(status->size));
  size_t done = 0;
  int64_t n = 1;
  while (done < bytes.size() && n > 0) {
    n = file.Read(bytes.data() + done, bytes.size() - done);
    if (n > 0) done += static_cast<size_t>(n);
  }
  if (n < 0) throw PackError("cannot read " + what + " " + shown + ": " + LastSystemError());
  if (done < bytes.size()) throw PackError(what + " " + shown + " became shorter while it was read");
  // A file that grew meanwhile would be cut silently; refuse it instead.
  uint8_t probe = 0;
  if (file.Read(&probe, 1) != 0) throw PackError(what + " " + shown + " changed while it was read");
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
  MakeFolders(directory);
  std::filesystem::path made;
  if (!file_.CreateUnique(directory, "." + name + ".", made)) {
    throw PackError("cannot write output " + Quote(path_.string()) + ": cannot create a file in " +
                    Quote(directory.string()) + ": " + LastSystemError());
  }
  tempPath_ = made.string();
  WatchTemporary(tempPath_.c_str());
}

OutputFile::~OutputFile() {
  if (committed_) return;
  (void)file_.Close();
  if (!tempPath_.empty()) (void)unlink(tempPath_.c_str());
  ForgetTemporary(tempPath_.c_str());
  // The folders made for the output go too, unless something else is in them now.
  std::error_code error;
  for (auto folder = madeFolders_.rbegin(); folder != madeFolders_.rend(); ++folder) {
    if (!std::filesystem::remove(*folder, error)) break;
  }
}

// Makes the missing folders of the output's path, so that -o dist/setup.exe
// works in a fresh checkout; they are noted, to be removed again when the run
// fails.
void OutputFile::MakeFolders(const std::filesystem::path& directory) {
  std::vector<std::filesystem::path> missing;
  std::error_code error;
  for (std::filesystem::path folder = directory; !folder.empty() && !std::filesystem::exists(folder, error);
       folder = folder.parent_path()) {
    missing.push_back(folder);
    if (folder == folder.parent_path()) break;
  }
  for (auto folder = missing.rbegin(); folder != missing.rend(); ++folder) {
    if (!std::filesystem::create_directory(*folder, error) && error) {
      throw PackError("cannot write output " + Quote(path_.string()) + ": cannot make the folder " +
                      Quote(folder->string()) + ": " + error.message());
    }
    madeFolders_.push_back(*folder);
  }
}

void OutputFile::Fail(const std::string& action) const {
  throw PackError("cannot " + action + " output " + Quote(path_.string()) + ": " + LastSystemError());
}

void OutputFile::Write(const uint8_t* data, size_t size) {
  WriteAt(size_, data, size);
  size_ += static_cast<int64_t>(size);
}

void OutputFile::WriteAt(int64_t offset, const uint8_t* data, size_t size) {
  if (!file_.WriteAt(offset, data, size)) Fail("write");
}

void OutputFile::ReadAt(int64_t offset, uint8_t* data, size_t size) const {
  const int64_t n = file_.ReadAt(offset, data, size);
  if (n < 0) Fail("read back");
  if (n < static_cast<int64_t>(size)) {
    throw PackError("cannot read back output " + Quote(path_.string()) + ": it is shorter than written");
  }
}

void OutputFile::Truncate(int64_t size) {
  if (!file_.Truncate(size)) Fail("write");
  size_ = size;
}

void OutputFile::Complete() {
  if (!file_.Complete()) Fail("write");
}

void OutputFile::Commit() {
  if (file_.is_open()) Complete();
  if (!RenameOver(tempPath_, path_)) Fail("replace");
  committed_ = true;
  ForgetTemporary(tempPath_.c_str());
}

}  // namespace quillon::pack
