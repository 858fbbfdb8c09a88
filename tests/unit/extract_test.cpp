#include "package/extract.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <string>
#include <vector>

#include "inflate_test_support.h"
#include "memory_host.h"
#include "test_support.h"

namespace quillon {
namespace {

using Bytes = std::vector<uint8_t>;
using test::MemoryHost;
using test::Put16;
using test::Put32;

constexpr char kWork[] = "C:\\TEMP\\$Quillon.Tmp";
constexpr uint16_t kDate = 0x5A21;
constexpr uint16_t kTime = 0x6000;
const std::pair<std::string, std::string> kDamaged = {Text(UiText::ExtractionError), "Error"};
const std::pair<std::string, std::string> kInvalid = {Text(UiText::InvalidFilename), "Error"};

Bytes Raw(const std::string& text) {
  return Bytes(text.begin(), text.end());
}

Bytes Deflate(const Bytes& data) {
  z_stream z{};
  deflateInit2(&z, 9, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
  Bytes out(deflateBound(&z, data.size()));
  z.next_in = const_cast<uint8_t*>(data.data());
  z.avail_in = static_cast<uInt>(data.size());
  z.next_out = out.data();
  z.avail_out = static_cast<uInt>(out.size());
  deflate(&z, Z_FINISH);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

struct Entry {
  std::string name;
  Bytes data;
  uint16_t method = 0;
  const char* password = nullptr;
  uint32_t crcFlip = 0;  // XORed into the stored CRC
};

// The entries as local headers behind a few bytes that stand for the texts.
Bytes Package(const std::vector<Entry>& entries) {
  Bytes out(7, 'T');
  for (const Entry& e : entries) {
    const uint32_t crc = static_cast<uint32_t>(crc32(0, e.data.data(), static_cast<uInt>(e.data.size())));
    Bytes data = e.method == 8 ? Deflate(e.data) : e.data;
    if (e.password != nullptr) {
      Bytes header(kEncryptionHeaderSize, 0x5A);
      header.back() = static_cast<uint8_t>(crc >> 24);
      data.insert(data.begin(), header.begin(), header.end());
      data = test::Encrypt(data, e.password);
    }
    Put32(out, kLocalHeaderSignature);
    Put16(out, 20);
    Put16(out, e.password != nullptr ? kFlagEncrypted : 0);
    Put16(out, e.method);
    Put16(out, kTime);
    Put16(out, kDate);
    Put32(out, crc ^ e.crcFlip);
    Put32(out, static_cast<uint32_t>(data.size()));
    Put32(out, static_cast<uint32_t>(e.data.size()));
    Put16(out, static_cast<uint32_t>(e.name.size()));
    Put16(out, 0);
    out.insert(out.end(), e.name.begin(), e.name.end());
    out.insert(out.end(), data.begin(), data.end());
  }
  Put32(out, 0x06054B50);  // where the central directory would begin
  return out;
}

ExtractionResult Extract(MemoryHost& host, const std::vector<Entry>& entries, const char* work = kWork) {
  test::MemorySource package(Package(entries));
  package.maxRead = 5000;
  const ExtractionResult result = ExtractPackage(package, 7, work, NoLeadBytes, host);
  EXPECT_FALSE(host.escaped) << "something was created outside the work directory";
  return result;
}

TEST(Extract, WritesEveryKindOfEntry) {
  const Bytes text = Raw(std::string(70000, 'q') + "end");
  MemoryHost host(kWork);
  const ExtractionResult result = Extract(host, {{"setup.inf", Raw("[Version]")},
                                                 {"sub/deep/text.txt", text, 8},
                                                 {"sub\\empty.dat", {}},
                                                 {"/leading.txt", Raw("lead")},
                                                 {"emptydir/", {}}});
  EXPECT_TRUE(result.succeeded);
  EXPECT_TRUE(host.reports.empty());
  EXPECT_EQ(Raw("[Version]"), *host.File("setup.inf"));
  EXPECT_EQ(text, *host.File("sub/deep/text.txt"));
  EXPECT_EQ(Bytes(), *host.File("sub/empty.dat"));
  EXPECT_EQ(Raw("lead"), *host.File("leading.txt"));  // stripped, inside the work directory
  EXPECT_TRUE(host.directories.contains("c:\\temp\\$quillon.tmp\\emptydir"));
  const std::vector<std::string> created = {
      std::string(kWork) + "\\setup.inf", std::string(kWork) + "\\sub\\deep\\text.txt",
      std::string(kWork) + "\\sub\\empty.dat", std::string(kWork) + "\\leading.txt"};
  EXPECT_EQ(created, host.created);
  EXPECT_EQ((std::pair<uint16_t, uint16_t>{kDate, kTime}), host.times.begin()->second);
}

TEST(Extract, ExistingFiles) {
  // The question comes from the failed create: a second create follows only
  // when the answer is to replace.
  struct Case {
    std::string label;
    bool directoryThere;
    bool replace;
    bool succeeded;
    int creates;
  };
  const Case cases[] = {
      {"file kept", false, false, true, 1},
      {"file replaced", false, true, true, 2},
      {"directory kept", true, false, true, 1},
      {"directory cannot be replaced", true, true, false, 2},
  };
  const std::string path = "c:\\temp\\$quillon.tmp\\a.txt";
  for (const Case& c : cases) {
    MemoryHost host(kWork);
    if (c.directoryThere) {
      host.directories.insert(path);
    } else {
      host.files[path] = Raw("old");
    }
    host.replaceAnswers = {c.replace};
    const ExtractionResult result = Extract(host, {{"A.TXT", Raw("new")}});
    EXPECT_EQ(c.succeeded, result.succeeded) << c.label;
    EXPECT_EQ(std::vector<std::string>{"A.TXT"}, host.prompts) << c.label;
    EXPECT_EQ(c.creates, host.createCalls) << c.label;
    if (c.directoryThere) {
      EXPECT_EQ(nullptr, host.File("a.txt")) << c.label;
      EXPECT_TRUE(host.created.empty()) << c.label;
    } else {
      EXPECT_EQ(c.replace ? Raw("new") : Raw("old"), *host.File("a.txt")) << c.label;
      EXPECT_EQ(c.replace ? 1U : 0U, host.created.size()) << c.label;
    }
    const std::vector<std::pair<std::string, std::string>> reports = {
        {std::string(kWork) + "\\A.TXT", Text(UiText::CannotOpenFile)}};
    EXPECT_EQ(c.succeeded ? decltype(reports){} : reports, host.reports) << c.label;
  }
}

TEST(Extract, OneLookPerFileAndDirectory) {
  // A directory is made when it differs from the one made last; each file is
  // created once, with no search before.
  struct Case {
    std::string label;
    std::vector<std::string> names;
    int directoryCalls;
  };
  const Case cases[] = {
      {"one directory", {"a.txt", "b.txt", "c.txt"}, 1},
      {"directory by directory", {"a.txt", "sub/b.txt", "sub/c.txt", "sub/deep/d.txt", "sub/deep/e.txt"}, 3},
      {"back and forth", {"sub/a.txt", "b.txt", "sub/c.txt"}, 3},
      {"after a directory entry", {"sub/", "sub/a.txt", "sub/b.txt"}, 1},
      {"after a directory entry with its own files", {"x.txt", "sub/", "sub/a.txt"}, 2},
  };
  for (const Case& c : cases) {
    std::vector<Entry> entries;
    int files = 0;
    for (const std::string& name : c.names) {
      entries.push_back({name, name.ends_with('/') ? Bytes() : Raw(name)});
      if (!name.ends_with('/')) ++files;
    }
    MemoryHost host(kWork);
    const ExtractionResult result = Extract(host, entries);
    EXPECT_TRUE(result.succeeded) << c.label;
    EXPECT_EQ(c.directoryCalls, host.directoryCalls) << c.label;
    EXPECT_EQ(files, host.createCalls) << c.label;
    for (const std::string& name : c.names) {
      if (!name.ends_with('/')) {
        EXPECT_EQ(Raw(name), *host.File(name)) << c.label << " " << name;
      }
    }
  }
}

TEST(Extract, Failures) {
  const Bytes data = Raw("payload");
  struct Case {
    std::string label;
    std::vector<Entry> entries;
    std::pair<std::string, std::string> report;
    bool failCreate = false;
    int64_t capacity = -1;
  };
  const Case cases[] = {
      {"step up", {{"ok.txt", data}, {"../x.txt", data}}, kInvalid},
      {"drive", {{"C:\\x.txt", data}}, kInvalid},
      {"server", {{"\\\\server\\share\\x.txt", data}}, kInvalid},
      {"device", {{"sub/con.txt", data}}, kInvalid},
      {"forbidden character", {{"a|b.txt", data}}, kInvalid},
      {"stored CRC", {{"bad.bin", data, 0, nullptr, 1}}, kDamaged},
      {"deflated CRC", {{"bad.bin", data, 8, nullptr, 0x80000000}}, kDamaged},
      {"unknown method", {{"x.bin", data, 12}}, {Text(UiText::UnknownCompression), "Error"}},
      {"cannot create", {{"x.bin", data}}, {std::string(kWork) + "\\x.bin", Text(UiText::CannotOpenFile)}, true},
      {"disk full", {{"x.bin", Raw(std::string(5000, 'x'))}}, kDamaged, false, 100},
      // The message names what fitted of the path.
      {"name longer than the path functions take",
       {{std::string(250, 'n'), data}},
       {std::string(kWork) + "\\", Text(UiText::CannotOpenFile)}},
  };
  for (const Case& c : cases) {
    MemoryHost host(kWork);
    host.failCreate = c.failCreate;
    host.writeCapacity = c.capacity;
    const ExtractionResult result = Extract(host, c.entries);
    EXPECT_FALSE(result.succeeded) << c.label;
    ASSERT_EQ(1U, host.reports.size()) << c.label;
    EXPECT_EQ(c.report, host.reports[0]) << c.label;
  }
}

TEST(Extract, Passwords) {
  const Bytes secret = Raw("secret data");
  struct Case {
    std::string label;
    std::vector<std::string> typed;
    bool succeeded;
    int prompts;
    bool firstWritten;
    bool secondWritten;
  };
  // The second entry is tried silently with the password typed last.
  const Case cases[] = {
      {"right at once", {"pw"}, true, 1, true, true},
      {"wrong, then right", {"no", "pw"}, true, 2, true, true},
      {"three wrong skip the entry", {"a", "b", "c", "pw"}, true, 4, false, true},
      {"cancelled", {MemoryHost::kCancel}, false, 1, false, false},
  };
  for (const Case& c : cases) {
    MemoryHost host(kWork);
    host.passwords = c.typed;
    const ExtractionResult result = Extract(host, {{"one.txt", secret, 8, "pw"}, {"two.txt", secret, 0, "pw"}});
    EXPECT_EQ(c.succeeded, result.succeeded) << c.label;
    EXPECT_EQ(c.prompts, host.passwordPrompts) << c.label;
    EXPECT_EQ(c.firstWritten, host.File("one.txt") != nullptr) << c.label;
    EXPECT_EQ(c.secondWritten, host.File("two.txt") != nullptr) << c.label;
    if (c.firstWritten) {
      EXPECT_EQ(secret, *host.File("one.txt")) << c.label;
    }
    EXPECT_FALSE(result.lastEntryRefused) << c.label;
  }
}

TEST(Extract, AnEntrySkippedAtTheEndFailsTheExtraction) {
  MemoryHost host(kWork);
  host.passwords = {"a", "b", "c"};
  const ExtractionResult result = Extract(host, {{"open.txt", Raw("open")}, {"locked.txt", Raw("x"), 0, "pw"}});
  EXPECT_FALSE(result.succeeded);
  EXPECT_TRUE(result.lastEntryRefused);
  EXPECT_EQ(Raw("open"), *host.File("open.txt"));
  ASSERT_EQ(1U, host.reports.size());
  EXPECT_EQ(kDamaged, host.reports[0]);
}

TEST(Extract, NameAndPathLengths) {
  // The file functions take paths of up to 259 characters; "C:\\W\\" leaves 254.
  constexpr char kShortWork[] = "C:\\W";
  struct Case {
    std::string label;
    std::string name;
    bool written;
    std::string caption;
  };
  const Case cases[] = {
      {"path of 259 characters", std::string(254, 'n'), true, ""},
      {"path of 260 characters", std::string(255, 'n'), false, Text(UiText::CannotOpenFile)},
      {"name of 255 bytes in a folder", "d/" + std::string(253, 'n'), false, Text(UiText::CannotOpenFile)},
      {"name over 255 bytes", std::string(256, 'n'), false, "Error"},
      {"name far too long", std::string(300, 'n'), false, "Error"},
  };
  for (const Case& c : cases) {
    MemoryHost host(kShortWork);
    const ExtractionResult result = Extract(host, {{c.name, Raw("x")}}, kShortWork);
    EXPECT_EQ(c.written, result.succeeded) << c.label;
    EXPECT_EQ(c.written, host.File(c.name) != nullptr) << c.label;
    if (!c.written) {
      ASSERT_EQ(1U, host.reports.size()) << c.label;
      EXPECT_EQ(c.caption, host.reports[0].second) << c.label;
    }
  }
}

// Names are written where Windows would write them, whoever runs the loop:
// the stub, or the packager's extract on another system.
TEST(Extract, NamesAsWindowsWritesThem) {
  MemoryHost host(kWork);
  const ExtractionResult result = Extract(host, {{"a/./b.txt", Raw("b")},
                                                 {"./c.txt", Raw("c")},
                                                 {"d//e.txt", Raw("e")},
                                                 {"f. ", Raw("f")},
                                                 {"g ./h.txt", Raw("h")},
                                                 {"./", {}},
                                                 {"i./", {}}});
  EXPECT_TRUE(result.succeeded);
  EXPECT_TRUE(host.reports.empty());
  const std::vector<std::string> created = {std::string(kWork) + "\\a\\b.txt", std::string(kWork) + "\\c.txt",
                                            std::string(kWork) + "\\d\\e.txt", std::string(kWork) + "\\f",
                                            std::string(kWork) + "\\g\\h.txt"};
  EXPECT_EQ(created, host.created);
  EXPECT_TRUE(host.directories.contains("c:\\temp\\$quillon.tmp\\i"));
  for (const char* name : {".", "./.", "a/..", "..."}) {
    MemoryHost refusing(kWork);
    const ExtractionResult refused = Extract(refusing, {{"ok.txt", Raw("ok")}, {name, Raw("x")}});
    EXPECT_FALSE(refused.succeeded) << name;
    EXPECT_EQ(1U, refusing.created.size()) << name;
    ASSERT_EQ(1U, refusing.reports.size()) << name;
    EXPECT_EQ(kInvalid, refusing.reports[0]) << name;
  }
}

// An encrypted entry shorter than its encryption header would take the rest
// of that header from whatever follows it.
TEST(Extract, EncryptedEntryShorterThanItsHeaderIsDamaged) {
  for (const uint32_t size : {0U, 5U, 11U}) {
    Bytes package = Package({{"short.txt", Bytes(size, 'x')}});
    package[7 + kLocalFlagsField] |= kFlagEncrypted;
    package[7 + kLocalCrcField] = 0;  // as if its data were nothing once the header is taken off
    package[7 + kLocalCrcField + 1] = 0;
    package[7 + kLocalCrcField + 2] = 0;
    package[7 + kLocalCrcField + 3] = 0;
    test::MemorySource source(package);
    MemoryHost host(kWork);
    host.passwords = {"pw", "pw", "pw"};
    const ExtractionResult result = ExtractPackage(source, 7, kWork, NoLeadBytes, host);
    EXPECT_FALSE(result.succeeded) << size;
    EXPECT_EQ(0, host.passwordPrompts) << size;
    EXPECT_TRUE(host.created.empty()) << size;
    ASSERT_EQ(1U, host.reports.size()) << size;
    EXPECT_EQ(kDamaged, host.reports[0]) << size;
  }
  MemoryHost host(kWork);
  host.passwords = {"pw"};
  EXPECT_TRUE(Extract(host, {{"empty.txt", {}, 0, "pw"}}).succeeded) << "the header alone is an empty file";
  EXPECT_EQ(Bytes(), *host.File("empty.txt"));
}

TEST(Extract, TenThousandEntries) {
  std::vector<Entry> entries;
  for (int i = 0; i < 10000; ++i) {
    entries.push_back({"dir" + std::to_string(i % 37) + "/file" + std::to_string(i) + ".txt", Raw(std::to_string(i))});
  }
  MemoryHost host(kWork);
  const ExtractionResult result = Extract(host, entries);
  EXPECT_TRUE(result.succeeded);
  EXPECT_EQ(10000U, host.created.size());
  EXPECT_EQ(Raw("9999"), *host.File("dir9/file9999.txt"));
}

TEST(Extract, NoEntriesAtAll) {
  MemoryHost host(kWork);
  const ExtractionResult result = Extract(host, {});
  EXPECT_FALSE(result.succeeded);
  ASSERT_EQ(1U, host.reports.size());
  EXPECT_EQ(kDamaged, host.reports[0]);
}

}  // namespace
}  // namespace quillon
