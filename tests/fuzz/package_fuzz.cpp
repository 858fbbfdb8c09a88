// Feeds arbitrary bytes to the installer's whole reading of its package, as
// the stub runs it: the header and its texts, the integrity check, the entry
// walk, decryption, and stored or deflated data into files of an in-memory
// file system below the work directory.
//
// The input is the file from the package offset on (the stub's image before
// it is zeros). Its first byte is not part of the file: it answers the
// prompts (bit 0: replace existing files; bits 1 and 2: which passwords are
// typed; bit 3: a disk that fills up). Crashes, hangs and leaks are caught by
// the sanitizers and libFuzzer; a file or directory created outside the work
// directory aborts.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "../unit/memory_host.h"
#include "app/package_header.h"
#include "app/package_integrity.h"
#include "inflate/crc.h"
#include "package/extract.h"

namespace {

using namespace quillon;

constexpr char kWork[] = "C:\\TEMP\\$Quillon.Tmp";
// A text longer than this could not be allocated by the stub either: it ends
// with the out-of-memory report there.
constexpr int32_t kLargestText = 1 << 26;

// The installer file: zeros up to the package offset, then the input.
class InstallerFile final : public PackageSource {
 public:
  InstallerFile(const uint8_t* package, size_t size) : package_(package), size_(static_cast<int64_t>(size)) {}

  int32_t Read(void* buffer, int32_t count) override {
    auto* out = static_cast<uint8_t*>(buffer);
    int32_t n = 0;
    if (n < count && position_ < kPackageOffset) {
      const auto zeros = static_cast<int32_t>(std::min<int64_t>(count, kPackageOffset - position_));
      std::memset(out, 0, static_cast<size_t>(zeros));
      n += zeros;
      position_ += zeros;
    }
    if (n < count && position_ < kPackageOffset + size_) {
      const auto bytes = static_cast<int32_t>(std::min<int64_t>(count - n, kPackageOffset + size_ - position_));
      std::memcpy(out + n, package_ + (position_ - kPackageOffset), static_cast<size_t>(bytes));
      n += bytes;
      position_ += bytes;
    }
    return n;
  }

  int32_t Seek(int32_t distance, SeekMethod method) override {
    const int64_t target = (method == SeekMethod::FromStart ? 0 : kPackageOffset + size_) + distance;
    if (target < 0 || target > 0x7FFFFFFE) return -1;
    position_ = target;
    return static_cast<int32_t>(target);
  }

  int32_t Size() override { return static_cast<int32_t>(kPackageOffset + size_); }

 private:
  const uint8_t* package_;
  int64_t size_;
  int64_t position_ = 0;
};

// Reads a text as the stub does; false when the stub would run out of memory.
bool ReadText(PackageSource& file, int32_t length, bool scrambled) {
  if (length > kLargestText) return false;
  std::vector<char> text(static_cast<size_t>(length > 0 ? length : 0) + 1, '\0');
  if (length > 0) static_cast<void>(file.Read(text.data(), length));
  if (scrambled) DescrambleText(text.data(), length);
  return true;
}

void ReadPackage(PackageSource& file, test::MemoryHost& host) {
  int32_t dataStart = 0;
  uint8_t magic[3] = {};
  file.Seek(kPackageOffset, SeekMethod::FromStart);
  if (file.Read(magic, 3) == 3 && std::memcmp(magic, kPackageMagic, 3) == 0) {
    uint8_t fields[kPackageHeaderSize - 3] = {};
    static_cast<void>(file.Read(fields, sizeof fields));
    const PackageHeader header = ParsePackageHeader(fields);
    if (!ReadText(file, header.titleLength, false) || !ReadText(file, header.infLength, false) ||
        !ReadText(file, header.licenceInfoLength, true) || !ReadText(file, header.infoLength, true) ||
        !ReadText(file, header.licenceLength, true)) {
      return;
    }
    if (!header.multiPart && !CheckPackageIntegrity(file)) return;
    dataStart = ComputeDataStart(header);
  }
  static_cast<void>(ExtractPackage(file, dataStart, kWork, NoLeadBytes, host));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static CrcTable table;
  if (crcTable == nullptr) {
    BuildCrcTable(&table);
    crcTable = &table;
  }
  if (size < 1) return 0;
  const uint8_t answers = data[0];
  test::MemoryHost host(kWork);
  host.replaceAnswers.assign(64, (answers & 1) != 0);
  static const char* const kPasswords[] = {"secret", "wrong", "", "pw"};
  for (int i = 0; i < 4; ++i) host.passwords.emplace_back(kPasswords[(answers >> 1 & 3) ^ (i & 1)]);
  if ((answers & 8) != 0) host.writeCapacity = 4096;

  InstallerFile file(data + 1, size - 1);
  ReadPackage(file, host);
  if (std::getenv("QUILLON_FUZZ_VERBOSE") != nullptr) {
    for (const std::string& created : host.created) std::printf("created %s\n", created.c_str());
    for (const auto& [text, caption] : host.reports) std::printf("report %s / %s\n", caption.c_str(), text.c_str());
  }
  if (host.escaped) {
    std::fputs("package_fuzz: a path outside the work directory was created\n", stderr);
    std::abort();
  }
  return 0;
}
