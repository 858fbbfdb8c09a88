#include "building/zip_import.h"

#include <libdeflate.h>

#include <memory>

#include "base/little_endian.h"
#include "common/file_io.h"

namespace quillon::pack {

namespace {

constexpr size_t kMaxCommentLength = 0xFFFF;

struct DecompressorDeleter {
  void operator()(libdeflate_decompressor* decompressor) const { libdeflate_free_decompressor(decompressor); }
};

}  // namespace

ZipArchive::ZipArchive(const std::filesystem::path& path)
    : shown_(Quote(path.string())), bytes_(ReadWholeFile(path, kMaxPackageSize, "archive")) {
  ReadDirectory();
}

void ZipArchive::Refuse(const std::string& problem) const {
  throw PackError("archive " + shown_ + ": " + problem);
}

void ZipArchive::Refuse(const std::string& name, const std::string& problem) const {
  throw PackError("archive " + shown_ + ", entry " + Quote(name) + ": " + problem);
}

void ZipArchive::ReadDirectory() {
  const size_t size = bytes_.size();
  const uint8_t* data = bytes_.data();

  // The end record: the last one whose comment reaches the end of the file,
  // or failing that the last one whose comment fits in it.
  size_t end = SIZE_MAX;
  if (size >= kEndRecordSize) {
    const size_t lowest = size - kEndRecordSize > kMaxCommentLength ? size - kEndRecordSize - kMaxCommentLength : 0;
    size_t fitting = SIZE_MAX;
    for (size_t at = size - kEndRecordSize + 1; at-- > lowest;) {
      if (LoadLittle32(data + at) != kEndRecordSignature) continue;
      const size_t recordEnd = at + kEndRecordSize + LoadLittle16(data + at + kEndRecordCommentLengthField);
      if (recordEnd == size) {
        end = at;
        break;
      }
      if (recordEnd < size && fitting == SIZE_MAX) fitting = at;
    }
    if (end == SIZE_MAX) end = fitting;
  }
  if (end == SIZE_MAX) Refuse("not a ZIP archive (no end of central directory record)");

  if (end >= kZip64LocatorSize && LoadLittle32(data + end - kZip64LocatorSize) == kZip64LocatorSignature) {
    Refuse("ZIP64 archives are not supported");
  }
  const uint16_t disk = LoadLittle16(data + end + kEndRecordDiskField);
  const uint16_t directoryDisk = LoadLittle16(data + end + kEndRecordDirectoryDiskField);
  const uint16_t entriesHere = LoadLittle16(data + end + kEndRecordEntriesHereField);
  const uint16_t entryCount = LoadLittle16(data + end + kEndRecordEntriesField);
  const uint32_t directorySize = LoadLittle32(data + end + kEndRecordDirectorySizeField);
  const uint32_t directoryOffset = LoadLittle32(data + end + kEndRecordDirectoryOffsetField);
  if (entryCount == kZip64Count || directorySize == kZip64Value || directoryOffset == kZip64Value) {
    Refuse("ZIP64 archives are not supported");
  }
  if (disk != 0 || directoryDisk != 0 || entriesHere != entryCount) Refuse("split archives are not supported");
  if (directorySize > end) Refuse("damaged: the central directory does not fit before its end record");

  // Archives with bytes in front of them (self-extractors, installers) have
  // their offsets counted from somewhere else; the distance between where the
  // directory is and where it says it is applies to every offset.
  const size_t directoryStart = end - directorySize;
  if (directoryOffset > directoryStart) Refuse("damaged: the central directory is not where its end record says");
  const size_t shift = directoryStart - directoryOffset;

  size_t at = directoryStart;
  for (uint32_t index = 0; index < entryCount; ++index) {
    if (at + kCentralHeaderSize > end || LoadLittle32(data + at) != kCentralHeaderSignature) {
      Refuse("damaged: central directory header " + std::to_string(index + 1) + " is missing");
    }
    ArchiveEntry entry;
    const uint16_t flags = LoadLittle16(data + at + kCentralFlagsField);
    entry.method = LoadLittle16(data + at + kCentralMethodField);
    entry.crc = LoadLittle32(data + at + kCentralCrcField);
    const uint32_t storedSize = LoadLittle32(data + at + kCentralPackedSizeField);
    entry.originalSize = LoadLittle32(data + at + kCentralSizeField);
    const uint16_t nameLength = LoadLittle16(data + at + kCentralNameLengthField);
    const size_t centralSize = size_t{kCentralHeaderSize} + nameLength +
                               LoadLittle16(data + at + kCentralExtraLengthField) +
                               LoadLittle16(data + at + kCentralCommentLengthField);
    const uint16_t startDisk = LoadLittle16(data + at + kCentralStartDiskField);
    const uint32_t localOffset = LoadLittle32(data + at + kCentralOffsetField);
    if (at + centralSize > end)
      Refuse("damaged: central directory header " + std::to_string(index + 1) + " is cut off");
    entry.name.assign(reinterpret_cast<const char*>(data + at + kCentralHeaderSize), nameLength);
    entry.centralStart = at;
    entry.centralSize = centralSize;
    entry.directory = !entry.name.empty() && entry.name.back() == '/';
    entry.encrypted = (flags & kFlagEncrypted) != 0;
    at += centralSize;

    const std::string& name = entry.name;
    if (storedSize == kZip64Value || entry.originalSize == kZip64Value || localOffset == kZip64Value) {
      Refuse(name, "ZIP64 entries are not supported");
    }
    if (startDisk != 0) Refuse(name, "split archives are not supported");
    if (entry.method != kMethodStored && entry.method != kMethodDeflated) {
      Refuse(name, "compression method " + std::to_string(entry.method) +
                       " is not supported; the installer reads stored (0) and deflated (8) entries");
    }
    if ((flags & kFlagStrongEncryption) != 0) {
      Refuse(name, "strong encryption is not supported; the installer reads traditional ZIP encryption only");
    }
    if (entry.directory && entry.originalSize != 0) Refuse(name, "a directory entry with data");

    // The local header: the installer takes the CRC-32 and the sizes from it.
    entry.localStart = size_t{localOffset} + shift;
    const size_t local = entry.localStart;
    if (local + kLocalHeaderSize > directoryStart || LoadLittle32(data + local) != kLocalHeaderSignature) {
      Refuse(name, "damaged: no local header where the central directory says");
    }
    const uint16_t localFlags = LoadLittle16(data + local + kLocalFlagsField);
    const uint16_t localMethod = LoadLittle16(data + local + kLocalMethodField);
    const uint32_t localCrc = LoadLittle32(data + local + kLocalCrcField);
    const uint32_t localStored = LoadLittle32(data + local + kLocalPackedSizeField);
    const uint32_t localOriginal = LoadLittle32(data + local + kLocalSizeField);
    const uint16_t localNameLength = LoadLittle16(data + local + kLocalNameLengthField);
    entry.dataStart = local + kLocalHeaderSize + localNameLength + LoadLittle16(data + local + kLocalExtraLengthField);
    entry.dataEnd = entry.dataStart + storedSize;
    if (entry.dataEnd > directoryStart) Refuse(name, "damaged: the entry runs into the central directory");
    if (std::string(reinterpret_cast<const char*>(data + local + kLocalHeaderSize), localNameLength) != name) {
      Refuse(name, "damaged: the local header carries another name");
    }
    if (localMethod != entry.method || (localFlags & kFlagEncrypted) != (flags & kFlagEncrypted)) {
      Refuse(name, "damaged: the local header disagrees with the central directory");
    }
    if (localCrc != entry.crc || localStored != storedSize || localOriginal != entry.originalSize) {
      if ((localFlags & kFlagDataDescriptor) != 0) {
        Refuse(name,
               "the local header lacks the real CRC-32 and sizes (they follow the data in a data descriptor, as "
               "streaming ZIP writers leave them); the installer needs them in the local header: make the archive "
               "from files on disk, not from a pipe");
      }
      Refuse(name, "damaged: the local header disagrees with the central directory");
    }

    // A data descriptor the writer left behind the data, with or without its
    // signature; its values must match, or what follows is not one.
    if ((localFlags & kFlagDataDescriptor) != 0) {
      const uint8_t* behind = data + entry.dataEnd;
      const auto matches = [&](const uint8_t* p) {
        // p is where the descriptor's CRC-32 stands, behind its signature if any.
        constexpr int32_t kCrc = kDescriptorCrcField;
        return LoadLittle32(p) == entry.crc && LoadLittle32(p + kDescriptorPackedSizeField - kCrc) == storedSize &&
               LoadLittle32(p + kDescriptorSizeField - kCrc) == entry.originalSize;
      };
      if (entry.dataEnd + kDataDescriptorSize <= directoryStart && LoadLittle32(behind) == kDataDescriptorSignature &&
          matches(behind + kDescriptorCrcField)) {
        entry.descriptor = kDataDescriptorSize;
      } else if (entry.dataEnd + kDataDescriptorSize - kDescriptorCrcField <= directoryStart && matches(behind)) {
        entry.descriptor = kDataDescriptorSize - kDescriptorCrcField;
      }
    }
    entries_.push_back(std::move(entry));
  }
}

PackEntry ZipArchive::Take(const ArchiveEntry& entry) const {
  const uint8_t* data = bytes_.data();
  const size_t storedSize = entry.dataEnd - entry.dataStart;
  if (!entry.encrypted) {
    Bytes inflated;
    const uint8_t* original = data + entry.dataStart;
    if (entry.method == kMethodDeflated) {
      inflated.resize(entry.originalSize);
      std::unique_ptr<libdeflate_decompressor, DecompressorDeleter> decompressor(libdeflate_alloc_decompressor());
      if (!decompressor) throw PackError("cannot set up the decompressor");
      // Without a count of bytes out, anything but exactly originalSize bytes fails.
      if (libdeflate_deflate_decompress(decompressor.get(), original, storedSize, inflated.data(), inflated.size(),
                                        nullptr) != LIBDEFLATE_SUCCESS) {
        Refuse(entry.name, "damaged: the deflated data does not inflate to the size given");
      }
      original = inflated.data();
    } else if (storedSize != entry.originalSize) {
      Refuse(entry.name, "damaged: a stored entry whose two sizes differ");
    }
    if (Crc32(original, entry.originalSize) != entry.crc)
      Refuse(entry.name, "damaged: the data does not match its CRC-32");
  }

  PackEntry taken;
  taken.name = entry.name;
  taken.directory = entry.directory;
  taken.local.assign(data + entry.localStart, data + entry.dataEnd);
  if (entry.descriptor == kDataDescriptorSize) {
    PutBytes(taken.local, data + entry.dataEnd, kDataDescriptorSize);
  } else if (entry.descriptor == kDataDescriptorSize - kDescriptorCrcField) {
    Put32(taken.local, kDataDescriptorSignature);
    PutBytes(taken.local, data + entry.dataEnd, entry.descriptor);
  }
  taken.central.assign(data + entry.centralStart, data + entry.centralStart + entry.centralSize);
  return taken;
}

}  // namespace quillon::pack
