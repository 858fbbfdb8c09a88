// A real installer cut short at every offset and with every byte flipped, as
// the installer reads it: each reading ends with a designed outcome, and a
// reading that succeeds has delivered no damaged data: every file it wrote
// holds the bytes of one of the intact package's files. (Names are not
// protected by the format: a flipped name byte gives another name.)
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "installer_reading.h"
#include "memory_host.h"

namespace quillon {
namespace {

using Bytes = std::vector<uint8_t>;

// An installer from the packager (its package part; a stub comes before it).
Bytes LoadInstaller() {
  std::ifstream file(std::string(QUILLON_SOURCE_DIR) + "/tests/fuzz/corpus/package/pack-deflated", std::ios::binary);
  Bytes bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  bytes.erase(bytes.begin());  // the fuzzer's answer byte
  return bytes;
}

struct Outcome {
  test::InstallerReading reading;
  std::map<std::string, Bytes> files;
  std::vector<std::pair<std::string, std::string>> reports;
  bool escaped;
  int passwordPrompts;
};

Outcome Read(const Bytes& package) {
  test::MemoryHost host(test::kWork);
  test::InstallerFile file(package.data(), package.size());
  Outcome outcome;
  outcome.reading = test::ReadInstaller(file, host);
  outcome.files = host.files;
  outcome.reports = host.reports;
  outcome.escaped = host.escaped;
  outcome.passwordPrompts = host.passwordPrompts;  // each one is cancelled
  return outcome;
}

// A failed reading must say why, with one of the installer's messages.
void ExpectDesignedEnd(const Outcome& damaged, const Outcome& intact, const std::string& label) {
  EXPECT_FALSE(damaged.escaped) << label;
  if (damaged.reading.end != test::ReadingEnd::Extracted) return;  // a message of its own
  if (damaged.reading.extraction.succeeded) {
    for (const auto& written : damaged.files) {
      const bool known = std::any_of(intact.files.begin(), intact.files.end(),
                                     [&](const auto& file) { return file.second == written.second; });
      EXPECT_TRUE(known) << label << ": success on damaged data in " << written.first;
    }
    return;
  }
  if (damaged.reports.empty() && damaged.passwordPrompts > 0) return;  // the user cancelled
  ASSERT_FALSE(damaged.reports.empty()) << label << ": failed without a message";
  const std::string& caption = damaged.reports.back().second;
  const std::string& text = damaged.reports.back().first;
  const bool designed = text == Text(UiText::ExtractionError) || text == Text(UiText::InvalidFilename) ||
                        text == Text(UiText::UnknownCompression) || text == Text(UiText::ReadingError) ||
                        caption == Text(UiText::CannotOpenFile) || caption == Text(UiText::DirectoryError);
  EXPECT_TRUE(designed) << label << ": " << caption << " / " << text;
}

TEST(DamagedPackage, CutAtEveryOffset) {
  const Bytes installer = LoadInstaller();
  ASSERT_GT(installer.size(), 200U);
  const Outcome intact = Read(installer);
  ASSERT_TRUE(intact.reading.extraction.succeeded);
  ASSERT_EQ(4U, intact.files.size());
  for (size_t size = 0; size < installer.size(); ++size) {
    const Bytes cut(installer.begin(), installer.begin() + static_cast<std::ptrdiff_t>(size));
    const Outcome damaged = Read(cut);
    // Without its end record nothing of a cut installer is extracted; one cut
    // before its magic has no package at all.
    if (size >= 3) {
      EXPECT_EQ(test::ReadingEnd::Corrupted, damaged.reading.end) << "cut at " << size;
    }
    ExpectDesignedEnd(damaged, intact, "cut at " + std::to_string(size));
  }
}

TEST(DamagedPackage, EveryByteFlipped) {
  const Bytes installer = LoadInstaller();
  const Outcome intact = Read(installer);
  for (const uint8_t mask : {uint8_t{0x01}, uint8_t{0x80}, uint8_t{0xFF}}) {
    for (size_t at = 0; at < installer.size(); ++at) {
      Bytes flipped = installer;
      flipped[at] ^= mask;
      ExpectDesignedEnd(Read(flipped), intact, "byte " + std::to_string(at) + " ^ " + std::to_string(mask));
    }
  }
}

}  // namespace
}  // namespace quillon
