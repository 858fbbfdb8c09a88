// Paths reach Windows as the wide names of std::filesystem::path; narrow
// texts, arguments and names are in the ANSI code page of the machine, which
// PrepareProcess makes the C library's (and so the path conversions') code
// page.
#include <windows.h>
// Must follow windows.h.
#include <ntsecapi.h>

#include <algorithm>
#include <bit>
#include <clocale>
#include <string_view>
#include <utility>

#include "support/pack_support.h"
#include "system/system.h"

namespace quillon::pack {

namespace {

thread_local DWORD lastError = 0;

bool Failed() {
  lastError = GetLastError();
  return false;
}

HANDLE Handle(intptr_t handle) {
  return reinterpret_cast<HANDLE>(handle);  // NOLINT(performance-no-int-to-ptr): a handle kept as a number
}

int64_t FromFileTime(const FILETIME& time) {
  const uint64_t ticks = uint64_t{time.dwHighDateTime} << 32 | time.dwLowDateTime;
  constexpr int64_t kTicksTo1970 = 116444736000000000;
  const int64_t since1970 = static_cast<int64_t>(ticks) - kTicksTo1970;
  // Whole seconds, rounded down also before 1970.
  return since1970 >= 0 ? since1970 / 10000000 : -((-since1970 + 9999999) / 10000000);
}

FileStatus FromInformation(const BY_HANDLE_FILE_INFORMATION& info, DWORD type) {
  FileStatus status;
  if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    status.kind = FileKind::Directory;
  } else if (type == FILE_TYPE_DISK) {
    status.kind = FileKind::Regular;
  }
  status.id = {info.dwVolumeSerialNumber, uint64_t{info.nFileIndexHigh} << 32 | info.nFileIndexLow};
  status.size = static_cast<int64_t>(uint64_t{info.nFileSizeHigh} << 32 | info.nFileSizeLow);
  status.modified = FromFileTime(info.ftLastWriteTime);
  return status;
}

std::optional<FileStatus> StatusOfHandle(HANDLE handle) {
  BY_HANDLE_FILE_INFORMATION info{};
  const DWORD type = GetFileType(handle);
  if (type != FILE_TYPE_DISK) {
    // Consoles, pipes and devices have no file information.
    FileStatus status;
    status.kind = type == FILE_TYPE_PIPE ? FileKind::Pipe : type == FILE_TYPE_CHAR ? FileKind::Device : FileKind::Other;
    return status;
  }
  if (GetFileInformationByHandle(handle, &info) == 0) {
    Failed();
    return std::nullopt;
  }
  return FromInformation(info, type);
}

// A wide name in the ANSI code page; nullopt when it has a character that the
// code page lacks.
std::optional<std::string> ToAnsi(std::wstring_view wide) {
  if (wide.empty()) return std::string();
  BOOL lossy = FALSE;
  const int length = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), static_cast<int>(wide.size()),
                                         nullptr, 0, nullptr, &lossy);
  if (length <= 0 || lossy != FALSE) return std::nullopt;
  std::string text(static_cast<size_t>(length), '\0');
  (void)WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), static_cast<int>(wide.size()), text.data(),
                            length, nullptr, nullptr);
  return text;
}

// One call moves at most 1 GiB: a DWORD count, and well below its limit.
DWORD Piece(size_t size) {
  return static_cast<DWORD>(std::min<size_t>(size, size_t{1} << 30));
}

// Where a positioned read or write starts.
OVERLAPPED At(uint64_t position) {
  OVERLAPPED at{};
  at.Offset = static_cast<DWORD>(position);
  at.OffsetHigh = static_cast<DWORD>(position >> 32);
  return at;
}

}  // namespace

std::string LastSystemError() {
  char* text = nullptr;
  const DWORD length =
      FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                     nullptr, lastError, 0, reinterpret_cast<char*>(&text), 0, nullptr);
  std::string message = length > 0 && text != nullptr ? std::string(text, length) : std::string();
  LocalFree(text);
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == '.')) {
    message.pop_back();
  }
  if (message.empty()) message = "Windows error " + std::to_string(lastError);
  return message;
}

void KeepSystemError() {
  lastError = GetLastError();
}

std::optional<FileStatus> StatusOf(const std::filesystem::path& path, bool followLinks) {
  const DWORD flags = FILE_FLAG_BACKUP_SEMANTICS | (followLinks ? 0 : FILE_FLAG_OPEN_REPARSE_POINT);
  HANDLE handle = CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, flags, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    Failed();
    return std::nullopt;
  }
  std::optional<FileStatus> status = StatusOfHandle(handle);
  if (status && !followLinks) {
    FILE_ATTRIBUTE_TAG_INFO tag{};
    if (GetFileInformationByHandleEx(handle, FileAttributeTagInfo, &tag, sizeof tag) != 0 &&
        (tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
      status->kind = FileKind::Link;
    }
  }
  CloseHandle(handle);
  return status;
}

std::optional<std::vector<std::string>> ListDirectory(const std::filesystem::path& directory) {
  WIN32_FIND_DATAW found{};
  HANDLE search = FindFirstFileW((directory / L"*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) {
    Failed();
    return std::nullopt;
  }
  std::vector<std::string> names;
  do {
    const std::wstring_view name = found.cFileName;
    if (name == L"." || name == L"..") continue;
    std::optional<std::string> ansi = ToAnsi(name);
    if (!ansi) {
      FindClose(search);
      throw PackError("the name of a file in " + Quote(directory.string()) +
                      " has a character that the ANSI code page of this machine lacks; rename it");
    }
    names.push_back(std::move(*ansi));
  } while (FindNextFileW(search, &found) != 0);
  const DWORD error = GetLastError();
  FindClose(search);
  if (error != ERROR_NO_MORE_FILES) {
    lastError = error;
    return std::nullopt;
  }
  return names;
}

bool RemoveFile(const std::filesystem::path& path) {
  return DeleteFileW(path.c_str()) != 0 || Failed();
}

bool RenameOver(const std::filesystem::path& from, const std::filesystem::path& to) {
  return MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0 || Failed();
}

SystemFile::~SystemFile() {
  if (is_open()) CloseHandle(Handle(handle_));
}

SystemFile::SystemFile(SystemFile&& other) noexcept : handle_(std::exchange(other.handle_, kClosed)) {}

SystemFile& SystemFile::operator=(SystemFile&& other) noexcept {
  if (this != &other) {
    if (is_open()) CloseHandle(Handle(handle_));
    handle_ = std::exchange(other.handle_, kClosed);
  }
  return *this;
}

bool SystemFile::OpenForReading(const std::filesystem::path& path) {
  // Backup semantics: a directory opens too, and is then refused as one.
  HANDLE handle = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return Failed();
  handle_ = reinterpret_cast<intptr_t>(handle);
  return true;
}

bool SystemFile::CreateUnique(const std::filesystem::path& directory, const std::string& prefix,
                              std::filesystem::path& made) {
  // Shared for deletion, so that an interrupt can remove it while it is open.
  static constexpr char kDigits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
  for (int attempt = 0; attempt < 100; ++attempt) {
    uint8_t random[6];
    FillSystemRandom(random, sizeof random);
    std::string name = prefix;
    for (const uint8_t byte : random) name += kDigits[byte % 36];
    const std::filesystem::path candidate = directory / name;
    HANDLE handle = CreateFileW(candidate.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle != INVALID_HANDLE_VALUE) {
      handle_ = reinterpret_cast<intptr_t>(handle);
      made = candidate;
      return true;
    }
    if (GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS) return Failed();
  }
  return Failed();
}

// Reads from a pipe wait for data already.
bool SystemFile::WaitForData() {
  return true;
}

std::optional<FileStatus> SystemFile::Status() const {
  return StatusOfHandle(Handle(handle_));
}

int64_t SystemFile::Read(uint8_t* data, size_t size) {
  DWORD done = 0;
  const DWORD wanted = Piece(size);
  if (ReadFile(Handle(handle_), data, wanted, &done, nullptr) == 0) {
    if (GetLastError() == ERROR_BROKEN_PIPE) return 0;  // a pipe's end
    Failed();
    return -1;
  }
  return done;
}

int64_t SystemFile::ReadAt(int64_t offset, uint8_t* data, size_t size) const {
  size_t done = 0;
  while (done < size) {
    OVERLAPPED at = At(static_cast<uint64_t>(offset) + done);
    DWORD n = 0;
    const DWORD wanted = Piece(size - done);
    if (ReadFile(Handle(handle_), data + done, wanted, &n, &at) == 0) {
      if (GetLastError() == ERROR_HANDLE_EOF) break;
      Failed();
      return -1;
    }
    if (n == 0) break;
    done += n;
  }
  return static_cast<int64_t>(done);
}

bool SystemFile::WriteAt(int64_t offset, const uint8_t* data, size_t size) {
  size_t done = 0;
  while (done < size) {
    OVERLAPPED at = At(static_cast<uint64_t>(offset) + done);
    DWORD n = 0;
    const DWORD wanted = Piece(size - done);
    if (WriteFile(Handle(handle_), data + done, wanted, &n, &at) == 0) return Failed();
    if (n == 0) {
      lastError = ERROR_DISK_FULL;
      return false;
    }
    done += n;
  }
  return true;
}

bool SystemFile::Truncate(int64_t size) {
  LARGE_INTEGER position{};
  position.QuadPart = size;
  if (SetFilePointerEx(Handle(handle_), position, nullptr, FILE_BEGIN) == 0) return Failed();
  return SetEndOfFile(Handle(handle_)) != 0 || Failed();
}

bool SystemFile::Complete() {
  if (FlushFileBuffers(Handle(handle_)) == 0) return Failed();
  return Close();
}

bool SystemFile::Close() {
  return CloseHandle(Handle(std::exchange(handle_, kClosed))) != 0 || Failed();
}

// Ctrl+C and Ctrl+Break are ignored meanwhile; Windows cannot hold them back
// for later.
struct HeldInterrupts::Saved {};

HeldInterrupts::HeldInterrupts() {
  (void)SetConsoleCtrlHandler(nullptr, TRUE);
}

HeldInterrupts::~HeldInterrupts() {
  (void)SetConsoleCtrlHandler(nullptr, FALSE);
}

void FillSystemRandom(uint8_t* data, size_t size) {
  while (size > 0) {
    const auto chunk = static_cast<ULONG>(std::min<size_t>(size, 1u << 20));
    if (RtlGenRandom(data, chunk) == FALSE) throw PackError("cannot get random bytes from Windows");
    data += chunk;
    size -= chunk;
  }
}

bool LocalTime(int64_t seconds, std::tm& local) {
  const __time64_t value = seconds;
  return _localtime64_s(&local, &value) == 0;
}

int UsableProcessors() {
  DWORD_PTR process = 0;
  DWORD_PTR system = 0;
  if (GetProcessAffinityMask(GetCurrentProcess(), &process, &system) != 0 && process != 0) {
    return std::popcount(static_cast<uintptr_t>(process));
  }
  SYSTEM_INFO info{};
  GetSystemInfo(&info);
  return std::max(1, static_cast<int>(info.dwNumberOfProcessors));
}

std::filesystem::path ProgramFile(const char* programPath) {
  std::wstring name(MAX_PATH, L'\0');
  while (true) {
    const DWORD length = GetModuleFileNameW(nullptr, name.data(), static_cast<DWORD>(name.size()));
    if (length == 0) return std::filesystem::absolute(programPath);
    if (length < name.size()) {
      name.resize(length);
      return name;
    }
    name.resize(name.size() * 2);
  }
}

bool StandardInputIsTerminal() {
  DWORD mode = 0;
  return GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode) != 0;
}

// A console that takes the erase sequence (Windows 10 on).
bool CanRedrawErrorLine() {
  HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
  DWORD mode = 0;
  if (GetConsoleMode(error, &mode) == 0) return false;
  return SetConsoleMode(error, mode | ENABLE_PROCESSED_OUTPUT | ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0;
}

struct HiddenInput::Saved {
  DWORD mode = 0;
};

HiddenInput::HiddenInput() {
  DWORD mode = 0;
  HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  if (GetConsoleMode(input, &mode) == 0) return;
  saved_ = std::make_unique<Saved>(Saved{mode});
  (void)SetConsoleMode(input, mode & ~static_cast<DWORD>(ENABLE_ECHO_INPUT));
}

HiddenInput::~HiddenInput() {
  if (saved_) (void)SetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), saved_->mode);
}

int ReadStandardInput(char& c) {
  DWORD n = 0;
  if (ReadFile(GetStdHandle(STD_INPUT_HANDLE), &c, 1, &n, nullptr) == 0) {
    if (GetLastError() == ERROR_BROKEN_PIPE) return 0;
    Failed();
    return -1;
  }
  return static_cast<int>(n);
}

void PrepareProcess() {
  // The C library's multibyte functions, through which std::filesystem turns
  // narrow paths into wide ones and back, work in the ANSI code page from
  // here on (not in Latin-1, as in the "C" locale). Numbers keep their point.
  (void)std::setlocale(LC_CTYPE, "");
}

}  // namespace quillon::pack
