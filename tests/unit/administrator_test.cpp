#include "app/administrator.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quillon {
namespace {

constexpr int kAdministrators = 544;
constexpr uint32_t kEnabled = 0x4;  // SE_GROUP_ENABLED

struct FakeGroup {
  int sid;
  uint32_t attributes;
};

// A token and the security calls around it; each call can be made to fail.
class FakeToken final : public TokenAccess {
 public:
  bool IsNtFamily() override { return ntFamily; }
  bool OpenThreadToken() override { return Open(threadToken, Opened::Thread); }
  bool OpenProcessToken() override { return Open(processToken, Opened::Process); }
  uint32_t GroupListSize() override { return sizeFails ? 0 : static_cast<uint32_t>(Groups().size() + 1); }
  bool ReadGroupList(void* /*buffer*/, uint32_t size) override { return !readFails && size == Groups().size() + 1; }
  uint32_t GroupCount(const void* /*list*/, uint32_t /*size*/) override {
    return static_cast<uint32_t>(Groups().size());
  }
  TokenGroup Group(const void* /*list*/, uint32_t index) override {
    return {&Groups()[index].sid, Groups()[index].attributes};
  }
  bool MakeAdministratorsSid() override {
    sidAllocated = !sidFails;
    return sidAllocated;
  }
  bool IsAdministratorsSid(const void* sid) override {
    ++comparisons;
    return *static_cast<const int*>(sid) == kAdministrators;
  }
  void FreeAdministratorsSid() override { sidAllocated = false; }
  void CloseToken() override { opened = Opened::None; }

  enum class Opened { None, Thread, Process };
  bool ntFamily = true;
  bool threadToken = false;  // the thread impersonates
  bool processToken = true;
  bool sizeFails = false;
  bool readFails = false;
  bool sidFails = false;
  std::vector<FakeGroup> threadGroups;
  std::vector<FakeGroup> processGroups;
  Opened opened = Opened::None;
  bool sidAllocated = false;
  int comparisons = 0;

 private:
  bool Open(bool available, Opened which) {
    if (available) opened = which;
    return available;
  }
  std::vector<FakeGroup>& Groups() { return opened == Opened::Thread ? threadGroups : processGroups; }
};

TEST(Administrator, TheGroupWalk) {
  const FakeGroup users{545, kEnabled};
  const FakeGroup admins{kAdministrators, kEnabled};
  const FakeGroup denyOnlyAdmins{kAdministrators, kGroupUseForDenyOnly};
  struct Case {
    std::string label;
    std::vector<FakeGroup> groups;
    bool expected;
  };
  const Case cases[] = {
      {"member", {users, admins}, true},
      {"member, group not enabled", {{kAdministrators, 0}}, true},
      {"deny-only member (rights filtered off)", {users, denyOnlyAdmins}, false},
      {"deny-only and enabled", {denyOnlyAdmins, admins}, true},
      {"not a member", {users, {546, kEnabled}}, false},
      {"no groups", {}, false},
  };
  for (const Case& c : cases) {
    FakeToken token;
    token.processGroups = c.groups;
    EXPECT_EQ(c.expected, IsAdministrator(token)) << c.label;
    EXPECT_EQ(FakeToken::Opened::None, token.opened) << c.label << ": token left open";
    EXPECT_FALSE(token.sidAllocated) << c.label << ": SID left allocated";
  }
}

TEST(Administrator, FailedQueriesCountAsNoRights) {
  struct Case {
    std::string label;
    void (*breakIt)(FakeToken&);
  };
  const Case cases[] = {
      {"no token at all", [](FakeToken& t) { t.processToken = false; }},
      {"size unknown", [](FakeToken& t) { t.sizeFails = true; }},
      {"groups unreadable", [](FakeToken& t) { t.readFails = true; }},
      {"no Administrators SID", [](FakeToken& t) { t.sidFails = true; }},
  };
  for (const Case& c : cases) {
    FakeToken token;
    token.processGroups = {{kAdministrators, kEnabled}};
    c.breakIt(token);
    EXPECT_FALSE(IsAdministrator(token)) << c.label;
    EXPECT_EQ(FakeToken::Opened::None, token.opened) << c.label << ": token left open";
    EXPECT_FALSE(token.sidAllocated) << c.label;
  }
}

TEST(Administrator, TheImpersonatedUserDecides) {
  FakeToken token;
  token.threadToken = true;
  token.threadGroups = {{545, kEnabled}};
  token.processGroups = {{kAdministrators, kEnabled}};
  EXPECT_FALSE(IsAdministrator(token));

  token.threadGroups = {{kAdministrators, kEnabled}};
  token.processGroups = {};
  EXPECT_TRUE(IsAdministrator(token));
}

TEST(Administrator, The9xFamilyAlwaysPasses) {
  FakeToken token;
  token.ntFamily = false;
  token.processToken = false;
  EXPECT_TRUE(IsAdministrator(token));
  EXPECT_EQ(FakeToken::Opened::None, token.opened);
}

}  // namespace
}  // namespace quillon
