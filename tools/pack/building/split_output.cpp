#include "building/split_output.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>

namespace quillon::pack {

namespace {

constexpr size_t kCopyBlock = size_t{1} << 20;

bool IsAscii(char c) {
  return static_cast<unsigned char>(c) < 0x80;
}

}  // namespace

std::optional<std::string> PartNameProblem(const std::filesystem::path& installer) {
  const std::string name = installer.filename().string();
  const std::string why = "its part files are named by replacing the last three characters of its name";
  if (name.size() < 3) return why + ", which is shorter than that";
  const std::string replaced = name.substr(name.size() - 3);
  const bool whole =
      std::all_of(replaced.begin(), replaced.end(), IsAscii) && (name.size() == 3 || IsAscii(name[name.size() - 4]));
  if (!whole) {
    return why + ", which must be ASCII characters (and not follow a non-ASCII byte) to be the same three " +
           "characters in every code page";
  }
  const bool digits = std::all_of(replaced.begin(), replaced.end(), [](char c) { return c >= '0' && c <= '9'; });
  if (digits && std::stoi(replaced) >= 1 && std::stoi(replaced) <= kMaxPartFiles) {
    return why + ", and these are a part number: a part file would have the installer's name";
  }
  return std::nullopt;
}

void CheckPartNames(const std::filesystem::path& installer) {
  if (const auto problem = PartNameProblem(installer)) {
    throw PackError("cannot split " + Quote(installer.string()) + ": " + *problem);
  }
}

std::filesystem::path PartPath(const std::filesystem::path& installer, int number) {
  std::string path = installer.string();
  if (!MakePartPath(path.data(), number)) throw PackError("cannot name part files after " + Quote(path));
  return path;
}

int CountParts(int64_t total, int64_t partSize) {
  const int64_t rest = std::max<int64_t>(total - partSize, 0);
  const int64_t count = (rest + partSize - 1) / partSize;
  if (count > kMaxPartFiles) {
    throw PackError("the installer is " + std::to_string(total) + " bytes long; in files of at most " +
                    std::to_string(partSize) + " bytes it would need " + std::to_string(count) +
                    " part files besides the program file, more than the " + std::to_string(kMaxPartFiles) +
                    " that it can join; choose a larger --split size");
  }
  return static_cast<int>(count);
}

std::vector<std::unique_ptr<OutputFile>> CutIntoParts(OutputFile& installer, int64_t partSize) {
  const int count = CountParts(installer.size(), partSize);
  std::vector<std::unique_ptr<OutputFile>> parts;
  Bytes block;
  for (int number = 1; number <= count; ++number) {
    parts.push_back(std::make_unique<OutputFile>(PartPath(installer.path(), number)));
    OutputFile& part = *parts.back();
    const int64_t start = partSize * number;
    const int64_t end = std::min(start + partSize, installer.size());
    for (int64_t at = start; at < end; at += static_cast<int64_t>(block.size())) {
      block.resize(static_cast<size_t>(std::min<int64_t>(end - at, kCopyBlock)));
      installer.ReadAt(at, block.data(), block.size());
      part.Write(block);
    }
  }
  if (count > 0) installer.Truncate(partSize);
  return parts;
}

void CommitSplit(OutputFile& installer, const std::vector<std::unique_ptr<OutputFile>>& parts) {
  for (const auto& part : parts) part->Complete();
  installer.Complete();
  const HeldInterrupts held;
  size_t moved = 0;
  try {
    for (; moved < parts.size(); ++moved) parts[moved]->Commit();
    installer.Commit();
  } catch (const PackError& error) {
    // Parts of this run beside an older installer would be joined into it.
    for (size_t i = 0; i < moved; ++i) (void)RemoveFile(parts[i]->path());
    throw PackError(std::string(error.what()) + "; the part files written before were removed again");
  }
}

void WarnAboutOldParts(const std::filesystem::path& installer) {
  if (PartNameProblem(installer)) return;
  const std::filesystem::path first = PartPath(installer, 1);
  std::error_code error;
  if (std::filesystem::exists(first, error)) {
    Warn(Quote(first.string()) + " looks like a part file of an earlier split installer of this name; it is no part " +
         "of this one, which is a single file");
  }
}

void RemoveStaleParts(const std::filesystem::path& installer, int first) {
  for (int number = std::max(first, 1); number <= kMaxPartFiles; ++number) {
    const std::filesystem::path stale = PartPath(installer, number);
    const std::optional<FileStatus> info = StatusOf(stale, false);
    if (!info) continue;
    if (info->kind == FileKind::Directory) {
      Warn(Quote(stale.string()) + " is named like a part file of the installer but is a directory; it was kept");
    } else if (!RemoveFile(stale)) {
      Warn("cannot remove the part file " + Quote(stale.string()) +
           " left from an earlier split: " + LastSystemError());
    }
  }
}

}  // namespace quillon::pack
