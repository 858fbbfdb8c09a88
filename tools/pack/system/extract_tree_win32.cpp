#include <windows.h>

#include <optional>
#include <string_view>

#include "fs/path.h"
#include "support/pack_support.h"
#include "system/extract_tree.h"
#include "system/system.h"

namespace quillon::pack {

namespace {

constexpr DWORD kNothing = INVALID_FILE_ATTRIBUTES;

std::wstring Wide(const std::string& ansi) {
  if (ansi.empty()) return {};
  const int length = MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(length), L'\0');
  (void)MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), wide.data(), length);
  return wide;
}

// A component that Windows would not take as a plain name in its directory:
// a stream (colon), a wildcard (both looked for in the name as Windows reads
// it), a device (the installer's own rule, on the component's stem; "." and
// " " are never the second byte of a character, so the stem is found byte by
// byte).
bool IsPlainName(const std::string& component, const std::wstring& name) {
  if (name.find_first_of(L":<>\"|?*/\\") != std::wstring::npos) return false;
  std::string_view stem = std::string_view(component).substr(0, component.find('.'));
  while (!stem.empty() && stem.back() == ' ') stem.remove_suffix(1);
  return !IsDeviceStem(stem.data(), static_cast<int32_t>(stem.size()));
}

// The attributes of a path without following a reparse point at its end.
DWORD Attributes(const std::wstring& path) {
  return GetFileAttributesW(path.c_str());
}

bool IsDirectory(DWORD attributes) {
  return attributes != kNothing && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
         (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
}

// The modification time an entry gives its file: its DOS date and time as
// local time, converted as the installer converts it.
std::optional<FILETIME> EntryTime(const EntryHeader& header) {
  FILETIME local{};
  FILETIME universal{};
  if (DosDateTimeToFileTime(header.modDate, header.modTime, &local) == 0) return std::nullopt;
  if (LocalFileTimeToFileTime(&local, &universal) == 0) return std::nullopt;
  return universal;
}

class WindowsFile final : public ExtractedFile {
 public:
  explicit WindowsFile(HANDLE handle) : handle_(handle) {}
  ~WindowsFile() override {
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
  }
  WindowsFile(const WindowsFile&) = delete;
  WindowsFile& operator=(const WindowsFile&) = delete;

  int32_t Write(const void* buffer, int32_t count) override {
    DWORD done = 0;
    if (WriteFile(handle_, buffer, static_cast<DWORD>(count), &done, nullptr) == 0 && error_ == 0) {
      error_ = GetLastError();
    }
    return static_cast<int32_t>(done);
  }

  std::string Finish(const EntryHeader& header) override {
    if (const std::optional<FILETIME> when = EntryTime(header)) {
      if (SetFileTime(handle_, nullptr, &*when, &*when) == 0 && error_ == 0) error_ = GetLastError();
    }
    if (CloseHandle(handle_) == 0 && error_ == 0) error_ = GetLastError();
    handle_ = INVALID_HANDLE_VALUE;
    if (error_ == 0) return {};
    SetLastError(error_);
    KeepSystemError();
    return LastSystemError();
  }

 private:
  HANDLE handle_;
  DWORD error_ = 0;
};

}  // namespace

// Windows opens no directory relative to another; each path is checked
// component by component instead, and a reparse point (a link, a junction)
// on the way is refused.
struct ExtractionTree::Root {
  std::wstring path;

  // The path of the first `count` components, every one an existing plain
  // directory; nullopt otherwise.
  [[nodiscard]] std::optional<std::wstring> Directory(const Components& components, size_t count) const {
    std::wstring current = path;
    for (size_t i = 0; i < count; ++i) {
      const std::wstring name = Wide(components[i]);
      if (!IsPlainName(components[i], name)) {
        SetLastError(ERROR_INVALID_NAME);
        return std::nullopt;
      }
      current += L'\\' + name;
      if (!IsDirectory(Attributes(current))) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return std::nullopt;
      }
    }
    return current;
  }
};

ExtractionTree::ExtractionTree(const std::filesystem::path& directory) : root_(std::make_unique<Root>()) {
  root_->path = std::filesystem::absolute(directory).wstring();
  while (root_->path.size() > 3 && (root_->path.back() == L'\\' || root_->path.back() == L'/')) root_->path.pop_back();
  if (!IsDirectory(Attributes(root_->path))) {
    throw PackError("cannot open directory " + Quote(directory.string()) + ": it is no directory");
  }
}

ExtractionTree::~ExtractionTree() = default;

bool ExtractionTree::Exists(const Components& components) const {
  const std::optional<std::wstring> parent = root_->Directory(components, components.size() - 1);
  return parent && Attributes(*parent + L'\\' + Wide(components.back())) != kNothing;
}

bool ExtractionTree::MakeDirectories(const Components& components) {
  std::wstring current = root_->path;
  for (const std::string& component : components) {
    const std::wstring name = Wide(component);
    if (!IsPlainName(component, name)) {
      SetLastError(ERROR_INVALID_NAME);
      KeepSystemError();
      return false;
    }
    current += L'\\' + name;
    if (CreateDirectoryW(current.c_str(), nullptr) == 0 && !IsDirectory(Attributes(current))) {
      SetLastError(ERROR_CANNOT_MAKE);
      KeepSystemError();
      return false;
    }
  }
  return true;
}

std::unique_ptr<ExtractedFile> ExtractionTree::MakeFile(const Components& components) {
  const std::optional<std::wstring> parent = root_->Directory(components, components.size() - 1);
  const std::wstring name = Wide(components.back());
  if (!parent || !IsPlainName(components.back(), name)) {
    if (parent) SetLastError(ERROR_INVALID_NAME);
    KeepSystemError();
    return nullptr;
  }
  const std::wstring path = *parent + L'\\' + name;
  // A replaced file is made anew: a link there is removed, not followed.
  const DWORD existing = Attributes(path);
  if (existing != kNothing && (existing & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    if ((existing & FILE_ATTRIBUTE_READONLY) != 0) (void)SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    (void)DeleteFileW(path.c_str());
  }
  HANDLE handle = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    KeepSystemError();
    return nullptr;
  }
  return std::make_unique<WindowsFile>(handle);
}

}  // namespace quillon::pack
