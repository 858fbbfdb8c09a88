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

#include "../unit/installer_reading.h"
#include "../unit/memory_host.h"
#include "base/crc.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace quillon;
  static CrcTable table;
  if (crcTable == nullptr) {
    BuildCrcTable(&table);
    table.carryless = ProcessorHasCarrylessMultiply();
    crcTable = &table;
  }
  if (size < 1) return 0;
  const uint8_t answers = data[0];
  test::MemoryHost host(test::kWork);
  host.replaceAnswers.assign(64, (answers & 1) != 0);
  static const char* const kPasswords[] = {"secret", "wrong", "", "pw"};
  for (int i = 0; i < 4; ++i) host.passwords.emplace_back(kPasswords[(answers >> 1 & 3) ^ (i & 1)]);
  if ((answers & 8) != 0) host.writeCapacity = 4096;

  test::InstallerFile file(data + 1, size - 1);
  static_cast<void>(test::ReadInstaller(file, host));
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
