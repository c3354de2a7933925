// Logins, then the uninstall, on the fake platform: every value the logins
// changed is back as it was before Nox, in the loaded profile and in one
// whose hive is only a file; a damaged journal restores what it can.
#include "clearway/undo.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "clearway/clearway.h"
#include "common/catalogue.h"
#include "explorer/login_test_support.h"

namespace nox::clearway {
namespace {

using namespace testing_support;
namespace fake = platform::fake;

constexpr const char* kExplorerKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer";
constexpr const char* kPolicies = "Software\\Microsoft\\Windows\\CurrentVersion\\Policies";
constexpr const char* kInternet = "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
constexpr const char* kProfileList = "Software\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";
constexpr const char* kPupilSid = "S-1-5-21-7-7-7-1001";
constexpr const char* kAnnSid = "S-1-5-21-7-7-7-1002";
constexpr const char* kGoneSid = "S-1-5-21-7-7-7-1000";
constexpr const char* kAnnHive = "C:\\Users\\ann\\NTUSER.DAT";

Snapshot Hive(platform::RegKey root, const std::string& path) {
  Snapshot snapshot;
  CollectRegistry(root, path, "", &snapshot);
  return snapshot;
}

// HKEY_LOCAL_MACHINE\Software without the login program's record of who
// is logged on, which is no restriction and which the uninstall leaves.
Snapshot MachineSoftware() {
  Snapshot snapshot = Hive(platform::kLocalMachine, "Software");
  for (const char* own :
       {"\\Quillon\\", "\\Quillon\\Netsieve\\", "\\Quillon\\Netsieve\\CurrentVersion\\",
        "\\Quillon\\Netsieve\\CurrentVersion|User",
        "\\Quillon\\Netsieve\\CurrentVersion|UserName"}) {
    snapshot.erase(own);
  }
  return snapshot;
}

std::string Dword(uint32_t value) { return std::string(reinterpret_cast<const char*>(&value), 4); }
std::string Sz(const std::string& text) { return text + '\0'; }

void Put(platform::RegKey root, const std::string& key, const std::string& name, uint32_t type,
         const std::string& data) {
  platform::ScopedRegKey opened;
  platform::RegCreateKey(root, key, opened.receive());
  platform::RegSetValue(opened.get(), name, type, data);
}

// A Windows 10 profile before Nox, under `prefix` of `root`: its folders
// (the user ones to be expanded), an administrator's own policies and
// allowed programs, Internet zone settings and key flags of its own.
void ArrangeProfile(platform::RegKey root, const std::string& prefix, const std::string& user) {
  const auto put = [&](const std::string& key, const std::string& name, uint32_t type,
                       const std::string& data) { Put(root, prefix + key, name, type, data); };
  const std::string roaming = "\\AppData\\Roaming\\Microsoft\\Windows\\";
  const std::string user_shell = std::string(kExplorerKey) + "\\User Shell Folders";
  const std::string shell = std::string(kExplorerKey) + "\\Shell Folders";
  put(user_shell, "Programs", platform::kRegExpandSz,
      Sz("%USERPROFILE%" + roaming + "Start Menu\\Programs"));
  put(user_shell, "Start Menu", platform::kRegExpandSz,
      Sz("%USERPROFILE%" + roaming + "Start Menu"));
  put(shell, "Programs", platform::kRegSz,
      Sz("C:\\Users\\" + user + roaming + "Start Menu\\Programs"));
  put(shell, "Start Menu", platform::kRegSz, Sz("C:\\Users\\" + user + roaming + "Start Menu"));
  put(shell, "Recent", platform::kRegSz, Sz("C:\\Users\\" + user + roaming + "Recent"));
  put(std::string(kPolicies) + "\\Explorer", "NoRun", platform::kRegDword, Dword(1));
  put(std::string(kPolicies) + "\\Explorer\\RestrictRun", "1", platform::kRegSz, Sz("notepad.exe"));
  put(std::string(kInternet) + "\\Zones\\3", "1200", platform::kRegDword, Dword(1));
  put(std::string(kInternet) + "\\Zones\\3", "1C00", platform::kRegDword, Dword(0x10000));
  put(kInternet, "ProxyEnable", platform::kRegDword, Dword(1));
  put("Control Panel\\Accessibility\\StickyKeys", "Flags", platform::kRegSz, Sz("510"));
}

void ArrangeWindows10() {
  ResetMachine();
  fake::SetOsVersion({platform::kPlatformNt, 10, 0, 19045});
  Put(platform::kLocalMachine, "Software\\Microsoft\\Internet Explorer", "Version",
      platform::kRegSz, Sz("11.0.19041.1"));
  Put(platform::kLocalMachine, std::string(kExplorerKey) + "\\Shell Folders", "Common Programs",
      platform::kRegSz, Sz("C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs"));
  fake::PutFile(std::string(kSystemDir) + "Timedate.cpl", "panel");
  PutUserTable({MakeUser("pupil", "pw"), MakeUser("ann", "pw")});
}

void SetTriple(int record, const std::string& triple) {
  std::vector<UserRecord> users = {MakeUser("pupil", "pw"), MakeUser("ann", "pw")};
  SetFieldText(users[record].level_triple, triple);
  PutUserTable(users);
}

// A login of `name` at `triple`; with a SID as the service runs it, for
// that account's hive.
void LogIn(const std::string& name, const std::string& triple, const std::string& sid = "") {
  SetTriple(name == "pupil" ? 0 : 1, triple);
  fake::SetLogonUserName(name);
  std::optional<platform::ScopedUserHive> hive;
  if (!sid.empty()) hive.emplace(sid);
  frmLogin form;
  ASSERT_TRUE(Ends([&] { form.Form_Load(""); }));
  ASSERT_TRUE(ShellStarted());
}

void Uninstall() {
  EXPECT_TRUE(Ends([] { UninstallMain("x /u"); }));
  EXPECT_TRUE(fake::MessageBoxes().empty());
}

// Any level, then another, then the uninstall: the user's hive and the
// machine's values as they were, the Date/Time panel back in place.
TEST(UndoTest, TwoLoginsAtTwoLevelsThenTheUninstallLeaveTheRegistryAsBefore) {
  for (size_t first = 0; first < kSecurityLevels.size(); ++first) {
    const size_t second = (first + 4) % kSecurityLevels.size();
    SCOPED_TRACE(std::string(kSecurityLevels[first].name) + " then " +
                 kSecurityLevels[second].name);
    ArrangeWindows10();
    ArrangeProfile(platform::kCurrentUser, "", "pupil");
    const Snapshot user_before = Hive(platform::kCurrentUser, "");
    const Snapshot machine_before = MachineSoftware();
    LogIn("pupil", kSecurityLevels[first].triple);
    LogIn("pupil", kSecurityLevels[second].triple);
    EXPECT_NE(Hive(platform::kCurrentUser, ""), user_before);
    Uninstall();
    EXPECT_EQ(Hive(platform::kCurrentUser, ""), user_before);
    EXPECT_EQ(MachineSoftware(), machine_before);
    EXPECT_TRUE(fake::FileExists(std::string(kSystemDir) + "Timedate.cpl"));
  }
}

// On NT every listed profile is restored: the loaded one through its hive,
// one that is only a file loaded, restored and unloaded again; a profile
// whose hive cannot be loaded is passed over, and the system's own are left.
TEST(UndoTest, RestoresEveryProfileAlsoOneThatIsNotLoaded) {
  ArrangeWindows10();
  const auto profile = [](const std::string& sid, const std::string& folder) {
    Put(platform::kLocalMachine, std::string(kProfileList) + "\\" + sid, "ProfileImagePath",
        platform::kRegExpandSz, Sz(folder));
  };
  profile("S-1-5-18", "%systemroot%\\system32\\config\\systemprofile");
  profile(kGoneSid, "C:\\Users\\gone");
  profile(kPupilSid, "C:\\Users\\pupil");
  profile(kAnnSid, "%SystemDrive%\\Users\\ann");
  for (const char* sid : {kPupilSid, kAnnSid, "S-1-5-18"}) {
    ArrangeProfile(platform::kUsers, std::string(sid) + "\\", sid);
  }
  const Snapshot pupil_before = Hive(platform::kUsers, kPupilSid);
  const Snapshot ann_before = Hive(platform::kUsers, kAnnSid);
  const Snapshot system_before = Hive(platform::kUsers, "S-1-5-18");
  const Snapshot machine_before = MachineSoftware();
  LogIn("pupil", kSecurityLevels[7].triple, kPupilSid);
  LogIn("ann", kSecurityLevels[1].triple, kAnnSid);
  LogIn("ann", kSecurityLevels[9].triple, kAnnSid);
  EXPECT_NE(Hive(platform::kUsers, kPupilSid), pupil_before);
  EXPECT_NE(Hive(platform::kUsers, kAnnSid), ann_before);
  fake::SaveUserHiveFile(kAnnSid, kAnnHive);

  Uninstall();
  EXPECT_EQ(Hive(platform::kUsers, kPupilSid), pupil_before);
  EXPECT_EQ(Hive(platform::kUsers, "S-1-5-18"), system_before);
  EXPECT_EQ(MachineSoftware(), machine_before);
  EXPECT_FALSE(fake::UserHiveFileLoaded(kAnnHive));
  EXPECT_EQ(fake::OpenRegKeyCount(), 0u);
  ASSERT_EQ(platform::LoadUserHiveFile("check", kAnnHive), platform::kSuccess);
  EXPECT_EQ(Hive(platform::kUsers, "check"), ann_before);
  EXPECT_EQ(platform::UnloadUserHiveFile("check", kAnnHive), platform::kSuccess);
}

class DamagedJournalTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ArrangeWindows10();
    // What a Nox without a journal left, and things that are not Nox's.
    Put(platform::kCurrentUser, std::string(kPolicies) + "\\System", "NoDispCPL",
        platform::kRegDword, Dword(1));
    Put(platform::kCurrentUser, "Software\\Microsoft\\Windows\\CurrentVersion\\Run", "Tool",
        platform::kRegSz, Sz("tool.exe"));
    platform::ScopedRegKey empty;
    platform::RegCreateKey(platform::kCurrentUser, "Software\\Classes\\Empty", empty.receive());
  }

  static void PutJournal(const JournalPlace& place, uint32_t type,
                         const std::vector<std::string>& lines) {
    std::string bytes;
    for (const std::string& line : lines) bytes += line + '\0';
    Put(place.root, place.key, kJournalValue, type, bytes + '\0');
  }

  static std::optional<std::string> UserValue(const std::string& key, const std::string& name) {
    auto value = fake::RegGetValue(platform::kCurrentUser, key, name);
    if (!value) return std::nullopt;
    return std::to_string(value->type) + ":" + value->data;
  }
};

// Entries outside the keys the login writes are passed over, unreadable
// lines too; the rest is restored, 100,000 entries or not; values without
// an entry are reset only where they exist; another account's journal is
// left alone.
TEST_F(DamagedJournalTest, RestoresWhatItCanReadAndNothingOutsideNoxsKeys) {
  const std::string explorer = std::string(kPolicies) + "\\Explorer";
  std::vector<std::string> lines = {"A Software\\Microsoft\\Windows\\CurrentVersion\\Run,Tool",
                                    "K Software\\Classes\\Empty",
                                    "V 1 4100 Software\\Classes,x",
                                    "junk",
                                    "V 4 0g k,v",
                                    "V 4 05000000 " + explorer + ",NoRun"};
  for (int i = 0; i < 100000; ++i) lines.push_back("A " + explorer + ",Stale" + std::to_string(i));
  PutJournal(HiveJournalPlace(), platform::kRegMultiSz, lines);
  PutJournal(ServiceJournalPlace("S-1-5-21-9-9-9-9"), platform::kRegMultiSz,
             {"A " + explorer + ",NoRun"});
  Put(platform::kCurrentUser, explorer, "Stale99999", platform::kRegDword, Dword(1));

  Uninstall();
  EXPECT_EQ(UserValue("Software\\Microsoft\\Windows\\CurrentVersion\\Run", "Tool"),
            "1:" + Sz("tool.exe"));
  EXPECT_TRUE(fake::RegKeyExists(platform::kCurrentUser, "Software\\Classes\\Empty"));
  EXPECT_EQ(UserValue("Software\\Classes", "x"), std::nullopt);
  EXPECT_EQ(UserValue(explorer, "NoRun"), "4:" + Dword(5));
  EXPECT_EQ(UserValue(explorer, "Stale99999"), std::nullopt);
  EXPECT_EQ(UserValue(std::string(kPolicies) + "\\System", "NoDispCPL"), "4:" + Dword(0));
  EXPECT_EQ(UserValue(explorer, "NoFind"), std::nullopt);
  EXPECT_FALSE(fake::RegKeyExists(platform::kCurrentUser, "Software\\Quillon"));
  EXPECT_TRUE(fake::RegGetValue(platform::kLocalMachine,
                                ServiceJournalPlace("S-1-5-21-9-9-9-9").key, kJournalValue));
}

// A journal that is no REG_MULTI_SZ is no journal: the values get the reset
// they always got, and the journal goes.
TEST_F(DamagedJournalTest, AJournalOfTheWrongTypeMeansTheResetAsBefore) {
  const std::string explorer = std::string(kPolicies) + "\\Explorer";
  PutJournal(HiveJournalPlace(), platform::kRegSz, {"A " + explorer + ",NoRun"});
  Uninstall();
  EXPECT_EQ(UserValue(explorer, "NoFind"), "4:" + Dword(0));
  EXPECT_EQ(UserValue(std::string(kPolicies) + "\\System", "NoDispCPL"), "4:" + Dword(0));
  EXPECT_FALSE(fake::RegGetValue(platform::kCurrentUser, kJournalRoot, kJournalValue));
}

}  // namespace
}  // namespace nox::clearway
