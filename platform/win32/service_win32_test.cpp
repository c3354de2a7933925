// The service's side of the facade under Wine: the caller's hive standing
// in for kCurrentUser, and the table files' descriptors (Wine stores them,
// though it does not enforce them).
#include <gtest/gtest.h>

#include "platform/platform.h"
#include "platform/win32/acl_win32.h"
#include "platform/win32/scoped_handles.h"
#include "platform/win32/win32_api.h"
// After win32_api.h, which takes back the ANSI/Unicode renames they bring.
#include <aclapi.h>
#include <sddl.h>

namespace platform {
namespace {

using win32::ScopedFile;
using win32::ScopedHandle;
using win32::ScopedLocal;

constexpr const char* kTestKey = "Software\\Quillon\\NoxHiveTest";

std::string OwnSid() {
  ScopedHandle token;
  OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.receive());
  BYTE buffer[256] = {};
  DWORD size = 0;
  if (!GetTokenInformation(token.get(), TokenUser, buffer, sizeof buffer, &size)) return "";
  ScopedLocal<char*> text;
  ConvertSidToStringSidA(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, text.receive());
  return text.get() != nullptr ? text.get() : "";
}

std::string ReadThroughUsers(const std::string& sid) {
  char data[64] = {};
  DWORD size = sizeof data - 1;
  std::string path = sid + "\\" + kTestKey;
  if (RegGetValueA(HKEY_USERS, path.c_str(), "Mark", RRF_RT_REG_SZ, nullptr, data, &size) !=
      ERROR_SUCCESS) {
    return "";
  }
  return data;
}

TEST(Win32UserHive, CurrentUserCallsReachTheCallersHiveWhileInForce) {
  std::string sid = OwnSid();
  ASSERT_EQ(sid.rfind("S-1-5-", 0), 0u) << sid;
  EXPECT_FALSE(UserHiveMapped());
  {
    ScopedUserHive hive(sid);
    ASSERT_TRUE(hive.opened());
    EXPECT_TRUE(UserHiveMapped());
    ScopedRegKey key;
    ASSERT_EQ(RegCreateKey(kCurrentUser, kTestKey, key.receive()), kSuccess);
    ASSERT_EQ(RegSetValue(key.get(), "Mark", kRegSz, "through the hive"), kSuccess);
  }
  EXPECT_FALSE(UserHiveMapped());
  EXPECT_EQ(ReadThroughUsers(sid), "through the hive");
  EXPECT_EQ(RegDeleteKeyA(HKEY_USERS, (sid + "\\" + kTestKey).c_str()), ERROR_SUCCESS);
}

TEST(Win32UserHive, UnknownSidMakesCurrentUserCallsFailInsteadOfReachingOwnHive) {
  ScopedUserHive hive("S-1-5-21-1-2-3-987654");
  EXPECT_FALSE(hive.opened());
  EXPECT_TRUE(UserHiveMapped());
  ScopedRegKey key;
  EXPECT_NE(RegCreateKey(kCurrentUser, kTestKey, key.receive()), kSuccess);
  win32::ScopedKey own;
  EXPECT_NE(RegOpenKeyExA(HKEY_CURRENT_USER, kTestKey, 0, KEY_READ, own.receive()), ERROR_SUCCESS);
}

// Wine 8 keeps no descriptor of a file (it derives one from the Unix
// permissions), so the access list walk is tried on lists made in memory.
TEST(Win32TableProtection, UsersCanReadFollowsTheEntriesInOrder) {
  struct Case {
    const char* sddl;
    bool readable;
  } cases[] = {
      {"D:P(A;;FR;;;BU)", true},
      {"D:P(A;;FR;;;WD)", true},
      {"D:P(A;;FA;;;AU)", true},
      {"D:P(A;;GR;;;BU)", true},
      {"D:P(A;;FA;;;SY)(A;;FA;;;BA)", false},
      {"D:P(A;;FW;;;BU)", false},
      {"D:P(D;;FR;;;WD)(A;;FR;;;BU)", false},
      {"D:P(A;;FR;;;BU)(D;;FR;;;WD)", true},
      {"D:P(A;OICIIO;FR;;;BU)", false},
      {"D:P", false},
  };
  for (size_t index = 0; index < std::size(cases); ++index) {
    ScopedLocal<PSECURITY_DESCRIPTOR> descriptor;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorA(
        cases[index].sddl, SDDL_REVISION_1, descriptor.receive(), nullptr))
        << index;
    BOOL present = FALSE;
    BOOL defaulted = FALSE;
    PACL dacl = nullptr;
    ASSERT_TRUE(GetSecurityDescriptorDacl(descriptor.get(), &present, &dacl, &defaulted));
    ASSERT_NE(dacl, nullptr) << index;
    EXPECT_EQ(win32::AclLetsUsersRead(dacl), cases[index].readable)
        << index << ": " << cases[index].sddl;
  }
}

TEST(Win32TableProtection, FilesAreRestrictedAndCheckedByPath) {
  char folder[MAX_PATH + 1] = {};
  GetTempPathA(MAX_PATH, folder);
  std::string path = std::string(folder) + "nox-restrict-test.tbl";
  ScopedFile(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr));
  EXPECT_EQ(RestrictToAdministrators(path), kSuccess);
  DeleteFileA(path.c_str());
  EXPECT_EQ(RestrictToAdministrators(path), kFileNotFound);
  EXPECT_FALSE(UsersCanRead(path));
}

}  // namespace
}  // namespace platform
