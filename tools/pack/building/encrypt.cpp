#include "building/encrypt.h"

#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>

#include "base/little_endian.h"
#include "building/reproducible.h"
#include "crypt/zip_crypt.h"
#include "reading/entry_check.h"
#include "system/system.h"

namespace quillon::pack {

namespace {

// Undocumented on purpose: the packager's tests compare encrypted installers
// byte for byte. A real installer must never be made with it.
constexpr const char* kTestSeedVariable = "QUILLON_PACK_TEST_SEED";

constexpr uint16_t kVersionEncrypted = 20;  // 2.0: traditional encryption

// The plain bytes turned into cipher bytes in place: each is XORed with the
// keystream, and the keys then take the plain byte.
void EncryptBuffer(ZipKeys& keys, uint8_t* data, size_t size) {
  for (size_t i = 0; i < size; ++i) {
    const uint8_t plain = data[i];
    data[i] = static_cast<uint8_t>(plain ^ DecryptByte(keys));
    UpdateKeys(keys, plain);
  }
}

uint64_t SplitMix(uint64_t& state) {
  uint64_t z = (state += 0x9E3779B97F4A7C15u);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9u;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBu;
  return z ^ (z >> 31);
}

}  // namespace

RandomSource::RandomSource() {
  const char* seed = std::getenv(kTestSeedVariable);  // NOLINT(concurrency-mt-unsafe): one thread reads it
  if (seed == nullptr) return;
  uint64_t value = 0;
  const char* end = seed + std::strlen(seed);
  if (std::from_chars(seed, end, value).ptr != end) throw PackError(std::string(kTestSeedVariable) + " is no number");
  testState_ = value;
  Warn(std::string(kTestSeedVariable) + " is set: the encryption headers are not random (for tests only)");
}

void RandomSource::Fill(uint8_t* data, size_t size, const std::string& password, const Bytes& entry) {
  if (testState_) {
    for (size_t i = 0; i < size; ++i) data[i] = static_cast<uint8_t>(SplitMix(*testState_));
    return;
  }
  if (const std::optional<int64_t> epoch = SourceDateEpoch()) {
    DeriveEncryptionHeader(password, *epoch, entry, data, size);
    return;
  }
  FillSystemRandom(data, size);
}

void EntryEncryptor::Protect(PackEntry& entry) {
  Bytes& local = entry.local;
  const uint16_t flags = LoadLittle16(local.data() + kLocalFlagsField);
  if ((flags & kFlagEncrypted) != 0) {
    MemorySource source(local);
    EntryStream stream(source);
    stream.SeekPackage(0);
    const bool read = stream.ReadEntryHeader();
    const EntryCheck check = CheckEntryData(source, stream, 0, &password_);
    if (!read || check.verdict != EntryVerdict::Sound) {
      throw PackError("entry " + Quote(entry.name) +
                      " of an archive is encrypted already, and this password does not open it (" +
                      DescribeVerdict(check, stream.entryHeader) +
                      "); the installer would ask for its own password there. Take the archive without "
                      "--password, or encrypt it with the same password");
    }
    return;
  }

  const uint32_t packed = LoadLittle32(local.data() + kLocalPackedSizeField);
  if (packed > static_cast<uint32_t>(kMaxPackageSize) - kEncryptionHeaderSize) {
    throw PackError("entry " + Quote(entry.name) + " is too large to be encrypted");
  }
  const size_t dataStart = size_t{kLocalHeaderSize} + LoadLittle16(local.data() + kLocalNameLengthField) +
                           LoadLittle16(local.data() + kLocalExtraLengthField);
  const size_t dataEnd = dataStart + packed;

  // The installer tests its password on the check byte: the top byte of the
  // CRC-32, or of the DOS time when the sizes follow the data (flag bit 3).
  uint8_t header[kEncryptionHeaderSize];
  random_.Fill(header, kEncryptionHeaderSize - 1, password_, local);
  header[kEncryptionHeaderSize - 1] = (flags & kFlagDataDescriptor) != 0
                                          ? static_cast<uint8_t>(LoadLittle16(local.data() + kLocalTimeField) >> 8)
                                          : static_cast<uint8_t>(LoadLittle32(local.data() + kLocalCrcField) >> 24);
  local.insert(local.begin() + static_cast<std::ptrdiff_t>(dataStart), header, header + kEncryptionHeaderSize);
  ZipKeys keys{};
  InitKeys(keys, password_.data(), static_cast<int32_t>(password_.size()));
  EncryptBuffer(keys, local.data() + dataStart, packed + kEncryptionHeaderSize);

  const uint32_t encryptedSize = packed + kEncryptionHeaderSize;
  const auto newFlags = static_cast<uint16_t>(flags | kFlagEncrypted);
  StoreLittle16(local.data() + kLocalFlagsField, newFlags);
  StoreLittle16(local.data() + kLocalVersionField,
                std::max(LoadLittle16(local.data() + kLocalVersionField), kVersionEncrypted));
  StoreLittle32(local.data() + kLocalPackedSizeField, encryptedSize);
  const size_t descriptor = dataEnd + kEncryptionHeaderSize;
  if (local.size() - descriptor == kDataDescriptorSize &&
      LoadLittle32(local.data() + descriptor) == kDataDescriptorSignature) {
    StoreLittle32(local.data() + descriptor + kDescriptorPackedSizeField, encryptedSize);
  }
  Bytes& central = entry.central;
  StoreLittle16(central.data() + kCentralFlagsField,
                static_cast<uint16_t>(LoadLittle16(central.data() + kCentralFlagsField) | kFlagEncrypted));
  StoreLittle16(central.data() + kCentralVersionField,
                std::max(LoadLittle16(central.data() + kCentralVersionField), kVersionEncrypted));
  StoreLittle32(central.data() + kCentralPackedSizeField, encryptedSize);
}

}  // namespace quillon::pack
