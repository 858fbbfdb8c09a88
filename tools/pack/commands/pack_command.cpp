#include "commands/pack_command.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <set>

#include "base/crc.h"
#include "building/encrypt.h"
#include "building/inputs.h"
#include "building/ordered_pool.h"
#include "building/output_guard.h"
#include "building/package_writer.h"
#include "building/read_back.h"
#include "building/reproducible.h"
#include "building/split_output.h"
#include "building/stub_location.h"
#include "building/zip_entries.h"
#include "building/zip_import.h"
#include "cli/options.h"
#include "commands/text_options.h"
#include "common/file_io.h"
#include "common/password.h"
#include "common/progress.h"
#include "system/system.h"

namespace quillon::pack {

namespace {

namespace fs = std::filesystem;

// Refuses a run whose installer or part files would replace a file it reads.
void CheckInputsAgainstOutputs(const Options& options, const fs::path& stubPath, const OutputGuard& guard) {
  guard.CheckInput(stubPath, "stub");
  if (options.config) guard.CheckInput(*options.config, "description file");
  const std::pair<const TextOption*, const char*> texts[] = {
      {&options.licenceInfo, "licence information file"},
      {&options.info, "information text file"},
      {&options.licence, "licence text file"},
  };
  for (const auto& [text, role] : texts) {
    if (text->file) guard.CheckInput(*text->file, role);
  }
  if (options.password.file) guard.CheckInput(*options.password.file, "password file");
  for (const Input& input : options.inputs) guard.CheckInput(input.path, input.fromZip ? "archive" : "input");
}

// One entry of the package, before its data is read.
struct PlannedEntry {
  std::string name;
  bool directory = false;
  std::string origin;                          // for messages
  const ZipArchive* archive = nullptr;         // taken from an archive ...
  const ArchiveEntry* archiveEntry = nullptr;  // ... as this entry
  const SourceItem* source = nullptr;          // or made from a file or directory
};

// Orders the entries, refuses names the installer cannot write, and drops
// directory entries that other entries already imply.
//
// Directory entries go behind all files, so that every file is extracted even
// by a reader that ends its walk at a directory entry; only directories that
// would otherwise be missing (empty ones) keep an entry.
std::vector<PlannedEntry> PlanEntries(std::vector<PlannedEntry> all, const NameEncoding& encoding) {
  // Folded name to name and origin, copied: the entries are moved away below.
  std::map<std::string, std::pair<std::string, std::string>> files;
  std::set<std::string> parents;  // folded, with "/" at the end
  for (const PlannedEntry& entry : all) {
    CheckEntryName(entry.name, entry.directory, entry.origin, encoding);
    const std::string folded = FoldName(entry.name, encoding);
    for (size_t slash = folded.find('/'); slash != std::string::npos && slash + 1 < folded.size();
         slash = folded.find('/', slash + 1)) {
      parents.insert(folded.substr(0, slash + 1));
    }
    if (entry.directory) continue;
    const auto [place, added] = files.emplace(folded, std::pair(entry.name, entry.origin));
    if (added) continue;
    const auto& [otherName, otherOrigin] = place->second;
    if (otherName == entry.name) {
      throw PackError("two entries would be written to the same file " + Quote(encoding.Shown(entry.name)) + " (from " +
                      otherOrigin + " and from " + entry.origin + ")");
    }
    throw PackError("two entries would be written to the same file " + Quote(encoding.Shown(entry.name)) + " (" +
                    Quote(encoding.Shown(otherName)) + " from " + otherOrigin + " and from " + entry.origin +
                    "; Windows ignores the case of names)");
  }
  std::vector<PlannedEntry> ordered;
  std::vector<PlannedEntry> directories;
  std::set<std::string> directoriesSeen;
  for (PlannedEntry& entry : all) {
    const std::string folded = FoldName(entry.name, encoding);
    if (!entry.directory) {
      if (parents.contains(folded + "/")) {
        throw PackError("entry " + Quote(encoding.Shown(entry.name)) + " (" + entry.origin +
                        ") is a file, but other entries need it as a directory");
      }
      ordered.push_back(std::move(entry));
      continue;
    }
    if (const auto file = files.find(folded.substr(0, folded.size() - 1)); file != files.end()) {
      throw PackError("entry " + Quote(encoding.Shown(entry.name)) + " (" + entry.origin + ") is a directory, but " +
                      file->second.second + " has a file of that name");
    }
    if (parents.contains(folded) || !directoriesSeen.insert(folded).second) continue;
    directories.push_back(std::move(entry));
  }
  for (PlannedEntry& entry : directories) ordered.push_back(std::move(entry));
  return ordered;
}

void WarnAboutContents(const std::vector<PlannedEntry>& entries, const Bytes& inf, const NameEncoding& encoding) {
  size_t nonAscii = 0;
  const PlannedEntry* firstNonAscii = nullptr;
  std::set<std::string> files;
  for (const PlannedEntry& entry : entries) {
    if (!entry.directory) files.insert(FoldName(entry.name, encoding));
    for (const char c : entry.name) {
      if (static_cast<unsigned char>(c) >= 0x80) {
        if (nonAscii++ == 0) firstNonAscii = &entry;
        break;
      }
    }
  }
  if (nonAscii > 0 && !encoding.converts()) {
    Warn(std::to_string(nonAscii) + " entry name(s) have bytes outside ASCII (the first is " +
         Quote(firstNonAscii->name) + "); the installer reads names in the ANSI code page of the user's machine: " +
         "name that with --code-page (e.g. --code-page 1252) to convert them from UTF-8");
  }
  std::string text(inf.begin(), inf.end());
  if (text.empty()) {
    Warn("no INF text (--inf): the installer will start the setup engine without an INF file");
    return;
  }
  text = text.substr(0, text.find('|'));
  if (!text.starts_with("><") || text.find("><", 2) != std::string::npos) return;
  std::string name = text.substr(2);
  for (size_t i = 0; i < name.size(); i += encoding.CharacterLength(name, i)) {
    if (name[i] == '\\') name[i] = '/';
  }
  if (!files.contains(FoldName(name, encoding))) {
    Warn("the INF text names " + Quote(encoding.Shown(name)) + ", which is not among the files of the package");
  }
}

// Entries being made or waiting to be written hold at most about this much
// input per thread (a larger file is made on its own), so that memory stays
// bounded whatever the size of the inputs.
constexpr int64_t kInputInFlightPerThread = int64_t{64} << 20;

// The bytes of input an entry holds while it is made: the file, or the
// archive's entry and its inflated data for the check.
int64_t InputWeight(const PlannedEntry& entry) {
  if (entry.archiveEntry != nullptr) {
    return static_cast<int64_t>(entry.archiveEntry->dataEnd - entry.archiveEntry->localStart) +
           entry.archiveEntry->originalSize;
  }
  return entry.directory ? 0 : entry.source->size;
}

struct MadeEntry {
  PackEntry entry;
  int64_t inputBytes = 0;  // the data before compression
};

struct PackTotals {
  int64_t files = 0;
  int64_t inputBytes = 0;
};

using MakerFactory = std::function<std::unique_ptr<EntryMaker>()>;

// Makes one entry; a worker's maker is set up with its first file. The
// progress is told the bytes done, also within a large file.
MadeEntry MakePlannedEntry(const PlannedEntry& planned, std::unique_ptr<EntryMaker>& maker,
                           const MakerFactory& newMaker, ProgressLine& progress) {
  MadeEntry made;
  if (planned.archive != nullptr) {
    made.entry = planned.archive->Take(*planned.archiveEntry);
    made.inputBytes = planned.archiveEntry->originalSize;
    progress.Add(made.entry.directory ? 0 : 1, made.inputBytes);
    return made;
  }
  if (!maker) maker = newMaker();
  const DosDateTime when = EntryTime(planned.source->modified);
  if (planned.directory) {
    made.entry = maker->MakeDirectory(planned.name, when);
    return made;
  }
  const Bytes data = ReadWholeFile(planned.source->path, kMaxPackageSize, "input");
  int64_t told = 0;
  const auto done = [&](size_t bytes) {
    told += static_cast<int64_t>(bytes);
    progress.Add(0, static_cast<int64_t>(bytes));
  };
  made.entry = maker->MakeFile(planned.name, data, when, done);
  made.inputBytes = static_cast<int64_t>(data.size());
  progress.Add(1, made.inputBytes - told);
  return made;
}

// Makes the entries on `threads` threads, each with its own maker, and writes
// them in their planned order: the installer is the same for any number of
// threads.
PackTotals WriteEntries(const std::vector<PlannedEntry>& entries, PackageWriter& writer, const MakerFactory& newMaker,
                        int threads, ProgressLine& progress) {
  std::vector<std::unique_ptr<EntryMaker>> makers(static_cast<size_t>(threads));
  std::vector<OrderedPool<MadeEntry>::Job> jobs;
  jobs.reserve(entries.size());
  for (const PlannedEntry& planned : entries) {
    jobs.push_back({InputWeight(planned), [&](int worker) {
                      return MakePlannedEntry(planned, makers[static_cast<size_t>(worker)], newMaker, progress);
                    }});
  }
  PackTotals totals;
  OrderedPool<MadeEntry> pool(std::move(jobs), threads, kInputInFlightPerThread * threads);
  while (!pool.done()) {
    const MadeEntry made = pool.Next();
    writer.Add(made.entry);
    if (!made.entry.directory) ++totals.files;
    totals.inputBytes += made.inputBytes;
  }
  return totals;
}

}  // namespace

int RunPack(const Options& options, const char* programPath) {
  const auto start = std::chrono::steady_clock::now();
  static CrcTable table;
  BuildCrcTable(&table);
  table.carryless = ProcessorHasCarrylessMultiply();
  crcTable = &table;

  if (options.splitSize) CheckPartNames(options.output);
  (void)SourceDateEpoch();  // a malformed one stops the run before anything is read
  const fs::path stubPath = FindStub(options.stub, programPath);
  const OutputGuard guard(options.output, options.splitSize.has_value());
  CheckInputsAgainstOutputs(options, stubPath, guard);
  const Bytes stub = ReadWholeFile(stubPath, kPackageOffset, "stub");
  const NameEncoding encoding = options.codePage.codePage ? NameEncoding(*options.codePage.codePage) : NameEncoding();
  const PackageTexts texts = LoadTexts(options, encoding);
  const std::optional<std::string> password = LoadPackagePassword(options.password, options.codePage, encoding, true);

  // Everything that decides the entries is read before the output exists, so
  // that its temporary file never turns up in a directory being walked; an
  // older output inside an input directory is left out.
  std::vector<std::unique_ptr<ZipArchive>> archives;
  std::vector<std::unique_ptr<std::vector<SourceItem>>> sources;
  std::vector<PlannedEntry> planned;
  for (const Input& input : options.inputs) {
    if (input.fromZip) {
      archives.push_back(std::make_unique<ZipArchive>(input.path));
      const ZipArchive& archive = *archives.back();
      for (const ArchiveEntry& entry : archive.entries()) {
        planned.push_back({entry.name, entry.directory, "archive " + archive.shownPath(), &archive, &entry, nullptr});
      }
    } else {
      sources.push_back(std::make_unique<std::vector<SourceItem>>(CollectInput(input, guard, encoding)));
      for (const SourceItem& item : *sources.back()) {
        planned.push_back({item.name, item.directory, Quote(item.path.string()), nullptr, nullptr, &item});
      }
    }
  }
  const std::vector<PlannedEntry> entries = PlanEntries(std::move(planned), encoding);
  if (entries.empty()) throw PackError("nothing to package: the inputs hold no files");
  WarnAboutContents(entries, texts.inf, encoding);

  OutputFile output(options.output);
  PackageWriter writer(output, stub, texts, options.flags, options.overrides);
  std::optional<EntryEncryptor> encryptor;
  if (password) writer.EncryptWith(&encryptor.emplace(*password));
  if (options.splitSize && output.size() > *options.splitSize) {
    throw PackError("--split " + std::to_string(*options.splitSize) + " is too small: the installer's first file " +
                    "holds the stub, the package header and the texts, here " + std::to_string(output.size()) +
                    " bytes");
  }
  int64_t plannedFiles = 0;
  int64_t plannedBytes = 0;
  for (const PlannedEntry& entry : entries) {
    if (!entry.directory) ++plannedFiles;
    plannedBytes += entry.archiveEntry != nullptr ? entry.archiveEntry->originalSize : InputWeight(entry);
  }
  ProgressLine progress(!options.quiet && CanRedrawErrorLine(), plannedFiles, plannedBytes);
  const int threads = std::min(options.jobs > 0 ? options.jobs : UsableProcessors(), kMaxJobs);
  const MakerFactory newMaker = [&] { return std::make_unique<EntryMaker>(options.level); };
  const PackTotals totals = WriteEntries(entries, writer, newMaker, threads, progress);
  progress.Stop();
  const uint16_t signReserve = options.signReserve.value_or(0);
  writer.Finish({options.ending, signReserve, options.splitSize.value_or(0)});
  const int64_t packageSize = output.size();
  std::vector<std::unique_ptr<OutputFile>> parts;
  if (writer.multiPart()) parts = CutIntoParts(output, *options.splitSize);
  // A header forced by --header-field is meant to mislead the installer.
  if (options.overrides.empty()) {
    std::vector<ExpectedEntry> expected;
    expected.reserve(entries.size());
    for (const PlannedEntry& entry : entries) {
      const bool takenEncrypted = entry.archiveEntry != nullptr && entry.archiveEntry->encrypted;
      expected.push_back({entry.name, takenEncrypted || password.has_value()});
    }
    std::vector<const OutputFile*> files = {&output};
    for (const auto& part : parts) files.push_back(part.get());
    ReadBack(files, expected, signReserve, password ? &*password : nullptr);
  }
  CommitSplit(output, parts);
  if (options.splitSize) {
    RemoveStaleParts(options.output, static_cast<int>(parts.size()) + 1);
  } else {
    WarnAboutOldParts(options.output);
  }
  if (!options.quiet) {
    const std::chrono::duration<double> seconds = std::chrono::steady_clock::now() - start;
    Summary summary{totals.files, totals.inputBytes, packageSize, seconds.count(), {}};
    for (const auto& part : parts) summary.parts.push_back(part->path().filename().string());
    (void)std::fprintf(stderr, "%s\n", SummaryLine(summary).c_str());
  }
  return 0;
}

}  // namespace quillon::pack
