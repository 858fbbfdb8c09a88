#include "reading/extract_host.h"

#include <cstring>

#include "support/pack_support.h"
#include "system/system.h"

namespace quillon::pack {

DirectoryHost::DirectoryHost(const std::filesystem::path& directory, LeadByteTest isLead, const NameEncoding& encoding,
                             bool overwrite, const std::string* password)
    : directory_(directory),
      tree_(directory),
      isLead_(isLead),
      encoding_(encoding),
      overwrite_(overwrite),
      password_(password) {}

DirectoryHost::~DirectoryHost() = default;

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

// Also a path that Components refuses: the message names the entry.
std::string DirectoryHost::Shown(const char* path) const {
  const size_t rootLength = std::strlen(kRoot);
  const char* p = path;
  if (std::strncmp(path, kRoot, rootLength) == 0 && (path[rootLength] == '\\' || path[rootLength] == '\0')) {
    p += rootLength;
    if (*p == '\\') ++p;
  }
  std::string below;
  while (*p != '\0') {
    const int32_t length = CharacterLength(p, isLead_);
    if (*p == '\\') {
      below += '/';
    } else {
      below.append(p, static_cast<size_t>(length));
    }
    p += length;
  }
  std::string shown = directory_.string();
  if (!below.empty()) {
    shown += '/';
    shown += encoding_.Shown(below);
  }
  return shown;
}

bool DirectoryHost::MakeDirectory(const char* directory) {
  current_ = EntryName(directory);
  // A directory entry's path ends with its separator.
  std::string path = directory;
  if (EndsWithBackslash(path.c_str(), isLead_)) StripBackslash(path.data(), isLead_);
  std::vector<std::string> components = Components(path.c_str());
  if (!components.empty() && components.front() == kRoot) return true;
  if (components.empty() || !tree_.MakeDirectories(components)) {
    problems_.push_back("cannot make directory " + Quote(Shown(directory)) +
                        (components.empty() ? ": it is not below the directory" : ": " + LastSystemError()));
    return false;
  }
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
  current_ = EntryName(path);
  const std::vector<std::string> components = Components(path);
  if (components.empty() || components.front() == kRoot) {
    lastError_ = "it is not below the directory";
    return nullptr;
  }
  // The installer creates only a file that is not there yet, and asks first
  // about one that is.
  exists = !replace && tree_.Exists(components);
  if (exists) {
    lastExisting_.clear();
    for (const std::string& component : components) lastExisting_ += (lastExisting_.empty() ? "" : "/") + component;
    lastError_ = "it exists";
    return nullptr;
  }
  open_ = tree_.MakeFile(components);
  lastError_ = open_ ? "" : LastSystemError();
  if (open_) counting_.file = open_.get();
  return open_ ? &counting_ : nullptr;
}

void DirectoryHost::CloseOutputFile(const EntryHeader& header, const char* path) {
  if (!open_) return;
  const std::string error = open_->Finish(header);
  open_.reset();
  if (counting_.progress != nullptr) counting_.progress->Add(1, 0);
  if (!error.empty()) problems_.push_back("cannot write " + Quote(Shown(path)) + ": " + error);
}

void DirectoryHost::FileCreated(const char* /*path*/) {
  ++filesWritten_;
}

int32_t DirectoryHost::CountingSink::Write(const void* buffer, int32_t count) {
  const int32_t written = file->Write(buffer, count);
  if (progress != nullptr && written > 0) progress->Add(0, written);
  return written;
}

void DirectoryHost::Report(const char* text, const char* caption) {
  if (std::strcmp(caption, Text(UiText::CannotOpenFile)) == 0) {
    problems_.push_back("cannot create " + Quote(Shown(text)) + (lastError_.empty() ? "" : ": " + lastError_));
  } else if (std::strcmp(caption, Text(UiText::DirectoryError)) != 0) {
    const std::string entry = current_.empty() ? "" : "entry " + Quote(current_) + ": ";
    problems_.push_back(entry + "the installer's extraction reports \"" + text + "\"");
  }
}

// The entry's name as the loop wrote it below the directory, with "/".
std::string DirectoryHost::EntryName(const char* path) const {
  const std::string shown = Shown(path);
  const std::string root = directory_.string() + "/";
  return shown.starts_with(root) ? shown.substr(root.size()) : shown;
}

}  // namespace quillon::pack
