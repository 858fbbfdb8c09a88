#include "app/administrator_win32.h"

#include <windows.h>

#include <cstddef>

#include "app/administrator.h"
#include "base/system_function_win32.h"

namespace quillon {
namespace {

using OpenThreadTokenFn = BOOL(WINAPI*)(HANDLE, DWORD, BOOL, PHANDLE);
using OpenProcessTokenFn = BOOL(WINAPI*)(HANDLE, DWORD, PHANDLE);
using GetTokenInformationFn = BOOL(WINAPI*)(HANDLE, TOKEN_INFORMATION_CLASS, LPVOID, DWORD, PDWORD);
using AllocateAndInitializeSidFn = BOOL(WINAPI*)(PSID_IDENTIFIER_AUTHORITY, BYTE, DWORD, DWORD, DWORD, DWORD, DWORD,
                                                 DWORD, DWORD, DWORD, PSID*);
using EqualSidFn = BOOL(WINAPI*)(PSID, PSID);
using FreeSidFn = PVOID(WINAPI*)(PSID);

class SystemTokenAccess final : public TokenAccess {
 public:
  explicit SystemTokenAccess(HMODULE advapi)
      : openThreadToken_(SystemFunction<OpenThreadTokenFn>(advapi, "OpenThreadToken")),
        openProcessToken_(SystemFunction<OpenProcessTokenFn>(advapi, "OpenProcessToken")),
        getTokenInformation_(SystemFunction<GetTokenInformationFn>(advapi, "GetTokenInformation")),
        allocateAndInitializeSid_(SystemFunction<AllocateAndInitializeSidFn>(advapi, "AllocateAndInitializeSid")),
        equalSid_(SystemFunction<EqualSidFn>(advapi, "EqualSid")),
        freeSid_(SystemFunction<FreeSidFn>(advapi, "FreeSid")) {}

  bool IsNtFamily() override {
    OSVERSIONINFOA version = {};
    version.dwOSVersionInfoSize = sizeof version;
    GetVersionExA(&version);
    return version.dwPlatformId == VER_PLATFORM_WIN32_NT;
  }

  bool OpenThreadToken() override {
    return openThreadToken_ != nullptr && openThreadToken_(GetCurrentThread(), TOKEN_QUERY, FALSE, &token_) != FALSE;
  }

  bool OpenProcessToken() override {
    return openProcessToken_ != nullptr && openProcessToken_(GetCurrentProcess(), TOKEN_QUERY, &token_) != FALSE;
  }

  uint32_t GroupListSize() override {
    if (getTokenInformation_ == nullptr) return 0;
    DWORD size = 0;
    getTokenInformation_(token_, TokenGroups, nullptr, 0, &size);
    return size;
  }

  bool ReadGroupList(void* buffer, uint32_t size) override {
    DWORD returned = 0;
    return getTokenInformation_(token_, TokenGroups, buffer, size, &returned) != FALSE;
  }

  uint32_t GroupCount(const void* list, uint32_t size) override {
    // Never more groups than the list has room for.
    constexpr uint32_t kFirstGroup = offsetof(TOKEN_GROUPS, Groups);
    if (size < kFirstGroup) return 0;
    const uint32_t room = (size - kFirstGroup) / sizeof(SID_AND_ATTRIBUTES);
    const DWORD count = static_cast<const TOKEN_GROUPS*>(list)->GroupCount;
    return count < room ? count : room;
  }

  TokenGroup Group(const void* list, uint32_t index) override {
    const SID_AND_ATTRIBUTES& group = static_cast<const TOKEN_GROUPS*>(list)->Groups[index];
    return {group.Sid, group.Attributes};
  }

  bool MakeAdministratorsSid() override {
    SID_IDENTIFIER_AUTHORITY ntAuthority = {SECURITY_NT_AUTHORITY};
    return allocateAndInitializeSid_ != nullptr &&
           allocateAndInitializeSid_(&ntAuthority, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0,
                                     0, 0, &administrators_) != FALSE;
  }

  bool IsAdministratorsSid(const void* sid) override {
    return equalSid_ != nullptr && equalSid_(const_cast<void*>(sid), administrators_) != FALSE;
  }

  void FreeAdministratorsSid() override {
    if (freeSid_ != nullptr) freeSid_(administrators_);
    administrators_ = nullptr;
  }

  void CloseToken() override {
    CloseHandle(token_);
    token_ = nullptr;
  }

 private:
  OpenThreadTokenFn openThreadToken_;
  OpenProcessTokenFn openProcessToken_;
  GetTokenInformationFn getTokenInformation_;
  AllocateAndInitializeSidFn allocateAndInitializeSid_;
  EqualSidFn equalSid_;
  FreeSidFn freeSid_;
  HANDLE token_ = nullptr;
  PSID administrators_ = nullptr;
};

}  // namespace

bool IsAdministrator() {
  HMODULE advapi = LoadLibraryA("advapi32.dll");
  SystemTokenAccess access(advapi);
  const bool answer = IsAdministrator(access);
  if (advapi != nullptr) FreeLibrary(advapi);
  return answer;
}

}  // namespace quillon
