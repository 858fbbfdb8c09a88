#include "app/administrator.h"

#include "base/memory.h"

namespace quillon {
namespace {

bool ListsAdministrators(TokenAccess& access, const void* list, uint32_t size) {
  const uint32_t count = access.GroupCount(list, size);
  for (uint32_t i = 0; i < count; ++i) {
    const TokenGroup group = access.Group(list, i);
    if ((group.attributes & kGroupUseForDenyOnly) != 0) continue;
    if (access.IsAdministratorsSid(group.sid)) return true;
  }
  return false;
}

// With the token open: reads its groups and looks for Administrators.
bool TokenHoldsAdministrators(TokenAccess& access) {
  const uint32_t size = access.GroupListSize();
  if (size == 0) return false;
  HeapBuffer<uint8_t> list(size);
  if (!access.ReadGroupList(list.get(), size) || !access.MakeAdministratorsSid()) return false;
  const bool found = ListsAdministrators(access, list.get(), size);
  access.FreeAdministratorsSid();
  return found;
}

}  // namespace

bool IsAdministrator(TokenAccess& access) {
  if (!access.IsNtFamily()) return true;
  if (!access.OpenThreadToken() && !access.OpenProcessToken()) return false;
  const bool answer = TokenHoldsAdministrators(access);
  access.CloseToken();
  return answer;
}

}  // namespace quillon
