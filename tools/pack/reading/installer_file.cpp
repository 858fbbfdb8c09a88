#include "reading/installer_file.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "base/little_endian.h"
#include "common/file_io.h"
#include "package/package_integrity.h"
#include "package/package_start.h"
#include "package/part_join.h"
#include "system/system.h"

namespace quillon::pack {

namespace fs = std::filesystem;

// The files read one after the other as one sequence of bytes, as the
// installer joins a split package.
class InstallerFile::JoinedFiles final : public PackageSource {
 public:
  JoinedFiles() = default;
  ~JoinedFiles() = default;
  JoinedFiles(const JoinedFiles&) = delete;
  JoinedFiles& operator=(const JoinedFiles&) = delete;

  void Add(const fs::path& path) {
    SystemFile file;
    if (!file.OpenForReading(path)) throw PackError("cannot open " + Quote(path.string()) + ": " + LastSystemError());
    const std::optional<FileStatus> info = file.Status();
    if (!info) throw PackError("cannot read " + Quote(path.string()) + ": " + LastSystemError());
    if (info->kind != FileKind::Regular) {
      throw PackError(Quote(path.string()) + " is " + DescribeKind(info->kind) + ", not a regular file");
    }
    pieces_.push_back({std::move(file), size_, info->size});
    size_ += info->size;
    if (size_ > kMaxPackageSize) {
      throw PackError(Quote(path.string()) + " makes the package larger than " + std::to_string(kMaxPackageSize) +
                      " bytes, more than the installer can read");
    }
  }

  int32_t Read(void* buffer, int32_t count) override {
    auto* out = static_cast<uint8_t*>(buffer);
    int32_t done = 0;
    for (const Piece& piece : pieces_) {
      while (done < count && position_ >= piece.start && position_ < piece.start + piece.size) {
        const auto wanted = static_cast<size_t>(std::min<int64_t>(count - done, piece.start + piece.size - position_));
        const int64_t n = piece.file.ReadAt(position_ - piece.start, out + done, wanted);
        if (n <= 0) return done;
        done += static_cast<int32_t>(n);
        position_ += n;
      }
    }
    return done;
  }

  int32_t Seek(int32_t distance, SeekMethod method) override {
    const int64_t target = (method == SeekMethod::FromEnd ? size_ : 0) + distance;
    if (target < 0 || target > INT32_MAX - 1) return -1;
    position_ = target;
    return static_cast<int32_t>(target);
  }

  int32_t Size() override { return static_cast<int32_t>(size_); }
  [[nodiscard]] int64_t size() const { return size_; }
  [[nodiscard]] std::vector<int64_t> sizes() const {
    std::vector<int64_t> sizes;
    for (const Piece& piece : pieces_) sizes.push_back(piece.size);
    return sizes;
  }

 private:
  struct Piece {
    SystemFile file;
    int64_t start;
    int64_t size;
  };
  std::vector<Piece> pieces_;
  int64_t size_ = 0;
  int64_t position_ = 0;
};

namespace {

// Part n's path as the installer makes it: the last three characters of the
// program's path replaced by n in three digits.
fs::path PartOf(const fs::path& installer, int32_t number) {
  const std::string path = installer.string();
  std::vector<char> buffer(path.begin(), path.end());
  buffer.push_back('\0');
  if (!MakePartPath(buffer.data(), number)) {
    throw PackError("the name " + Quote(path) + " is too short for the installer to find its part files");
  }
  return {buffer.data()};
}

// The texts into PackageTexts. A text longer than the file could never be
// filled; it stops the reading instead of taking that much memory.
class TextCollector final : public PackageStartHost {
 public:
  TextCollector(PackageTexts& texts, int64_t fileSize) : texts_(texts), fileSize_(fileSize) {}

  bool GoOn(const PackageHeader& /*header*/) override { return true; }

  char* TextBuffer(PackageText text, int32_t length) override {
    if (length > fileSize_) return nullptr;
    Bytes& bytes = Slot(text);
    bytes.assign(static_cast<size_t>(length) + 1, 0);
    return reinterpret_cast<char*>(bytes.data());
  }

  Bytes& Slot(PackageText text) {
    switch (text) {
      case PackageText::Title:
        return texts_.title;
      case PackageText::Inf:
        return texts_.inf;
      case PackageText::LicenceInfo:
        return texts_.licenceInfo;
      case PackageText::Info:
        return texts_.info;
      default:
        return texts_.licence;
    }
  }

 private:
  PackageTexts& texts_;
  int64_t fileSize_;
};

}  // namespace

PackageStart ReadInstallerStart(PackageSource& programFile, PackageTexts& texts) {
  texts = {};
  TextCollector collector(texts, programFile.Size());
  const PackageStart start = ReadPackageStart(programFile, collector);
  for (int32_t i = 0; i < kPackageTextCount; ++i) {
    Bytes& text = collector.Slot(static_cast<PackageText>(i));
    text.resize(std::min(text.size(), static_cast<size_t>(start.arrived[i])));
  }
  return start;
}

InstallerFile::InstallerFile(const fs::path& path) : joined_(std::make_unique<JoinedFiles>()) {
  joined_->Add(path);
  files_.push_back(path);
  // As the installer does, from the program file alone: a split one joins
  // its parts only afterwards.
  const PackageStart start = ReadInstallerStart(*joined_, texts_);
  hasHeader_ = start.status != PackageStartStatus::NoPackage;
  if (!hasHeader_) return;  // a plain ZIP archive: entries from offset 0
  header_ = start.header;
  if (start.status == PackageStartStatus::Stopped || !start.TextsWhole()) {
    throw PackError("the texts reach past the end of " +
                    std::string(header_.multiPart ? "the program file, where the installer reads them" : "the file"));
  }
  endMissing_ = start.status == PackageStartStatus::Corrupted;

  if (header_.multiPart) {
    for (int32_t number = 1; joined_->size() < header_.totalSize; ++number) {
      if (number > kMaxPartNumber) {
        throw PackError("the header's total size " + std::to_string(header_.totalSize) + " needs more than " +
                        std::to_string(kMaxPartNumber) + " part files");
      }
      const fs::path part = PartOf(path, number);
      std::error_code error;
      if (!fs::exists(part, error)) ThrowMissingPart(part, number);
      joined_->Add(part);
      files_.push_back(part);
    }
  }

  dataStart_ = ComputeDataStart(header_);
  if (dataStart_ < 0 || dataStart_ > joined_->size()) throw PackError("the texts reach past the end of the package");
}

// Every file of a split but the last is as long as the program file: a
// shorter one before the missing part was cut short, and is to blame.
void InstallerFile::ThrowMissingPart(const fs::path& part, int32_t number) const {
  const std::vector<int64_t> sizes = joined_->sizes();
  for (size_t i = 1; i < sizes.size(); ++i) {
    if (sizes[i] >= sizes[0]) continue;
    throw PackError("part file " + Quote(files_[i].string()) + " is " + std::to_string(sizes[i]) +
                    " bytes long, shorter than the program file (" + std::to_string(sizes[0]) +
                    " bytes): it is empty or cut short, so the files joined hold " + std::to_string(joined_->size()) +
                    " of the " + std::to_string(header_.totalSize) + " bytes that the header gives, and " +
                    Quote(part.string()) + " would be needed (the installer would ask for disk " +
                    std::to_string(number + 1) + ")");
  }
  throw PackError("part file " + Quote(part.string()) + " is missing (the installer would ask for disk " +
                  std::to_string(number + 1) + ")");
}

InstallerFile::~InstallerFile() = default;

PackageSource& InstallerFile::source() {
  return *joined_;
}

int64_t InstallerFile::size() const {
  return joined_->size();
}

PackageEnding InstallerFile::FindEnding() {
  PackageEnding ending;
  // The installer's own check first; a plain archive may also have bytes
  // behind its end record, which the check would not take.
  const PackageTail tail = FindPackageTail(*joined_, hasHeader_ ? kPackageOffset : 0);
  if (tail.kind == PackageTail::Kind::Trailer) {
    ending.kind = PackageEnding::Kind::Trailer;
    ending.entriesEnd = tail.position;
    return ending;
  }
  int64_t recordAt = tail.position;
  uint8_t record[kEndRecordSize] = {};
  if (tail.kind == PackageTail::Kind::Missing && !hasHeader_) recordAt = LastEndRecordInFile();
  if (recordAt < 0 || joined_->Seek(static_cast<int32_t>(recordAt), SeekMethod::FromStart) < 0 ||
      ReadFully(*joined_, record, kEndRecordSize) != kEndRecordSize) {
    return ending;
  }
  ending.kind = PackageEnding::Kind::CentralDirectory;
  ending.directoryCount = LoadLittle16(record + kEndRecordEntriesField);
  ending.directorySize = LoadLittle32(record + kEndRecordDirectorySizeField);
  ending.directoryOffset = LoadLittle32(record + kEndRecordDirectoryOffsetField);
  ending.entriesEnd = recordAt - static_cast<int64_t>(ending.directorySize);
  uint8_t locator[4] = {};
  ending.zip64 = ending.directoryCount == kZip64Count || ending.directorySize == kZip64Value ||
                 ending.directoryOffset == kZip64Value ||
                 (recordAt >= kZip64LocatorSize &&
                  joined_->Seek(static_cast<int32_t>(recordAt - kZip64LocatorSize), SeekMethod::FromStart) >= 0 &&
                  ReadFully(*joined_, locator, 4) == 4 && LoadLittle32(locator) == kZip64LocatorSignature);
  return ending;
}

int64_t InstallerFile::LastEndRecordInFile() {
  const int64_t size = joined_->size();
  const int64_t windowSize = std::min<int64_t>(size, kIntegrityWindow);
  Bytes window(static_cast<size_t>(windowSize));
  const int64_t windowStart = size - windowSize;
  if (windowSize < kEndRecordSize || joined_->Seek(static_cast<int32_t>(windowStart), SeekMethod::FromStart) < 0 ||
      ReadFully(*joined_, window.data(), static_cast<int32_t>(windowSize)) != windowSize) {
    return -1;
  }
  for (size_t at = window.size() - kEndRecordSize + 1; at-- > 0;) {
    const uint8_t* record = window.data() + at;
    const int64_t end =
        windowStart + static_cast<int64_t>(at + kEndRecordSize) + LoadLittle16(record + kEndRecordCommentLengthField);
    if (LoadLittle32(record) == kEndRecordSignature && end <= size) return windowStart + static_cast<int64_t>(at);
  }
  return -1;
}

std::vector<CentralEntry> InstallerFile::ReadCentralDirectory(const PackageEnding& ending) {
  const auto damaged = [](const std::string& what) -> PackError {
    return PackError("the central directory is damaged: " + what);
  };
  if (ending.entriesEnd < 0) throw damaged("it would start before the file");
  Bytes directory(ending.directorySize);
  if (joined_->Seek(static_cast<int32_t>(ending.entriesEnd), SeekMethod::FromStart) < 0 ||
      joined_->Read(directory.data(), static_cast<int32_t>(directory.size())) !=
          static_cast<int32_t>(directory.size())) {
    throw damaged("it cannot be read");
  }
  // Offsets of an archive with bytes in front count from where it began.
  const int64_t shift = ending.entriesEnd - ending.directoryOffset;
  std::vector<CentralEntry> entries;
  size_t at = 0;
  for (uint32_t index = 1; index <= ending.directoryCount; ++index) {
    const uint8_t* header = directory.data() + at;
    if (at + kCentralHeaderSize > directory.size() || LoadLittle32(header) != kCentralHeaderSignature) {
      throw damaged("header " + std::to_string(index) + " is not where it should be");
    }
    const size_t nameLength = LoadLittle16(header + kCentralNameLengthField);
    const size_t length = kCentralHeaderSize + nameLength + LoadLittle16(header + kCentralExtraLengthField) +
                          LoadLittle16(header + kCentralCommentLengthField);
    if (at + length > directory.size()) throw damaged("header " + std::to_string(index) + " is cut off");
    CentralEntry entry;
    entry.flags = LoadLittle16(header + kCentralFlagsField);
    entry.method = LoadLittle16(header + kCentralMethodField);
    entry.time = LoadLittle16(header + kCentralTimeField);
    entry.date = LoadLittle16(header + kCentralDateField);
    entry.crc = LoadLittle32(header + kCentralCrcField);
    entry.packedSize = LoadLittle32(header + kCentralPackedSizeField);
    entry.size = LoadLittle32(header + kCentralSizeField);
    entry.localOffset = LoadLittle32(header + kCentralOffsetField) + shift;
    entry.name.assign(reinterpret_cast<const char*>(header + kCentralHeaderSize), nameLength);
    entries.push_back(std::move(entry));
    at += length;
  }
  if (at != directory.size()) {
    throw damaged("its headers take " + std::to_string(at) + " bytes, the end record says " +
                  std::to_string(directory.size()));
  }
  return entries;
}

}  // namespace quillon::pack
