#include "package/part_join.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "test_support.h"

namespace quillon {
namespace {

using Bytes = std::vector<uint8_t>;

TEST(PartJoin, PartNumbers) {
  const std::pair<int32_t, const char*> cases[] = {{0, "000"}, {1, "001"}, {12, "012"}, {255, "255"}, {1234, "123"}};
  for (const auto& [n, expected] : cases) {
    char out[4];
    FormatPartNumber(n, out);
    EXPECT_STREQ(expected, out) << n;
  }
}

TEST(PartJoin, PartPaths) {
  char path[] = "D:\\SETUP.EXE";
  ASSERT_TRUE(MakePartPath(path, 1));
  EXPECT_STREQ("D:\\SETUP.001", path);
  ASSERT_TRUE(MakePartPath(path, 27));
  EXPECT_STREQ("D:\\SETUP.027", path);
  char shortPath[] = "ab";
  EXPECT_FALSE(MakePartPath(shortPath, 1));
}

// Parts on a shelf; a missing one can be put in place when the prompt comes.
class FakeShelf final : public PartShelf {
 public:
  PackageSource* OpenPart(int32_t partNumber) override {
    opened.push_back(partNumber);
    const auto part = parts.find(partNumber);
    if (part == parts.end()) return nullptr;
    open = std::make_unique<test::MemorySource>(part->second);
    open->maxRead = maxRead;
    return open.get();
  }
  void ClosePart() override {
    ++closed;
    open.reset();
  }
  bool AskForDisk(int32_t diskNumber) override {
    prompts.push_back(diskNumber);
    if (prompts.size() > answers.size()) return false;
    const Answer answer = answers[prompts.size() - 1];
    if (answer.partToInsert >= 0) parts[answer.partToInsert] = answer.bytes;
    return answer.ok;
  }

  struct Answer {
    bool ok;
    int32_t partToInsert = -1;
    Bytes bytes;
  };
  std::map<int32_t, Bytes> parts;
  std::vector<Answer> answers;
  std::vector<int32_t> opened;
  std::vector<int32_t> prompts;
  std::unique_ptr<test::MemorySource> open;
  int closed = 0;
  int32_t maxRead = 0;
};

Bytes Fill(size_t size, uint8_t value) {
  return Bytes(size, value);
}

Bytes Concat(std::initializer_list<Bytes> pieces) {
  Bytes all;
  for (const Bytes& piece : pieces) all.insert(all.end(), piece.begin(), piece.end());
  return all;
}

struct Join {
  bool joined;
  Bytes bytes;
};

Join RunJoin(FakeShelf& shelf, int32_t totalSize, int64_t sinkCapacity = -1) {
  test::MemorySink sink;
  sink.capacity = sinkCapacity;
  Bytes buffer(kJoinBufferSize);
  const bool joined = JoinParts(shelf, sink, totalSize, buffer.data());
  EXPECT_EQ(nullptr, shelf.open) << "a part was left open";
  return {joined, sink.bytes};
}

TEST(PartJoin, JoinsTheProgramAndItsPartsInOrder) {
  FakeShelf shelf;
  shelf.parts = {{0, Fill(40000, 'p')}, {1, Fill(70000, '1')}, {2, Bytes()}, {3, Fill(5, '3')}};
  shelf.maxRead = 999;  // reads that deliver less than asked
  const Join join = RunJoin(shelf, 110005);
  EXPECT_TRUE(join.joined);
  EXPECT_EQ(Concat({shelf.parts[0], shelf.parts[1], shelf.parts[3]}), join.bytes);
  EXPECT_EQ((std::vector<int32_t>{0, 1, 2, 3}), shelf.opened);  // the empty part counts as joined
  EXPECT_TRUE(shelf.prompts.empty());
}

TEST(PartJoin, SizesThatNeedNoParts) {
  struct Case {
    int32_t totalSize;
    size_t joinedSize;
  };
  const Case cases[] = {{100, 100}, {50, 100}, {0, 0}, {-5, 0}};
  for (const Case& c : cases) {
    FakeShelf shelf;
    shelf.parts = {{0, Fill(100, 'p')}};
    const Join join = RunJoin(shelf, c.totalSize);
    EXPECT_TRUE(join.joined) << c.totalSize;
    EXPECT_EQ(c.joinedSize, join.bytes.size()) << c.totalSize;
    EXPECT_TRUE(shelf.prompts.empty()) << c.totalSize;
  }
}

TEST(PartJoin, MissingPartPromptsForItsDisk) {
  FakeShelf shelf;
  shelf.parts = {{0, Fill(10, 'p')}};
  // OK without the disk asks again for the same part; then it is put in place.
  shelf.answers = {{true}, {true, 1, Fill(10, '1')}};
  const Join join = RunJoin(shelf, 20);
  EXPECT_TRUE(join.joined);
  EXPECT_EQ((std::vector<int32_t>{2, 2}), shelf.prompts);  // part 001 is on disk 2
  EXPECT_EQ((std::vector<int32_t>{0, 1, 1, 1}), shelf.opened);
  EXPECT_EQ(20U, join.bytes.size());
}

TEST(PartJoin, Failures) {
  struct Case {
    std::string label;
    std::map<int32_t, Bytes> parts;
    int32_t totalSize;
    int64_t sinkCapacity;
    int32_t maxRead;
  };
  const Case cases[] = {
      // Cancel at the prompt for the next part, which does not exist.
      {"parts fall short", {{0, Fill(10, 'p')}, {1, Fill(10, '1')}}, 30, -1, 0},
      {"write fails", {{0, Fill(10, 'p')}, {1, Fill(10, '1')}}, 20, 0, 0},
      {"write comes up short (disk full)", {{0, Fill(40000, 'p')}, {1, Fill(10, '1')}}, 40010, 40005, 0},
  };
  for (const Case& c : cases) {
    FakeShelf shelf;
    shelf.parts = c.parts;
    shelf.maxRead = c.maxRead;
    const Join join = RunJoin(shelf, c.totalSize, c.sinkCapacity);
    EXPECT_FALSE(join.joined) << c.label;
  }
}

// A part that says it is larger than what its reads deliver.
class StalledPart final : public PackageSource {
 public:
  int32_t Read(void* buffer, int32_t count) override {
    if (delivered_ >= 3 || count <= 0) return 0;
    static_cast<uint8_t*>(buffer)[0] = 'x';
    ++delivered_;
    return 1;
  }
  int32_t Seek(int32_t distance, SeekMethod /*method*/) override { return distance; }
  int32_t Size() override { return 100; }

 private:
  int32_t delivered_ = 0;
};

class StalledShelf final : public PartShelf {
 public:
  PackageSource* OpenPart(int32_t /*partNumber*/) override { return &part_; }
  void ClosePart() override {}
  bool AskForDisk(int32_t /*diskNumber*/) override { return false; }

 private:
  StalledPart part_;
};

TEST(PartJoin, APartThatStopsDeliveringEndsTheJoin) {
  StalledShelf shelf;
  test::MemorySink sink;
  Bytes buffer(kJoinBufferSize);
  EXPECT_FALSE(JoinParts(shelf, sink, 1000, buffer.data()));
  EXPECT_EQ(3U, sink.bytes.size());
}

TEST(PartJoin, NoPartAfterThe255th) {
  FakeShelf shelf;
  for (int32_t n = 0; n <= 255; ++n) shelf.parts[n] = Fill(1, static_cast<uint8_t>(n));
  shelf.parts[256] = Fill(1, 0);  // never opened: the number has three digits
  const Join full = RunJoin(shelf, 256);
  EXPECT_TRUE(full.joined);

  shelf.opened.clear();
  const Join beyond = RunJoin(shelf, 257);
  EXPECT_FALSE(beyond.joined);
  EXPECT_EQ(255, shelf.opened.back());
  EXPECT_TRUE(shelf.prompts.empty());
}

}  // namespace
}  // namespace quillon
