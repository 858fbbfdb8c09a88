// The extraction loop's host for `quillon-pack extract`: the installer's own
// loop writes the files, and this host puts them below one directory of this
// machine. Every path is opened component by component from that directory
// without following symbolic links, so nothing, not even a link planted in
// the directory beforehand, leads a write outside it; files are created
// anew, never written into an existing one.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "common/name_encoding.h"
#include "common/progress.h"
#include "package/extract.h"
#include "system/extract_tree.h"

namespace quillon::pack {

class DirectoryHost final : public ExtractionHost {
 public:
  // The work directory as the loop sees it; the host maps it to `directory`,
  // which must exist.
  static constexpr const char* kRoot = ".";

  // `password` is given to the first prompt; null: the prompt is cancelled.
  DirectoryHost(const std::filesystem::path& directory, LeadByteTest isLead, const NameEncoding& encoding,
                bool overwrite, const std::string* password);
  ~DirectoryHost();
  DirectoryHost(const DirectoryHost&) = delete;
  DirectoryHost& operator=(const DirectoryHost&) = delete;

  // Counts the files and bytes written there.
  void ReportTo(ProgressLine* progress) { counting_.progress = progress; }

  bool MakeDirectory(const char* directory) override;
  bool ReplaceExisting(const char* name) override;
  bool AskPassword(PasswordText& typed) override;
  OutputSink* CreateOutputFile(const char* path, bool replace, bool& exists) override;
  void CloseOutputFile(const EntryHeader& header, const char* path) override;
  void FileCreated(const char* path) override;
  void Report(const char* text, const char* caption) override;

  // Existing files that were left as they were (without --overwrite), by
  // their paths below the directory.
  [[nodiscard]] const std::vector<std::string>& kept() const { return kept_; }
  // What went wrong, in words; empty when nothing did.
  [[nodiscard]] const std::vector<std::string>& problems() const { return problems_; }
  [[nodiscard]] int filesWritten() const { return filesWritten_; }

 private:
  // The components below the directory, in this machine's encoding of names
  // (UTF-8; the ANSI code page on Windows); empty when the path is not below it.
  [[nodiscard]] std::vector<std::string> Components(const char* path) const;
  // The path as a message shows it: the directory and the path below it.
  [[nodiscard]] std::string Shown(const char* path) const;
  [[nodiscard]] std::string EntryName(const char* path) const;

  std::filesystem::path directory_;
  ExtractionTree tree_;
  LeadByteTest isLead_;
  const NameEncoding& encoding_;
  bool overwrite_;
  const std::string* password_;
  bool passwordGiven_ = false;
  // The file being written, as the loop sees it: its writes are counted.
  struct CountingSink final : OutputSink {
    OutputSink* file = nullptr;
    ProgressLine* progress = nullptr;
    int32_t Write(const void* buffer, int32_t count) override;
  };

  std::unique_ptr<ExtractedFile> open_;
  CountingSink counting_;
  std::string lastError_;
  std::string lastExisting_;  // below the directory, of the last path found in the way of a new file
  std::string current_;       // the entry being written, below the directory, as shown
  std::vector<std::string> kept_;
  std::vector<std::string> problems_;
  int filesWritten_ = 0;
};

}  // namespace quillon::pack
