#include "platform/win32/acl_win32.h"

#include <cstddef>
#include <cstring>
#include <utility>

#include "platform/win32/scoped_handles.h"
// After win32_api.h, which takes back the ANSI/Unicode renames it brings.
#include <aclapi.h>

namespace platform::win32 {
namespace {

// The well-known SIDs as stored (revision, count, authority, sub-authorities).
constexpr BYTE kEveryoneSid[] = {1, 1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0};
constexpr BYTE kAuthenticatedUsersSid[] = {1, 1, 0, 0, 0, 0, 0, 5, 11, 0, 0, 0};
constexpr BYTE kUsersSid[] = {1, 2, 0, 0, 0, 0, 0, 5, 32, 0, 0, 0, 0x21, 2, 0, 0};
constexpr DWORD kReadDataRights = FILE_READ_DATA | GENERIC_READ | GENERIC_ALL;

bool IsWellKnownUsersSid(const BYTE* sid, size_t room) {
  for (const auto& [known, size] :
       {std::pair{kEveryoneSid, sizeof kEveryoneSid},
        std::pair{kAuthenticatedUsersSid, sizeof kAuthenticatedUsersSid},
        std::pair{kUsersSid, sizeof kUsersSid}}) {
    if (room >= size && std::memcmp(sid, known, size) == 0) return true;
  }
  return false;
}

}  // namespace

bool AclLetsUsersRead(const ACL* acl) {
  const BYTE* entry = reinterpret_cast<const BYTE*>(acl) + sizeof(ACL);
  const BYTE* end = reinterpret_cast<const BYTE*>(acl) + acl->AclSize;
  for (WORD index = 0; index < acl->AceCount; ++index) {
    if (entry + sizeof(ACE_HEADER) > end) return false;
    const auto* header = reinterpret_cast<const ACE_HEADER*>(entry);
    if (header->AceSize < sizeof(ACE_HEADER) || entry + header->AceSize > end) return false;
    bool allows = header->AceType == ACCESS_ALLOWED_ACE_TYPE;
    bool denies = header->AceType == ACCESS_DENIED_ACE_TYPE;
    // Allowed and denied entries share one layout: header, mask, SID.
    constexpr size_t kSidOffset = offsetof(ACCESS_ALLOWED_ACE, SidStart);
    if ((allows || denies) && (header->AceFlags & INHERIT_ONLY_ACE) == 0 &&
        header->AceSize > kSidOffset) {
      const auto* ace = reinterpret_cast<const ACCESS_ALLOWED_ACE*>(entry);
      if ((ace->Mask & kReadDataRights) != 0 &&
          IsWellKnownUsersSid(entry + kSidOffset, header->AceSize - kSidOffset)) {
        return allows;
      }
    }
    entry += header->AceSize;
  }
  return false;
}

bool FileLetsUsersRead(const std::string& path) {
  using GetFunction = DWORD(WINAPI*)(LPCSTR, SE_OBJECT_TYPE, SECURITY_INFORMATION, PSID*, PSID*,
                                     PACL*, PACL*, PSECURITY_DESCRIPTOR*);
  // Looked up at run time: Windows 95 and 98 keep no descriptors, and
  // everybody reads everything there.
  const HMODULE advapi = GetModuleHandleA("advapi32.dll");
  const auto get_security = reinterpret_cast<GetFunction>(reinterpret_cast<void*>(
      advapi == nullptr ? nullptr : GetProcAddress(advapi, "GetNamedSecurityInfoA")));
  if (get_security == nullptr) return true;
  PACL dacl = nullptr;
  ScopedLocal<PSECURITY_DESCRIPTOR> descriptor;
  if (get_security(path.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl,
                   nullptr, descriptor.receive()) != ERROR_SUCCESS) {
    return false;
  }
  // No DACL at all grants everybody everything.
  return dacl == nullptr || AclLetsUsersRead(dacl);
}

}  // namespace platform::win32
