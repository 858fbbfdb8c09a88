#include "commands/examine.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <map>
#include <optional>

#include "base/crc.h"
#include "building/inputs.h"
#include "cli/help_text.h"
#include "cli/options.h"
#include "commands/json_fields.h"
#include "common/name_encoding.h"
#include "common/password.h"
#include "common/progress.h"
#include "fs/path.h"
#include "package/entry_name.h"
#include "package/entry_stream.h"
#include "package/extract.h"
#include "reading/entry_check.h"
#include "reading/extract_host.h"
#include "reading/installer_file.h"
#include "system/system.h"

namespace quillon::pack {

namespace {

namespace fs = std::filesystem;

struct InspectOptions {
  std::string command;  // list, verify or extract
  std::optional<fs::path> installer;
  fs::path directory = ".";  // extract -d
  PasswordOption password;
  CodePageOption codePage;
  bool overwrite = false;
  bool quiet = false;
  bool json = false;  // list, verify: one JSON document
  bool help = false;
  bool version = false;
};

Command CommandOf(const std::string& name) {
  if (name == "list") return kList;
  if (name == "verify") return kVerify;
  return kExtract;
}

InspectOptions ParseInspectArguments(const std::vector<std::string>& arguments) {
  InspectOptions options;
  options.command = arguments.front();
  bool directoryGiven = false;
  const std::vector<std::string> rest(arguments.begin() + 1, arguments.end());
  for (const Setting& setting : Tokenize(rest, CommandOf(options.command))) {
    const std::string value = setting.value.value_or("");
    if (setting.option == nullptr) {
      if (options.installer) throw UsageError(options.command + " takes one installer, not also " + Quote(value));
      options.installer = value;
      continue;
    }
    switch (setting.option->id) {
      case OptionId::Help:
        options.help = true;
        break;
      case OptionId::Version:
        options.version = true;
        break;
      case OptionId::Overwrite:
        options.overwrite = true;
        break;
      case OptionId::Quiet:
        options.quiet = true;
        break;
      case OptionId::Json:
        options.json = true;
        break;
      case OptionId::Directory:
        if (directoryGiven) throw UsageError("--directory is given twice");
        if (value.empty()) throw UsageError("--directory needs a directory");
        options.directory = value;
        directoryGiven = true;
        break;
      case OptionId::CodePage:
      case OptionId::NameEncoding:
        SetCodePage(options.codePage, *setting.option, value);
        break;
      default:
        (void)SetPasswordOption(options.password, "--" + std::string(setting.option->name), value);
        break;
    }
  }
  if (options.help || options.version) return options;
  if (!options.installer) throw UsageError(options.command + " needs an installer");
  return options;
}

std::string DosStamp(uint16_t date, uint16_t time) {
  std::array<char, 32> stamp{};
  (void)std::snprintf(stamp.data(), stamp.size(), "%04d-%02d-%02d %02d:%02d:%02d", 1980 + (date >> 9),
                      (date >> 5) & 0x0F, date & 0x1F, time >> 11, (time >> 5) & 0x3F, (time & 0x1F) * 2);
  return stamp.data();
}

// One entry as the installer's walk meets it.
struct WalkedEntry {
  int32_t offset = 0;
  EntryHeader header{};
  std::string rawName;  // as stored
  std::string name;     // cut before a NUL, as the installer cuts it
  EntryPath path;       // where the installer writes it
  std::string problem;  // why the installer refuses the name; empty when it takes it

  // ZIP tools read only the real local header signature.
  [[nodiscard]] bool legacySignature() const { return header.signature == kLegacyHeaderSignature; }
  // A ZIP64 entry keeps its sizes in an extra field and all bits set here.
  [[nodiscard]] bool zip64() const {
    return static_cast<uint32_t>(header.compressedSize) == kZip64Value || header.uncompressedSize == kZip64Value;
  }
};

// The entry a fault lies in.
struct DamagedEntry {
  std::optional<std::string> name;  // none when its header is too damaged to name it
  int32_t offset = 0;
};

// A fault of the installer looked into: the message without the installer's
// name, and the entry it lies in (none when it lies elsewhere).
class InstallerFault : public PackError {
 public:
  InstallerFault(const std::string& message, std::string reason, std::optional<DamagedEntry> entry)
      : PackError(message), reason_(std::move(reason)), entry_(std::move(entry)) {}

  [[nodiscard]] const std::string& reason() const { return reason_; }
  [[nodiscard]] const std::optional<DamagedEntry>& entry() const { return entry_; }

 private:
  std::string reason_;
  std::optional<DamagedEntry> entry_;
};

class Inspection {
 public:
  explicit Inspection(const InspectOptions& options)
      : options_(options),
        encoding_(options.codePage.codePage ? NameEncoding(*options.codePage.codePage) : NameEncoding()),
        shown_(Quote(options.installer->string())),
        isLead_(encoding_.LeadTest()) {}

  int List();
  int Verify();
  int Extract();
  // With --json: the document of an error met before any other was written.
  [[nodiscard]] bool documentWritten() const { return documentWritten_; }
  void ReportError(const std::string& message);

 private:
  struct Soundness {
    size_t entries = 0;
    size_t files = 0;  // entries that are no directories
    size_t encrypted = 0;
    int64_t size = 0;
  };

  // Walks the entries from dataStart as the installer does, calling visit for
  // each with the stream behind its name; returns where the walk stopped.
  template <typename Visit>
  int32_t Walk(InstallerFile& file, Visit visit) const;
  Soundness CheckSoundness(InstallerFile& file, const std::string* password) const;
  // Two entries that Windows would keep as one: the same file twice, or a
  // file where another entry needs a directory.
  void CheckTargets(const std::vector<WalkedEntry>& walked) const;
  void WarnAboutLegacySignatures(const std::vector<WalkedEntry>& walked) const;
  // ZIP tools read the central directory: it must say what the local headers say.
  void CompareWithDirectory(const std::vector<WalkedEntry>& walked, const std::vector<CentralEntry>& listed) const;
  [[noreturn]] void Fault(const std::string& what, std::optional<DamagedEntry> entry = std::nullopt) const {
    throw InstallerFault(shown_ + ": " + what, what, std::move(entry));
  }
  // "entry 'NAME'" + between + reason.
  [[noreturn]] void EntryFault(const WalkedEntry& entry, const char* between, const std::string& reason) const {
    throw InstallerFault(shown_ + ": entry " + ShownName(entry.name) + between + reason, reason,
                         DamagedEntry{entry.name, entry.offset});
  }
  // Shown on standard error, and kept for a JSON document.
  void Warning(const std::string& message) const {
    Warn(message);
    warnings_.push_back(message);
  }
  void ListText(const InstallerFile& file, const std::vector<WalkedEntry>& walked) const;
  void ListJson(const InstallerFile& file, const std::vector<WalkedEntry>& walked);
  void PutHead(JsonWriter& json) const;
  void PutWarnings(JsonWriter& json) const;
  void PrintJson(const JsonWriter& json);
  [[nodiscard]] std::string ShownName(const std::string& name) const { return Quote(encoding_.Shown(name)); }
  void PrintText(const char* label, const Bytes& text) const;

  const InspectOptions& options_;
  NameEncoding encoding_;
  std::string shown_;
  LeadByteTest isLead_;  // of the code page the names are read in
  mutable std::vector<std::string> warnings_;
  bool documentWritten_ = false;
};

template <typename Visit>
int32_t Inspection::Walk(InstallerFile& file, Visit visit) const {
  PackageSource& source = file.source();
  EntryStream stream(source);
  stream.SeekPackage(file.dataStart());
  while (stream.ReadEntryHeader()) {
    WalkedEntry entry;
    entry.offset = stream.lastSeekPosition;
    entry.header = stream.entryHeader;
    std::string& raw = entry.rawName;
    raw.resize(entry.header.nameLength);
    raw.resize(static_cast<size_t>(std::max(source.Read(raw.data(), entry.header.nameLength), 0)));
    entry.name = raw.substr(0, raw.find('\0'));
    const int32_t length = entry.header.nameLength;
    entry.path =
        MakeEntryPath(raw.data(), length > kMaxEntryNameLength ? length : static_cast<int32_t>(raw.size()), isLead_);
    if (length > kMaxEntryNameLength) {
      entry.problem = "its name is " + std::to_string(length) + " bytes long, more than the installer takes (" +
                      std::to_string(kMaxEntryNameLength) + "): it stops with \"" + Text(UiText::InvalidFilename) +
                      "\"";
    } else if (entry.path.kind == EntryNameKind::Invalid) {
      entry.problem =
          std::string("the installer refuses its name and stops with \"") + Text(UiText::InvalidFilename) + "\"";
    }
    visit(entry, stream);
    stream.SeekPackage(stream.NextEntryPosition(entry.offset));
  }
  return stream.lastSeekPosition;
}

Inspection::Soundness Inspection::CheckSoundness(InstallerFile& file, const std::string* password) const {
  PackageSource& source = file.source();
  if (file.endMissing()) {
    Fault(
        "its end is missing (neither a ZIP end record that reaches the end of the file nor the trailer \"RSF\"): "
        "the installer refuses to start, as from a download cut short");
  }
  Soundness soundness;
  std::vector<WalkedEntry> walked;
  const int32_t stop = Walk(file, [&](const WalkedEntry& entry, EntryStream& stream) {
    if (!entry.problem.empty()) EntryFault(entry, ": ", entry.problem);
    if (entry.zip64()) {
      EntryFault(entry, " ",
                 std::string("is a ZIP64 entry, whose sizes are in an extra field: ZIP64 is not supported, and the "
                             "installer, which reads the sizes of the local header, would stop with \"") +
                     Text(UiText::ExtractionError) + "\"");
    }
    const EntryCheck check = CheckEntryData(source, stream, entry.offset, password);
    if (check.verdict != EntryVerdict::Sound) EntryFault(entry, ": ", DescribeVerdict(check, entry.header));
    ++soundness.entries;
    if (!entry.name.ends_with('/') && !entry.name.ends_with('\\')) ++soundness.files;
    if ((entry.header.flags & kFlagEncrypted) != 0) ++soundness.encrypted;
    soundness.size += check.size;
    walked.push_back(entry);
  });
  if (walked.empty()) {
    Fault("there is no entry where the installer starts to read (offset " + std::to_string(file.dataStart()) +
          "): it would stop with \"" + Text(UiText::ExtractionError) + "\"");
  }
  CheckTargets(walked);
  const PackageEnding ending = file.FindEnding();
  if (ending.kind == PackageEnding::Kind::None) {
    Fault("its end is missing: neither a ZIP end record nor the trailer \"RSF\"");
  }
  if (ending.zip64) {
    Fault("it is a ZIP64 archive (its end record points to a ZIP64 record): ZIP64 is not supported");
  }
  const bool central = ending.kind == PackageEnding::Kind::CentralDirectory;
  if (stop != ending.entriesEnd) {
    Fault("the installer's walk over the entries ends at offset " + std::to_string(stop) + ", behind entry " +
              ShownName(walked.back().name) + ", but the " + (central ? "central directory starts" : "trailer stands") +
              " at offset " + std::to_string(ending.entriesEnd) +
              ": the header of the entry after it is damaged, and the installer would extract nothing from there on",
          DamagedEntry{std::nullopt, stop});
  }
  if (!central) return soundness;
  if (ending.directoryCount != walked.size()) {
    Fault("the central directory lists " + std::to_string(ending.directoryCount) + " entries, the installer finds " +
          std::to_string(walked.size()));
  }
  std::vector<CentralEntry> listed;
  try {
    listed = file.ReadCentralDirectory(ending);
  } catch (const PackError& error) {
    Fault(error.what());
  }
  CompareWithDirectory(walked, listed);
  WarnAboutLegacySignatures(walked);
  return soundness;
}

void Inspection::CheckTargets(const std::vector<WalkedEntry>& walked) const {
  std::map<std::string, const WalkedEntry*> files;        // by key
  std::map<std::string, const WalkedEntry*> directories;  // by key, ending with "/": the first entry that needs it
  // The later of the two is the damaged one.
  const auto clash = [&](const WalkedEntry& file, const WalkedEntry& other, const WalkedEntry& later) {
    Fault("entry " + ShownName(file.name) + " is a file, but entry " + ShownName(other.name) +
              " needs a directory of that name on Windows: the installer cannot write both and stops",
          DamagedEntry{later.name, later.offset});
  };
  for (const WalkedEntry& entry : walked) {
    if (entry.path.kind == EntryNameKind::WorkDirectory) continue;
    const std::string key = FoldName(entry.name, encoding_);
    for (size_t slash = key.find('/'); slash != std::string::npos && slash + 1 < key.size();
         slash = key.find('/', slash + 1)) {
      const std::string parent = key.substr(0, slash + 1);
      if (const auto file = files.find(key.substr(0, slash)); file != files.end()) {
        clash(*file->second, entry, entry);
      }
      directories.emplace(parent, &entry);
    }
    if (entry.path.kind == EntryNameKind::Directory) {
      if (const auto file = files.find(key.substr(0, key.size() - 1)); file != files.end()) {
        clash(*file->second, entry, entry);
      }
      directories.emplace(key, &entry);
      continue;
    }
    if (const auto directory = directories.find(key + "/"); directory != directories.end()) {
      clash(entry, *directory->second, entry);
    }
    if (const auto [place, added] = files.emplace(key, &entry); !added) {
      Fault("entries " + ShownName(place->second->name) + " and " + ShownName(entry.name) +
                " are one file on Windows, which ignores the case of names and drops trailing dots and blanks: the "
                "installer would ask the user whether to replace the file it has just written",
            DamagedEntry{entry.name, entry.offset});
    }
  }
}

void Inspection::WarnAboutLegacySignatures(const std::vector<WalkedEntry>& walked) const {
  const auto first =
      std::find_if(walked.begin(), walked.end(), [](const WalkedEntry& e) { return e.legacySignature(); });
  if (first == walked.end()) return;
  const auto count =
      std::count_if(walked.begin(), walked.end(), [](const WalkedEntry& e) { return e.legacySignature(); });
  Warning(shown_ + ": " + std::to_string(count) + " entry(ies), the first " + ShownName(first->name) +
          ", begin with the signature 00 00 00 50 instead of the local header's \"PK\\3\\4\": the installer "
          "reads them, ZIP tools do not");
}

void Inspection::CompareWithDirectory(const std::vector<WalkedEntry>& walked,
                                      const std::vector<CentralEntry>& listed) const {
  std::map<int64_t, const CentralEntry*> byOffset;
  for (const CentralEntry& entry : listed) byOffset.emplace(entry.localOffset, &entry);
  for (const WalkedEntry& entry : walked) {
    const auto found = byOffset.find(entry.offset);
    if (found == byOffset.end()) EntryFault(entry, " ", "is missing from the central directory");
    const CentralEntry& other = *found->second;
    const EntryHeader& h = entry.header;
    const std::pair<const char*, bool> fields[] = {
        {"name", other.name == entry.rawName},
        {"flags", other.flags == h.flags},
        {"method", other.method == h.method},
        {"time", other.time == h.modTime && other.date == h.modDate},
        {"CRC-32", other.crc == h.crc32},
        {"sizes", other.packedSize == static_cast<uint32_t>(h.compressedSize) && other.size == h.uncompressedSize},
    };
    for (const auto& [field, same] : fields) {
      if (!same)
        EntryFault(entry, ": ", std::string("its local header and the central directory disagree on its ") + field);
    }
  }
}

void Inspection::PrintText(const char* label, const Bytes& bytes) const {
  const std::string text = encoding_.Shown(std::string(bytes.begin(), bytes.end()));
  if (text.empty()) {
    std::printf("%-21s(none)\n", label);
    return;
  }
  if (text.find_first_of("\r\n") == std::string::npos) {
    std::printf("%-21s%s\n", label, Printable(text).c_str());
    return;
  }
  std::printf("%-21s%zu bytes:\n", label, bytes.size());
  std::string_view rest(text);
  while (!rest.empty()) {
    size_t end = rest.find('\n');
    std::string_view line = rest.substr(0, end);
    rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
    if (line.ends_with('\r')) line.remove_suffix(1);
    std::printf("    %s\n", Printable(line).c_str());
  }
}

int Inspection::List() {
  InstallerFile file(*options_.installer);
  std::vector<WalkedEntry> walked;
  (void)Walk(file, [&](const WalkedEntry& entry, EntryStream& /*stream*/) { walked.push_back(entry); });
  if (!file.hasHeader() && walked.empty() && file.FindEnding().kind != PackageEnding::Kind::CentralDirectory) {
    Fault("neither an installer (no package header at offset " + std::to_string(kPackageOffset) +
          ") nor a ZIP archive (no entry at its start and no end record)");
  }
  if (file.endMissing()) Warning(shown_ + ": its end is missing: the installer refuses to start");
  if (std::any_of(walked.begin(), walked.end(), [](const WalkedEntry& e) { return e.zip64(); })) {
    Warning(shown_ + ": it has ZIP64 entries, whose sizes are in extra fields: ZIP64 is not supported");
  }
  WarnAboutLegacySignatures(walked);
  if (options_.json) {
    ListJson(file, walked);
  } else {
    ListText(file, walked);
  }
  return std::fflush(stdout) == 0 ? 0 : 1;
}

void Inspection::ListText(const InstallerFile& file, const std::vector<WalkedEntry>& walked) const {
  std::string files;
  for (const fs::path& path : file.files()) {
    std::error_code error;
    files += (files.empty() ? "" : ", ") + Quote(path.string()) + " (" + std::to_string(fs::file_size(path, error)) +
             " bytes)";
  }
  std::printf("%-21s%s\n", "Files:", files.c_str());
  if (file.hasHeader()) {
    const PackageHeader& header = file.header();
    const auto yesNo = [](bool value) { return value ? "yes" : "no"; };
    std::printf("%-21s%d bytes, %s\n", "Package:", header.totalSize,
                header.multiPart ? "split into part files" : "one file");
    std::printf("%-21swait for finish: %s, administrator: %s, hide Install button: %s\n",
                "Flags:", yesNo(header.waitForFinish), yesNo(header.adminRequired), yesNo(header.hideInfoButton));
    PrintText("Title:", file.texts().title);
    PrintText("INF text:", file.texts().inf);
    PrintText("Licence information:", file.texts().licenceInfo);
    PrintText("Information text:", file.texts().info);
    PrintText("Licence text:", file.texts().licence);
  } else {
    std::printf("%-21s%s\n", "Package:", "none: a plain ZIP archive, entries from offset 0");
  }
  std::printf("\n%10s  %10s  %-9s  %-9s  %-19s  %s\n", "Size", "Packed", "Method", "Encrypted", "Modified", "Name");
  int64_t size = 0;
  int64_t packed = 0;
  for (const WalkedEntry& entry : walked) {
    const EntryHeader& h = entry.header;
    std::printf("%10u  %10u  %-9s  %-9s  %-19s  %s\n", h.uncompressedSize, static_cast<uint32_t>(h.compressedSize),
                MethodName(h.method).c_str(), (h.flags & kFlagEncrypted) != 0 ? "yes" : "no",
                DosStamp(h.modDate, h.modTime).c_str(), Printable(encoding_.Shown(entry.name)).c_str());
    size += h.uncompressedSize;
    packed += static_cast<uint32_t>(h.compressedSize);
  }
  std::printf("%10lld  %10lld  %zu entries\n", static_cast<long long>(size), static_cast<long long>(packed),
              walked.size());
}

void Inspection::PutHead(JsonWriter& json) const {
  json.Key("command");
  json.String(options_.command);
  json.Key("installer");
  json.String(options_.installer->string());
  json.Key("code_page");
  if (encoding_.converts()) {
    json.String(encoding_.codePage());
  } else {
    json.Null();
  }
}

void Inspection::PutWarnings(JsonWriter& json) const {
  json.Key("warnings");
  json.BeginArray();
  for (const std::string& warning : warnings_) json.String(warning);
  json.EndArray();
}

void Inspection::PrintJson(const JsonWriter& json) {
  (void)std::fputs(json.text().c_str(), stdout);
  documentWritten_ = true;
}

void Inspection::ListJson(const InstallerFile& file, const std::vector<WalkedEntry>& walked) {
  JsonWriter json;
  json.BeginObject();
  PutHead(json);
  json.Key("files");
  json.BeginArray();
  for (const fs::path& path : file.files()) {
    std::error_code error;
    json.BeginObject();
    json.Key("path");
    json.String(path.string());
    json.Key("size");
    json.Integer(static_cast<int64_t>(fs::file_size(path, error)));
    json.EndObject();
  }
  json.EndArray();
  json.Key("package");
  if (file.hasHeader()) {
    const PackageHeader& header = file.header();
    json.BeginObject();
    const std::pair<const char*, bool> flags[] = {{"multi_part", header.multiPart != 0},
                                                  {"wait_for_finish", header.waitForFinish != 0},
                                                  {"admin_required", header.adminRequired != 0},
                                                  {"hide_info_button", header.hideInfoButton != 0}};
    json.Key("total_size");
    json.Integer(header.totalSize);
    for (const auto& [key, value] : flags) {
      json.Key(key);
      json.Bool(value);
    }
    const PackageTexts& texts = file.texts();
    const std::pair<const char*, const Bytes*> fields[] = {{"title", &texts.title},
                                                           {"inf", &texts.inf},
                                                           {"licence_info", &texts.licenceInfo},
                                                           {"info", &texts.info},
                                                           {"licence", &texts.licence}};
    json.Key("texts");
    json.BeginObject();
    for (const auto& [key, bytes] : fields)
      PutPackageText(json, key, std::string(bytes->begin(), bytes->end()), encoding_);
    json.EndObject();
    json.EndObject();
  } else {
    json.Null();
  }
  json.Key("entries");
  json.BeginArray();
  for (const WalkedEntry& entry : walked) {
    json.BeginObject();
    PutEntryFields(json, entry.header, entry.name, entry.offset, encoding_);
    json.EndObject();
  }
  json.EndArray();
  PutWarnings(json);
  json.EndObject();
  PrintJson(json);
}

int Inspection::Verify() {
  const std::optional<std::string> password =
      options_.password.given() ? std::optional(LoadPassword(options_.password, false,
                                                             options_.codePage.convertsTexts ? &encoding_ : nullptr))
                                : std::nullopt;
  InstallerFile file(*options_.installer);
  if (!options_.json) {
    const Soundness soundness = CheckSoundness(file, password ? &*password : nullptr);
    std::printf("%s: sound: %zu entries (%zu encrypted), %lld bytes\n", shown_.c_str(), soundness.entries,
                soundness.encrypted, static_cast<long long>(soundness.size));
    return std::fflush(stdout) == 0 ? 0 : 1;
  }
  JsonWriter json;
  json.BeginObject();
  PutHead(json);
  try {
    const Soundness soundness = CheckSoundness(file, password ? &*password : nullptr);
    const std::pair<const char*, int64_t> counts[] = {{"entries", static_cast<int64_t>(soundness.entries)},
                                                      {"files", static_cast<int64_t>(soundness.files)},
                                                      {"encrypted", static_cast<int64_t>(soundness.encrypted)},
                                                      {"size", soundness.size}};
    json.Key("verdict");
    json.String("sound");
    for (const auto& [key, count] : counts) {
      json.Key(key);
      json.Integer(count);
    }
  } catch (const InstallerFault& fault) {
    json.Key("verdict");
    json.String("damaged");
    json.Key("error");
    json.String(fault.what());
    json.Key("damaged_entry");
    if (fault.entry()) {
      json.BeginObject();
      if (fault.entry()->name) {
        PutPackageText(json, "name", *fault.entry()->name, encoding_);
      } else {
        json.Key("name");
        json.Null();
      }
      json.Key("offset");
      json.Integer(fault.entry()->offset);
      json.Key("reason");
      json.String(fault.reason());
      json.EndObject();
    } else {
      json.Null();
    }
    PutWarnings(json);
    json.EndObject();
    PrintJson(json);
    throw;
  }
  PutWarnings(json);
  json.EndObject();
  PrintJson(json);
  return std::fflush(stdout) == 0 ? 0 : 1;
}

void Inspection::ReportError(const std::string& message) {
  JsonWriter json;
  json.BeginObject();
  PutHead(json);
  if (options_.command == "verify") {
    json.Key("verdict");
    json.String("error");
  }
  json.Key("error");
  json.String(message);
  PutWarnings(json);
  json.EndObject();
  PrintJson(json);
  (void)std::fflush(stdout);
}

int Inspection::Extract() {
  const std::optional<std::string> password =
      options_.password.given() ? std::optional(LoadPassword(options_.password, false,
                                                             options_.codePage.convertsTexts ? &encoding_ : nullptr))
                                : std::nullopt;
  InstallerFile file(*options_.installer);
  // Nothing is written from a package that is not sound.
  const Soundness soundness = CheckSoundness(file, password ? &*password : nullptr);
  const fs::path& directory = options_.directory;
  std::error_code error;
  fs::create_directories(directory, error);
  if (error) throw PackError("cannot make directory " + Quote(directory.string()) + ": " + error.message());
  DirectoryHost host(directory, isLead_, encoding_, options_.overwrite, password ? &*password : nullptr);
  ProgressLine progress(!options_.quiet && CanRedrawErrorLine(), static_cast<int64_t>(soundness.files), soundness.size);
  host.ReportTo(&progress);
  const ExtractionResult result = ExtractPackage(file.source(), file.dataStart(), DirectoryHost::kRoot, isLead_, host);
  progress.Stop();
  if (!host.problems().empty()) throw PackError(host.problems().front());
  if (!result.succeeded) throw PackError("the extraction failed");
  if (!host.kept().empty()) {
    std::string names;
    for (const std::string& name : host.kept()) names += (names.empty() ? "" : ", ") + Quote(name);
    throw PackError(std::to_string(host.kept().size()) + " file(s) exist in " + Quote(directory.string()) +
                    " already and were left as they were (--overwrite replaces them): " + names);
  }
  std::printf("%s: %d files extracted to %s\n", shown_.c_str(), host.filesWritten(), Quote(directory.string()).c_str());
  return std::fflush(stdout) == 0 ? 0 : 1;
}

}  // namespace

bool IsInspectCommand(const std::vector<std::string>& arguments) {
  return !arguments.empty() &&
         (arguments.front() == "list" || arguments.front() == "verify" || arguments.front() == "extract");
}

int RunInspectCommand(const std::vector<std::string>& arguments) {
  const InspectOptions options = ParseInspectArguments(arguments);
  if (options.help) return PrintHelp();
  if (options.version) return PrintVersion();
  static CrcTable table;
  BuildCrcTable(&table);
  table.carryless = ProcessorHasCarrylessMultiply();
  crcTable = &table;
  Inspection inspection(options);
  try {
    if (options.command == "list") return inspection.List();
    if (options.command == "verify") return inspection.Verify();
    return inspection.Extract();
  } catch (const PackError& error) {
    // Also shown on standard error, by the caller.
    if (options.json && !inspection.documentWritten()) inspection.ReportError(error.what());
    throw;
  }
}

}  // namespace quillon::pack
