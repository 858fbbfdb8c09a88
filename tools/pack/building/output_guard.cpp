#include "building/output_guard.h"

#include <algorithm>
#include <cstring>

#include "base/package_format.h"
#include "building/split_output.h"
#include "common/file_io.h"
#include "support/pack_support.h"

namespace quillon::pack {

namespace {

namespace fs = std::filesystem;

// Whether the file holds a package header where the installer looks for it,
// as every installer that the packager writes does.
bool IsInstaller(const fs::path& path) {
  SystemFile file;
  if (!file.OpenForReading(path)) return false;
  const std::optional<FileStatus> status = file.Status();
  if (!status || status->kind != FileKind::Regular) return false;
  uint8_t magic[sizeof kPackageMagic] = {};
  return file.ReadAt(kPackageOffset, magic, sizeof magic) == static_cast<int64_t>(sizeof magic) &&
         std::memcmp(magic, kPackageMagic, sizeof magic) == 0;
}

}  // namespace

OutputGuard::OutputGuard(const fs::path& installer, bool split) : installer_(installer) {
  const auto note = [&](const fs::path& path, bool part, bool written) {
    const std::optional<FileStatus> info = StatusOf(path, true);
    if (info && info->kind != FileKind::Directory) existing_.push_back({path, info->id, part, written});
  };
  note(installer, false, true);
  if (PartNameProblem(installer)) return;  // no file is named like its parts
  for (int number = 1; number <= kMaxPartFiles; ++number) note(PartPath(installer, number), true, split);
}

void OutputGuard::CheckInput(const fs::path& path, const std::string& role) const {
  const std::optional<FileStatus> info = StatusOf(path, true);
  if (!info) return;  // its reader says what is wrong with it
  const auto same = std::find_if(existing_.begin(), existing_.end(),
                                 [&](const Output& output) { return output.written && output.id == info->id; });
  if (same == existing_.end()) return;
  const std::string what = same->part ? "part file " + Quote(same->path.string()) + " of the installer"
                                      : "output " + Quote(same->path.string());
  const bool samePath = same->path.lexically_normal() == path.lexically_normal();
  throw PackError(what + (samePath ? " is " : " is the same file as ") + "the " + role + " " + Quote(path.string()) +
                  ": writing the installer would destroy it; choose another output (-o)");
}

bool OutputGuard::LeavesOut(const fs::path& path, const FileId& id) const {
  for (const Output& output : existing_) {
    if (output.id != id) continue;
    if (output.part || IsInstaller(output.path)) return true;
    throw PackError("output " + Quote(installer_.string()) + " is " + Quote(path.string()) +
                    ", a file of an input directory and no installer: writing the installer would destroy it; "
                    "choose another output (-o)");
  }
  return false;
}

}  // namespace quillon::pack
