// Whether the running process may install a package that demands
// administrative rights: on the NT family, whether its token holds the
// built-in Administrators group (S-1-5-32-544) in a form that grants rights.
// On the 9x family every user counts as an administrator.
//
// The token is the thread's when it impersonates, else the process's. A group
// that the token holds only for deny-only checks does not count: that is an
// administrator whose rights are filtered off (User Account Control), who
// would pass here and then fail inside the setup engine.
#pragma once

#include <cstdint>

namespace quillon {

constexpr uint32_t kGroupUseForDenyOnly = 0x00000010;  // SE_GROUP_USE_FOR_DENY_ONLY

struct TokenGroup {
  const void* sid;
  uint32_t attributes;
};

// The system's security services as the check uses them. Every call that can
// fail says so; any failure makes the answer false.
class TokenAccess {
 public:
  [[nodiscard]] virtual bool IsNtFamily() = 0;
  [[nodiscard]] virtual bool OpenThreadToken() = 0;
  [[nodiscard]] virtual bool OpenProcessToken() = 0;
  // The size of the token's group list; 0 when it cannot be told.
  [[nodiscard]] virtual uint32_t GroupListSize() = 0;
  // Reads the group list into buffer (size bytes, as GroupListSize told).
  [[nodiscard]] virtual bool ReadGroupList(void* buffer, uint32_t size) = 0;
  // The groups of a list that ReadGroupList filled.
  [[nodiscard]] virtual uint32_t GroupCount(const void* list, uint32_t size) = 0;
  [[nodiscard]] virtual TokenGroup Group(const void* list, uint32_t index) = 0;
  [[nodiscard]] virtual bool MakeAdministratorsSid() = 0;
  [[nodiscard]] virtual bool IsAdministratorsSid(const void* sid) = 0;
  virtual void FreeAdministratorsSid() = 0;
  virtual void CloseToken() = 0;

 protected:
  TokenAccess() = default;
  TokenAccess(const TokenAccess&) = default;
  TokenAccess& operator=(const TokenAccess&) = default;
  ~TokenAccess() = default;
};

[[nodiscard]] bool IsAdministrator(TokenAccess& access);

}  // namespace quillon
