#include "building/inputs.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <string_view>

#include "common/file_io.h"
#include "package/entry_name.h"

namespace quillon::pack {

namespace {

namespace fs = std::filesystem;

// Where the first character c of text is, or npos. Lead bytes are never
// ASCII, so only the first byte of each character needs a look.
size_t FindCharacter(std::string_view text, char c, const NameEncoding& encoding) {
  for (size_t i = 0; i < text.size(); i += encoding.CharacterLength(text, i)) {
    if (text[i] == c) return i;
  }
  return std::string_view::npos;
}

// The installer's rule first, then the packager's stricter ones, so that
// whatever the installer refuses or writes under another name is refused
// with a reason.
std::string NameProblem(const std::string& name, bool directory, const NameEncoding& encoding) {
  const LeadByteTest isLead = encoding.LeadTest();
  if (name.empty() || name == "/") return "the name is empty";
  if (name.size() > kMaxEntryNameLength) {
    return "the name is " + std::to_string(name.size()) + " bytes long; the installer takes at most " +
           std::to_string(kMaxEntryNameLength);
  }
  if (name.front() == '/') return "the name is absolute";
  size_t last = 0;  // where the last character starts
  for (size_t i = 0; i < name.size(); i += encoding.CharacterLength(name, i)) {
    last = i;
    const char c = name[i];
    if (static_cast<unsigned char>(c) < 0x20) return "the name contains a control character";
    if (c == '\\') return "the name contains a backslash, which Windows takes as a directory separator";
    if (c == ':') return "the name contains a colon";
    if (IsForbiddenInName(c)) return std::string("Windows does not allow '") + c + "' in file names";
  }
  std::string_view rest(name);
  if (directory) {
    if (name[last] != '/') return "a directory name must end with '/'";
    rest.remove_suffix(1);
  } else if (name[last] == '/') {
    return "a file name must not end with '/'";
  }
  while (true) {
    const size_t slash = FindCharacter(rest, '/', encoding);
    const std::string_view component = rest.substr(0, slash);
    if (component.empty()) return "the name has an empty path component";
    if (component == "." || component == "..") return "the name has a '" + std::string(component) + "' component";
    if (component.find_first_not_of(". ") == std::string_view::npos) {
      return "the name has a component of dots and blanks only, which Windows cannot hold";
    }
    if (IsDeviceComponent(component.data(), static_cast<int32_t>(component.size()), isLead)) {
      return Quote(encoding.Shown(std::string(component))) + " names a device on Windows";
    }
    if (slash == std::string_view::npos) break;
    rest.remove_prefix(slash + 1);
  }
  if (MakeEntryPath(name.data(), static_cast<int32_t>(name.size()), isLead).kind == EntryNameKind::Invalid) {
    return "the installer refuses the name";
  }
  return {};
}

struct Walker {
  const OutputGuard& guard;
  std::vector<SourceItem>& items;
  std::vector<FileId> ancestors;

  // Adds the contents of a directory under prefix (empty or ending with "/").
  // Returns whether the directory had anything in it.
  bool WalkDirectory(const fs::path& directory, const std::string& prefix, const std::string& argument) {
    std::optional<std::vector<std::string>> listed = ListDirectory(directory);
    if (!listed) throw PackError("cannot read directory " + Quote(directory.string()) + ": " + LastSystemError());
    std::vector<std::string> names = std::move(*listed);
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) AddPath(directory / name, prefix + name, argument, false);
    return !names.empty();
  }

  // Adds a file under name, or a directory whose contents go below name + "/"
  // (or at the top when name is empty).
  void AddPath(const fs::path& path, const std::string& name, const std::string& argument, bool top) {
    const std::optional<FileStatus> info = StatusOf(path, true);
    if (!info) {
      const std::string error = LastSystemError();
      const std::optional<FileStatus> link = top ? std::nullopt : StatusOf(path, false);
      if (link && link->kind == FileKind::Link)
        throw PackError("symbolic link " + Quote(path.string()) + " points nowhere");
      throw PackError("cannot read input " + Quote(path.string()) + ": " + error);
    }
    const FileId id = info->id;
    if (info->kind == FileKind::Regular) {
      if (!top && guard.LeavesOut(path, id)) return;
      if (name.empty()) throw PackError("input " + Quote(argument) + ": a file needs a name in the package");
      items.push_back({name, path, false, info->modified, info->size});
      return;
    }
    if (info->kind != FileKind::Directory) {
      throw PackError("input " + Quote(path.string()) + " is " + DescribeKind(info->kind) +
                      "; only regular files and directories are packed");
    }
    if (std::find(ancestors.begin(), ancestors.end(), id) != ancestors.end()) {
      throw PackError("directory " + Quote(path.string()) + " contains itself through a symbolic link");
    }
    ancestors.push_back(id);
    const std::string prefix = name.empty() ? std::string() : name + "/";
    const bool hasContents = WalkDirectory(path, prefix, argument);
    ancestors.pop_back();
    if (!hasContents && !prefix.empty()) {
      items.push_back({prefix, path, true, info->modified, 0});
    }
  }
};

// The package name of an input given below --base.
std::string NameBelowBase(const Input& input) {
  const fs::path path = fs::absolute(input.path).lexically_normal();
  const fs::path base = fs::absolute(*input.base).lexically_normal();
  const fs::path relative = path.lexically_relative(base);
  const std::string text = relative.generic_string();
  if (relative.empty() || text == ".." || text.starts_with("../")) {
    throw PackError("input " + Quote(input.argument) + " is not below --base " + Quote(input.base->string()));
  }
  if (text == ".") return {};
  return text.ends_with('/') ? text.substr(0, text.size() - 1) : text;
}

}  // namespace

void CheckEntryName(const std::string& name, bool directory, const std::string& origin, const NameEncoding& encoding) {
  const std::string problem = NameProblem(name, directory, encoding);
  if (!problem.empty()) throw PackError("entry name " + Quote(encoding.Shown(name)) + " (" + origin + "): " + problem);
}

std::string FoldName(const std::string& name, const NameEncoding& encoding) {
  const EntryPath path = MakeEntryPath(name.data(), static_cast<int32_t>(name.size()), encoding.LeadTest());
  std::string folded = name;
  if (path.kind != EntryNameKind::Invalid) {
    folded = path.path.c_str();
    for (size_t i = 0; i < folded.size(); i += encoding.CharacterLength(folded, i)) {
      if (folded[i] == '\\') folded[i] = '/';
    }
    if (path.kind != EntryNameKind::File) folded += '/';
  }
  for (size_t i = 0; i < folded.size(); i += encoding.CharacterLength(folded, i)) {
    if (folded[i] >= 'A' && folded[i] <= 'Z') folded[i] = static_cast<char>(folded[i] - 'A' + 'a');
  }
  return folded;
}

Input ParseInputArgument(const std::string& argument, bool plainPath, const std::optional<fs::path>& base) {
  Input input;
  input.argument = argument;
  const size_t equals = plainPath ? std::string::npos : argument.find('=');
  if (equals == std::string::npos) {
    input.path = argument;
    input.base = base;
  } else {
    std::string name = argument.substr(0, equals);
    while (!name.empty() && name.back() == '/') name.pop_back();
    input.name = name;
    input.path = argument.substr(equals + 1);
  }
  if (input.path.empty()) throw UsageError("input " + Quote(argument) + " names no path");
  return input;
}

std::vector<SourceItem> CollectInput(const Input& input, const OutputGuard& guard, const NameEncoding& encoding) {
  std::vector<SourceItem> items;
  Walker walker{guard, items, {}};
  std::string name;
  if (input.name) {
    name = *input.name;
  } else if (input.base) {
    name = NameBelowBase(input);
  } else {
    // A plain file keeps its own name; a plain directory gives its contents.
    const std::optional<FileStatus> info = StatusOf(input.path, true);
    const bool isDirectory = info && info->kind == FileKind::Directory;
    if (!isDirectory) name = fs::path(input.path).lexically_normal().filename().string();
  }
  walker.AddPath(input.path, name, input.argument, true);
  for (SourceItem& item : items) item.name = encoding.Convert(item.name, Quote(item.path.string()));
  return items;
}

}  // namespace quillon::pack
