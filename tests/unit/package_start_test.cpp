#include "package/package_start.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "package/package_header.h"
#include "test_support.h"

namespace quillon {
namespace {

using Bytes = std::vector<uint8_t>;

struct Texts {
  std::string title, inf, licenceInfo, info, licence;
};

std::string Scrambled(std::string text) {
  DescrambleText(text.data(), static_cast<int32_t>(text.size()));
  return text;
}

// A program image of zeros, the header, the texts and what follows them.
Bytes Installer(const PackageHeader& header, const Texts& texts, const Bytes& tail) {
  Bytes file(kPackageOffset, 0);
  uint8_t raw[kPackageHeaderSize];
  FormatPackageHeader(header, raw);
  file.insert(file.end(), raw, raw + kPackageHeaderSize);
  for (const std::string& text :
       {texts.title, texts.inf, Scrambled(texts.licenceInfo), Scrambled(texts.info), Scrambled(texts.licence)}) {
    file.insert(file.end(), text.begin(), text.end());
  }
  file.insert(file.end(), tail.begin(), tail.end());
  return file;
}

PackageHeader HeaderFor(const Texts& texts) {
  PackageHeader header;
  header.titleLength = static_cast<uint8_t>(texts.title.size());
  header.infLength = static_cast<uint8_t>(texts.inf.size());
  header.licenceInfoLength = static_cast<uint8_t>(texts.licenceInfo.size());
  header.infoLength = static_cast<int32_t>(texts.info.size());
  header.licenceLength = static_cast<int32_t>(texts.licence.size());
  return header;
}

const Bytes kTrailer = {'R', 'S', 'F', 0};

// Records what the reading asks, and keeps the texts.
class Host final : public PackageStartHost {
 public:
  bool GoOn(const PackageHeader& /*header*/) override {
    ++goOnCalls;
    return goOn;
  }
  char* TextBuffer(PackageText text, int32_t length) override {
    asked.push_back(text);
    if (length > largest) return nullptr;
    std::string& buffer = texts[static_cast<int>(text)];
    buffer.assign(static_cast<size_t>(length) + 1, '#');
    return buffer.data();
  }
  // The text as the stub would show it: up to its NUL.
  [[nodiscard]] std::string Shown(PackageText text) const { return texts[static_cast<int>(text)].c_str(); }

  bool goOn = true;
  int32_t largest = 1 << 20;
  int goOnCalls = 0;
  std::vector<PackageText> asked;
  std::string texts[kPackageTextCount];
};

TEST(PackageStart, ReadsHeaderTextsAndWhereTheEntriesStart) {
  const Texts texts{"Title", "><setup.inf", "Licence info", "Information text", "Licence"};
  test::MemorySource file(Installer(HeaderFor(texts), texts, kTrailer));
  file.maxRead = 3;  // a read may deliver less than asked
  Host host;
  const PackageStart start = ReadPackageStart(file, host);
  ASSERT_EQ(PackageStartStatus::Ready, start.status);
  EXPECT_TRUE(start.TextsWhole());
  EXPECT_EQ(kPackageOffset + kPackageHeaderSize + 5 + 11 + 12 + 16 + 7, start.dataStart);
  EXPECT_EQ(texts.title, host.Shown(PackageText::Title));
  EXPECT_EQ(texts.inf, host.Shown(PackageText::Inf));
  EXPECT_EQ(texts.licenceInfo, host.Shown(PackageText::LicenceInfo));
  EXPECT_EQ(texts.info, host.Shown(PackageText::Info));
  EXPECT_EQ(texts.licence, host.Shown(PackageText::Licence));
}

// The title, the INF text and the licence information are always there,
// the information and the licence text only with a length above 0.
TEST(PackageStart, TextsThatAreThere) {
  struct Case {
    int32_t infoLength;
    int32_t licenceLength;
    std::vector<PackageText> asked;
  };
  const std::vector<PackageText> always = {PackageText::Title, PackageText::Inf, PackageText::LicenceInfo};
  const Case cases[] = {
      {0, 0, always},
      {-5, -1, always},
      {2, 0, {PackageText::Title, PackageText::Inf, PackageText::LicenceInfo, PackageText::Info}},
      {0, 3, {PackageText::Title, PackageText::Inf, PackageText::LicenceInfo, PackageText::Licence}},
  };
  for (const Case& c : cases) {
    PackageHeader header;
    header.infoLength = c.infoLength;
    header.licenceLength = c.licenceLength;
    // Built in one go: GCC 12 at -O3 takes an insert into a fresh
    // five-byte vector for a copy out of its bounds.
    Bytes tail(5 + kTrailer.size(), 'x');
    std::copy(kTrailer.begin(), kTrailer.end(), tail.begin() + 5);
    test::MemorySource file(Installer(header, {}, tail));
    Host host;
    const PackageStart start = ReadPackageStart(file, host);
    EXPECT_EQ(PackageStartStatus::Ready, start.status) << c.infoLength;
    EXPECT_EQ(c.asked, host.asked) << c.infoLength << " " << c.licenceLength;
    EXPECT_EQ(kPackageOffset + kPackageHeaderSize + std::max(c.infoLength, 0) + std::max(c.licenceLength, 0),
              start.dataStart);
  }
}

TEST(PackageStart, WaysItStops) {
  const Texts texts{"T", "I", "L", "Info", "Lic"};
  const Bytes whole = Installer(HeaderFor(texts), texts, kTrailer);
  {
    Bytes noMagic = whole;
    noMagic[kPackageOffset] = 'q';
    test::MemorySource file(noMagic);
    Host host;
    const PackageStart start = ReadPackageStart(file, host);
    EXPECT_EQ(PackageStartStatus::NoPackage, start.status);
    EXPECT_EQ(0, start.dataStart);
    EXPECT_EQ(0, host.goOnCalls);
  }
  {
    test::MemorySource file(Bytes(kPackageOffset + 2, 0));  // ends inside the magic
    Host host;
    EXPECT_EQ(PackageStartStatus::NoPackage, ReadPackageStart(file, host).status);
  }
  {
    test::MemorySource file(whole);
    Host host;
    host.goOn = false;  // administrator rights missing
    EXPECT_EQ(PackageStartStatus::Stopped, ReadPackageStart(file, host).status);
    EXPECT_TRUE(host.asked.empty()) << "no text is read before the host's word";
  }
  {
    test::MemorySource file(whole);
    Host host;
    host.largest = 3;  // the information text cannot be held
    EXPECT_EQ(PackageStartStatus::Stopped, ReadPackageStart(file, host).status);
    EXPECT_EQ(PackageText::Info, host.asked.back());
  }
  {
    Bytes cut = whole;
    cut.resize(cut.size() - 1);  // the trailer's last byte: no end
    test::MemorySource file(cut);
    Host host;
    EXPECT_EQ(PackageStartStatus::Corrupted, ReadPackageStart(file, host).status);
  }
}

// A split package is not checked: its end is in the last part file.
TEST(PackageStart, SplitPackagesSkipTheIntegrityCheck) {
  const Texts texts{"T", "I", "L", "", ""};
  PackageHeader header = HeaderFor(texts);
  header.multiPart = true;
  test::MemorySource file(Installer(header, texts, Bytes(100, 'x')));
  Host host;
  EXPECT_EQ(PackageStartStatus::Ready, ReadPackageStart(file, host).status);
}

// A file that ends inside a text: the text ends where the file does, and
// only the bytes that arrived are descrambled.
TEST(PackageStart, TextCutByTheEndOfTheFile) {
  const Texts texts{"Title", "", "", "Information", ""};
  Bytes file = Installer(HeaderFor(texts), texts, {});
  file.resize(file.size() - 4);
  test::MemorySource source(file);
  Host host;
  const PackageStart start = ReadPackageStart(source, host);
  EXPECT_EQ(PackageStartStatus::Corrupted, start.status);
  EXPECT_FALSE(start.TextsWhole());
  EXPECT_EQ(7, start.arrived[static_cast<int>(PackageText::Info)]);
  EXPECT_EQ("Informa", host.Shown(PackageText::Info));
}

}  // namespace
}  // namespace quillon
