// The extraction loop's host for tests and fuzzers: a file system in memory
// below one work directory, with scripted answers to the prompts. It fails
// the run (escaped) when anything would be created outside the work directory.
#pragma once

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "package/extract.h"

namespace quillon::test {

class MemoryHost final : public ExtractionHost {
 public:
  explicit MemoryHost(std::string workDirectory) : root_(std::move(workDirectory)) {}

  bool MakeDirectory(const char* directory) override {
    ++directoryCalls;
    std::string path = directory;
    while (!path.empty() && path.back() == '\\') path.pop_back();
    if (!Inside(path, true)) return false;
    for (size_t at = root_.size(); at != std::string::npos; at = path.find('\\', at + 1)) {
      const std::string key = Fold(path.substr(0, at));
      if (files.contains(key)) {
        Report(directory, Text(UiText::DirectoryError));
        return false;
      }
      directories.insert(key);
    }
    directories.insert(Fold(path));
    return true;
  }

  bool ReplaceExisting(const char* name) override {
    prompts.emplace_back(name);
    return replaceAnswers.empty() ? false : Next(replaceAnswers);
  }

  bool AskPassword(PasswordText& typed) override {
    ++passwordPrompts;
    if (passwords.empty()) return false;
    const std::string password = Next(passwords);
    if (password == kCancel) return false;
    typed.Append(password.c_str());
    return true;
  }

  OutputSink* CreateOutputFile(const char* path, bool replace, bool& exists) override {
    ++createCalls;
    if (!Inside(path, false)) return nullptr;
    const std::string key = Fold(path);
    if (!replace && (files.contains(key) || directories.contains(key))) {
      exists = true;
      return nullptr;
    }
    if (directories.contains(key) || failCreate) return nullptr;
    const std::string parent = Fold(std::string(path).substr(0, std::string(path).rfind('\\')));
    if (!directories.contains(parent) && parent != Fold(root_)) return nullptr;
    open_ = std::make_unique<FileSink>(files[key], writeCapacity);
    files[key].clear();
    return open_.get();
  }

  void CloseOutputFile(const EntryHeader& header, const char* path) override {
    times[Fold(path)] = {header.modDate, header.modTime};
    open_.reset();
  }

  void FileCreated(const char* path) override { created.emplace_back(path); }

  void Report(const char* text, const char* caption) override { reports.emplace_back(text, caption); }

  // The bytes of a file by its path below the work directory ("/" or "\").
  [[nodiscard]] const std::vector<uint8_t>* File(std::string relative) const {
    std::replace(relative.begin(), relative.end(), '/', '\\');
    const auto found = files.find(Fold(root_ + "\\" + relative));
    return found == files.end() ? nullptr : &found->second;
  }

  static constexpr const char* kCancel = "(cancel)";

  std::map<std::string, std::vector<uint8_t>> files;  // by folded full path
  std::set<std::string> directories;
  std::map<std::string, std::pair<uint16_t, uint16_t>> times;
  std::vector<std::pair<std::string, std::string>> reports;
  std::vector<std::string> created;
  std::vector<std::string> prompts;
  std::vector<bool> replaceAnswers;    // taken in turn; empty: keep
  std::vector<std::string> passwords;  // taken in turn; empty or kCancel: cancel
  int passwordPrompts = 0;
  // Calls that look at the file system: each costs a directory search on a
  // system that matches names without regard to case.
  int directoryCalls = 0;
  int createCalls = 0;
  int64_t writeCapacity = -1;  // bytes the disk takes in all; below 0: unlimited
  bool failCreate = false;
  bool escaped = false;

 private:
  class FileSink final : public OutputSink {
   public:
    FileSink(std::vector<uint8_t>& bytes, int64_t& capacity) : bytes_(bytes), capacity_(capacity) {}
    int32_t Write(const void* buffer, int32_t count) override {
      int32_t n = count;
      if (capacity_ >= 0) n = static_cast<int32_t>(std::min<int64_t>(count, capacity_));
      if (capacity_ >= 0) capacity_ -= n;
      const auto* p = static_cast<const uint8_t*>(buffer);
      bytes_.insert(bytes_.end(), p, p + n);
      return n;
    }

   private:
    std::vector<uint8_t>& bytes_;
    int64_t& capacity_;
  };

  template <typename T>
  static T Next(std::vector<T>& answers) {
    T answer = answers.front();
    answers.erase(answers.begin());
    return answer;
  }

  static std::string Fold(std::string path) {
    for (char& c : path) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return path;
  }

  // Below the work directory, with no step up, no drive and no stream.
  bool Inside(const std::string& path, bool mayBeRoot) {
    const std::string folded = Fold(path);
    const std::string root = Fold(root_);
    bool inside = folded == root ? mayBeRoot : folded.rfind(root + "\\", 0) == 0;
    const std::string rest = inside ? folded.substr(root.size()) : std::string();
    if (rest.find("\\..\\") != std::string::npos || rest.ends_with("\\..") || rest.find(':') != std::string::npos ||
        rest.find('/') != std::string::npos) {
      inside = false;
    }
    if (!inside) escaped = true;
    return inside;
  }

  std::string root_;
  std::unique_ptr<FileSink> open_;
};

}  // namespace quillon::test
