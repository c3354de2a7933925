// Exact undo end to end in the Wine prefix: logins of explorer.exe at two
// levels, then Clearway.exe: every value the logins touched is back as it
// was, in the loaded profile and in a second profile whose hive is a file.
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <map>
#include <string>

#include "common/catalogue.h"
#include "platform/platform.h"
#include "platform/win32/scoped_handles.h"
#include "tests/e2e/e2e_machine.h"

namespace nox::e2e {
namespace {

using platform::win32::ScopedHandle;
using platform::win32::ScopedKey;

constexpr const char* kUserShellFolders =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
constexpr const char* kExplorerPolicies =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer";
constexpr const char* kProfileList = "Software\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";
constexpr const char* kSecondSid = "S-1-5-21-0-0-0-1002";
constexpr const char* kSecondFolder = "C:\\users\\second";
constexpr const char* kSecondHive = "C:\\users\\second\\NTUSER.DAT";
constexpr const char* kCheckName = "NoxUndoCheck";
constexpr const char* kAside = "Software\\NoxUndoSecondProfile";

// Where a login writes in a user's hive and in the machine's, and where
// the journals live.
const char* const kUserKeys[] = {
    "Software\\Microsoft\\Windows\\CurrentVersion\\Policies",
    "Software\\Policies",
    "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\Zones\\3",
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders",
    kUserShellFolders,
    "Software\\Microsoft\\Internet Explorer\\Main",
    "Software\\Microsoft\\Windows Script Host\\Settings",
    "Control Panel\\Accessibility",
    "Software\\Quillon",
};
const char* const kMachineKeys[] = {
    "Software\\Microsoft\\Windows\\CurrentVersion\\Policies",
    "Software\\Policies",
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders",
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders",
    "Software\\Quillon\\Nox",
};

// Every key and value below `key`: "Key\Sub|Name" -> "type:bytes".
using Snapshot = std::map<std::string, std::string>;

void Collect(HKEY root, const std::string& key, const std::string& shown, Snapshot* out) {
  ScopedKey opened;
  if (RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, opened.receive()) != ERROR_SUCCESS) return;
  (*out)[shown + "\\"] = "key";
  char name[16384];
  std::string data(1 << 16, '\0');
  for (DWORD i = 0;; ++i) {
    DWORD name_size = sizeof name;
    DWORD type = 0;
    DWORD size = static_cast<DWORD>(data.size());
    if (RegEnumValueA(opened.get(), i, name, &name_size, nullptr, &type,
                      reinterpret_cast<BYTE*>(data.data()), &size) != ERROR_SUCCESS) {
      break;
    }
    (*out)[shown + "|" + name] = std::to_string(type) + ":" + data.substr(0, size);
  }
  for (DWORD i = 0;; ++i) {
    DWORD name_size = sizeof name;
    if (RegEnumKeyExA(opened.get(), i, name, &name_size, nullptr, nullptr, nullptr, nullptr) !=
        ERROR_SUCCESS) {
      break;
    }
    Collect(opened.get(), name, shown + "\\" + name, out);
  }
}

// "Shell Folders" is Windows' cache of the folders, which it rewrites
// itself; only the values a login writes there count.
void KeepOnlyNoxsShellFolders(Snapshot* snapshot) {
  const std::string cache =
      "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders|";
  static const char* const kNoxs[] = {"Programs",         "Start Menu",       "WinMenu Programs",
                                      "NoxMenu Programs", "WinStart Menu",    "NoxStart Menu",
                                      "Common Programs",  "Common Start Menu"};
  for (auto it = snapshot->begin(); it != snapshot->end();) {
    const bool cached = it->first.rfind(cache, 0) == 0;
    const std::string name = cached ? it->first.substr(cache.size()) : "";
    const bool noxs = std::any_of(std::begin(kNoxs), std::end(kNoxs),
                                  [&](const char* own) { return name == own; });
    it = cached && !noxs ? snapshot->erase(it) : std::next(it);
  }
}

// A user's hive as the logins and the uninstall touch it, under `prefix`.
Snapshot UserHive(HKEY root, const std::string& prefix = "") {
  Snapshot snapshot;
  for (const char* key : kUserKeys) Collect(root, prefix + key, key, &snapshot);
  KeepOnlyNoxsShellFolders(&snapshot);
  return snapshot;
}

Snapshot MachineHive() {
  Snapshot snapshot;
  for (const char* key : kMachineKeys) Collect(HKEY_LOCAL_MACHINE, key, key, &snapshot);
  KeepOnlyNoxsShellFolders(&snapshot);
  return snapshot;
}

// The entries that differ, one a line: "-" as expected, "+" as found.
std::string Differences(const Snapshot& expected, const Snapshot& found) {
  std::string lines;
  for (const auto& [name, value] : expected) {
    auto it = found.find(name);
    if (it == found.end() || it->second != value) lines += "- " + name + " = " + value + "\n";
  }
  for (const auto& [name, value] : found) {
    auto it = expected.find(name);
    if (it == expected.end() || it->second != value) lines += "+ " + name + " = " + value + "\n";
  }
  return lines;
}

void Write(HKEY root, const std::string& key, const std::string& name, DWORD type,
           const std::string& bytes) {
  ScopedKey opened;
  ASSERT_EQ(RegCreateKeyExA(root, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                            opened.receive(), nullptr),
            ERROR_SUCCESS);
  RegSetValueExA(opened.get(), name.c_str(), 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                 static_cast<DWORD>(bytes.size()));
}

std::string Dword(DWORD value) { return std::string(reinterpret_cast<const char*>(&value), 4); }

// RegSaveKey needs the backup privilege, which an administrator holds disabled.
bool EnableBackupPrivilege() {
  ScopedHandle token;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY,
                        token.receive())) {
    return false;
  }
  TOKEN_PRIVILEGES privileges{};
  privileges.PrivilegeCount = 1;
  privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
  const bool enabled =
      LookupPrivilegeValueA(nullptr, SE_BACKUP_NAME, &privileges.Privileges[0].Luid) &&
      AdjustTokenPrivileges(token.get(), FALSE, &privileges, 0, nullptr, nullptr) &&
      GetLastError() == ERROR_SUCCESS;
  return enabled;
}

class UndoE2eTest : public ::testing::Test {
 protected:
  void SetUp() override {
    machine_.SetUp();
    machine_.WriteSystemFile("Timedate.cpl", "panel");
    // What the machine had before Nox: an administrator's own policy and
    // allowed programs, a zone setting, the profile's own Start menu.
    Write(HKEY_CURRENT_USER, kExplorerPolicies, "NoRun", REG_DWORD, Dword(1));
    Write(HKEY_CURRENT_USER, std::string(kExplorerPolicies) + "\\RestrictRun", "1", REG_SZ,
          std::string("notepad.exe", 12));
    Write(HKEY_CURRENT_USER,
          "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\Zones\\3", "1200",
          REG_DWORD, Dword(1));
    const std::string start_menu =
        "%USERPROFILE%\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu";
    Write(HKEY_CURRENT_USER, kUserShellFolders, "Start Menu", REG_EXPAND_SZ, start_menu + '\0');
    Write(HKEY_CURRENT_USER, kUserShellFolders, "Programs", REG_EXPAND_SZ,
          start_menu + "\\Programs" + '\0');
    WriteRegText(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Internet Explorer", "version",
                 "11.0.19041.1");
  }

  void TearDown() override {
    ScopedKey list;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kProfileList, 0, KEY_ALL_ACCESS, list.receive()) ==
        ERROR_SUCCESS) {
      RegDeleteKeyA(list.get(), kSecondSid);
    }
    platform::UnloadUserHiveFile(kCheckName, kSecondHive);
    DeleteRegTree(HKEY_CURRENT_USER, kAside);
    DeleteFileA(kSecondHive);
    RemoveDirectoryA(kSecondFolder);
    machine_.TearDown();
  }

  void LogIn(const char* triple) {
    machine_.WriteUserTable({MakeUser(LogonName(), "p", triple)});
    ASSERT_TRUE(machine_.StartExplorer());
    ASSERT_TRUE(machine_.WaitForExit()) << machine_.Diagnose();
  }

  void Uninstall() {
    ASSERT_TRUE(machine_.StartProgram("Clearway.exe", "x /U"));
    ASSERT_TRUE(machine_.WaitForExit()) << machine_.Diagnose();
    EXPECT_EQ(machine_.ExitCode(), 0u);
  }

  // A second profile with what the login left in this one: the keys it
  // writes, copied aside and saved to the profile's hive file.
  static void SaveSecondProfile() {
    ScopedKey aside;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kAside, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              aside.receive(), nullptr),
              ERROR_SUCCESS);
    for (const char* key : kUserKeys) {
      ScopedKey source;
      if (RegOpenKeyExA(HKEY_CURRENT_USER, key, 0, KEY_READ, source.receive()) != ERROR_SUCCESS) {
        continue;
      }
      ScopedKey copy;
      RegCreateKeyExA(aside.get(), key, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, copy.receive(),
                      nullptr);
      EXPECT_EQ(RegCopyTreeA(source.get(), nullptr, copy.get()), ERROR_SUCCESS) << key;
    }
    ASSERT_TRUE(EnableBackupPrivilege());
    CreateDirectoryA(kSecondFolder, nullptr);
    EXPECT_EQ(RegSaveKeyA(aside.get(), kSecondHive, nullptr), ERROR_SUCCESS);
    aside.Reset();
    DeleteRegTree(HKEY_CURRENT_USER, kAside);
  }

  Machine machine_;
};

// Education Modern, then a lighter level: afterwards every value is as it
// was, the Start menu's folders again REG_EXPAND_SZ, the journals gone.
TEST_F(UndoE2eTest, TwoLoginsThenTheUninstallLeaveEveryValueAsItWas) {
  const Snapshot user_before = UserHive(HKEY_CURRENT_USER);
  const Snapshot machine_before = MachineHive();
  LogIn(kSecurityLevels[10].triple);
  LogIn(kSecurityLevels[1].triple);
  ASSERT_NE(UserHive(HKEY_CURRENT_USER), user_before);
  Uninstall();
  EXPECT_EQ(Differences(user_before, UserHive(HKEY_CURRENT_USER)), "");
  EXPECT_EQ(Differences(machine_before, MachineHive()), "");
  const auto programs = ReadRegValue(HKEY_CURRENT_USER, kUserShellFolders, "Programs");
  ASSERT_TRUE(programs.has_value());
  EXPECT_EQ(programs->type, static_cast<DWORD>(REG_EXPAND_SZ));
  EXPECT_EQ(programs->bytes.rfind("%USERPROFILE%\\", 0), 0u) << programs->bytes;
  EXPECT_TRUE(machine_.SystemFileExists("Timedate.cpl"));
}

// A profile that is not logged on: its hive (saved after a login) is listed
// in ProfileList; the uninstall loads it, restores it and unloads it again.
TEST_F(UndoE2eTest, AProfileThatIsNotLoggedOnIsRestoredThroughItsHiveFile) {
  const Snapshot user_before = UserHive(HKEY_CURRENT_USER);
  LogIn(kSecurityLevels[7].triple);
  SaveSecondProfile();
  Write(HKEY_LOCAL_MACHINE, std::string(kProfileList) + "\\" + kSecondSid, "ProfileImagePath",
        REG_EXPAND_SZ, std::string("%SystemDrive%\\users\\second") + '\0');

  Uninstall();
  EXPECT_EQ(Differences(user_before, UserHive(HKEY_CURRENT_USER)), "");
  ASSERT_EQ(platform::LoadUserHiveFile(kCheckName, kSecondHive), ERROR_SUCCESS)
      << "the uninstall left the hive loaded";
  EXPECT_EQ(Differences(user_before, UserHive(HKEY_USERS, std::string(kCheckName) + "\\")), "");
  EXPECT_EQ(platform::UnloadUserHiveFile(kCheckName, kSecondHive), ERROR_SUCCESS);
}

}  // namespace
}  // namespace nox::e2e
