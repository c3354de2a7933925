// Whole WriteSettings runs around the edges: schedules, failing steps, the
// proxy, Internet Explorer versions, network levels, the Date/Time panel,
// browser pages, recent documents and Windows NT.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "common/runtime_error.h"
#include "explorer/frm_login.h"
#include "explorer/write_settings_test_support.h"

namespace nox::write_settings_test {
namespace {

constexpr const char* kExplorerKey =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer";
constexpr const char* kNetworkKey =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Network";
constexpr const char* kWinOldAppKey =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\WinOldApp";
constexpr const char* kSettingsKey =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
constexpr const char* kZoneKey =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\Zones\\3";
constexpr const char* kMainKey = "Software\\Microsoft\\Internet Explorer\\Main";

std::optional<std::string> Data(const char* key, const char* name,
                                platform::RegKey root = platform::kCurrentUser) {
  return RegData(root, key, name);
}

class WriteSettingsEdgeTest : public ::testing::Test {
 protected:
  void SetUp() override { ArrangeMachine(); }

  // One login of "bob" with `record`; the program must end.
  void Run(const UserRecord& record, const std::string& user_name_box = "bob") {
    frmLogin form;
    LogIn(form, user_name_box, record);
    EXPECT_THROW(form.WriteSettings(), fake::ProgramEnded);
  }

  // One login that must raise; the error number, 0 when none was raised.
  int RunRaising(const UserRecord& record) {
    frmLogin form;
    LogIn(form, "bob", record);
    try {
      form.WriteSettings();
    } catch (const RuntimeError& error) {
      return error.number();
    }
    return 0;
  }

  static UserRecord Plain(const std::string& triple) {
    UserRecord record = BobRecord(triple);
    SetFieldText(record.drive_schedule[4], "");
    return record;
  }
};

TEST_F(WriteSettingsEdgeTest, DrivesFollowTheirSchedulesAcrossMidnight) {
  platform::LocalTime late;
  late.year = 2000;
  late.hour = 23;
  fake::SetLocalTime(late);
  UserRecord record = Plain("0,0,0");
  SetFieldText(record.drive_schedule[3], Schedule("08:00", "17:00", "True"));
  SetFieldText(record.drive_schedule[26], Schedule("22:00", "06:00", "True"));
  SetFieldText(record.drive_schedule[0], Schedule("00:00", "23:59", "True"));
  SetFieldText(record.drive_schedule[27], Schedule("00:00", "23:59", "True"));
  Run(record);
  EXPECT_EQ(Data(kExplorerKey, "NoDrives"), Dword(1u << 25));
}

TEST_F(WriteSettingsEdgeTest, DriveScheduleWithBadTimesRaisesAfterTheWipe) {
  UserRecord record = Plain("0,0,0");
  SetFieldText(record.drive_schedule[3], Schedule("25:00", "17:00", "True"));
  EXPECT_EQ(RunRaising(record), kErrTypeMismatch);
  EXPECT_FALSE(fake::FileExists("C:\\NOX\\tmp\\old.txt"));
  EXPECT_TRUE(fake::DirectoryExists("C:\\NOX\\tmp"));
  EXPECT_EQ(Data(kExplorerKey, "NoDrives"), std::nullopt);
  EXPECT_EQ(Data(kExplorerKey, "NoSetFolders"), std::nullopt);
  EXPECT_TRUE(fake::ProgramStarts().empty());
  EXPECT_EQ(fake::ProgramEndCode(), std::nullopt);
}

TEST_F(WriteSettingsEdgeTest, TripleWithAFourthPartRaisesAfterTheDrives) {
  EXPECT_EQ(RunRaising(BobRecord("1,2,3,4")), kErrSubscript);
  EXPECT_EQ(Data(kExplorerKey, "NoDrives"), Dword(8));
  EXPECT_EQ(Data(kExplorerKey, "NoSetFolders"), std::nullopt);
  EXPECT_TRUE(fake::ProgramStarts().empty());
}

TEST_F(WriteSettingsEdgeTest, AdministratorMeansExactlyThatName) {
  Run(Plain("0,0,256"), "administrator");
  EXPECT_EQ(Data(kWinOldAppKey, "Disabled"), Dword(1));
  ArrangeMachine();
  Run(Plain("0,0,256"), "Administrator");
  EXPECT_EQ(Data(kWinOldAppKey, "Disabled"), Dword(0));
}

TEST_F(WriteSettingsEdgeTest, ProxyWithOnlyHttpFilled) {
  Run(Plain("0,0,32768"));
  EXPECT_EQ(Data(kSettingsKey, "ProxyEnable"), Dword(1));
  EXPECT_EQ(Data(kSettingsKey, "ProxyServer"),
            Sz("ftp=:;gopher=:;http=proxy:8080;https=:;socks=:"));
}

TEST_F(WriteSettingsEdgeTest, ProxyOffLeavesTheServerTextAlone) {
  PutValue(platform::kCurrentUser, kSettingsKey, "ProxyServer", platform::kRegSz, Sz("old:1"));
  Run(Plain("0,0,0"));
  EXPECT_EQ(Data(kSettingsKey, "ProxyEnable"), Dword(0));
  EXPECT_EQ(Data(kSettingsKey, "ProxyServer"), Sz("old:1"));
}

TEST_F(WriteSettingsEdgeTest, InternetBitsReachTheirValues) {
  // Bits 11 to 14 and 19, 21 of mask 3.
  Run(Plain("0,0,2652160"));
  EXPECT_EQ(Data(kSettingsKey, "Security_RunActiveXControls"), Dword(1));
  EXPECT_EQ(Data(kSettingsKey, "Security_RunJavaApplets"), Dword(1));
  EXPECT_EQ(Data(kSettingsKey, "Security_RunScripts"), Dword(1));
  EXPECT_EQ(Data(kSettingsKey, "Code Download"), Sz("no"));
  for (const char* name : {"1200", "1400", "1402", "1001", "1004", "1803", "1802"}) {
    EXPECT_EQ(Data(kZoneKey, name), Dword(3)) << name;
  }
  EXPECT_EQ(Data(kZoneKey, "1C00"), Dword(0));
}

TEST_F(WriteSettingsEdgeTest, ZoneValuesOnlyAboveInternetExplorer47) {
  PutValue(platform::kLocalMachine, "Software\\Microsoft\\Internet Explorer", "Version",
           platform::kRegSz, Sz("4.70.1300"));
  Run(Plain("0,0,0"));
  EXPECT_FALSE(fake::RegKeyExists(platform::kCurrentUser, kZoneKey));

  ArrangeMachine();
  PutValue(platform::kLocalMachine, "Software\\Microsoft\\Internet Explorer", "Version",
           platform::kRegSz, Sz("4.72.3110.8"));
  Run(Plain("0,0,0"));
  EXPECT_EQ(Data(kZoneKey, "1C00"), Dword(0x30000));
  EXPECT_EQ(Data(kZoneKey, "1802"), Dword(0));
}

TEST_F(WriteSettingsEdgeTest, MissingInternetExplorerWritesNoZone) {
  platform::RegDeleteKey(platform::kLocalMachine, "Software\\Microsoft\\Internet Explorer");
  Run(Plain("0,0,0"));
  EXPECT_FALSE(fake::RegKeyExists(platform::kCurrentUser, kZoneKey));
  EXPECT_EQ(Data(kExplorerKey, "NoSaveSettings"), Dword(0));
}

TEST_F(WriteSettingsEdgeTest, VersionNotBeginningWithANumberRaises) {
  PutValue(platform::kLocalMachine, "Software\\Microsoft\\Internet Explorer", "Version",
           platform::kRegSz, Sz("unknown"));
  EXPECT_EQ(RunRaising(Plain("0,0,0")), kErrTypeMismatch);
  EXPECT_EQ(Data(kSettingsKey, "Code Download"), Sz("yes"));
  EXPECT_EQ(Data("Software\\Quillon\\Netsieve\\CurrentVersion", "Logging", platform::kLocalMachine),
            std::nullopt);
  EXPECT_TRUE(fake::ProgramStarts().empty());
}

TEST_F(WriteSettingsEdgeTest, NetworkLevelThreeAfterTwoKeepsTheOthers) {
  Run(Plain("0,0,0"));
  EXPECT_EQ(Data(kNetworkKey, "NoEntireNetwork"), Dword(1));
  EXPECT_EQ(Data(kNetworkKey, "NoWorkgroupContents"), Dword(1));
  EXPECT_EQ(Data(kExplorerKey, "NoNetHood"), Dword(0));
  UserRecord record = Plain("0,0,0");
  record.network_level = 3;
  Run(record);
  EXPECT_EQ(Data(kNetworkKey, "NoEntireNetwork"), Dword(1));
  EXPECT_EQ(Data(kNetworkKey, "NoWorkgroupContents"), Dword(1));
  EXPECT_EQ(Data(kExplorerKey, "NoNetHood"), Dword(1));
}

TEST_F(WriteSettingsEdgeTest, NetworkLevelsZeroOneAndOutOfRange) {
  UserRecord record = Plain("0,0,0");
  record.network_level = 1;
  Run(record);
  EXPECT_EQ(Data(kNetworkKey, "NoEntireNetwork"), Dword(1));
  EXPECT_EQ(Data(kNetworkKey, "NoWorkgroupContents"), Dword(0));
  record.network_level = 7;
  PutValue(platform::kCurrentUser, kExplorerKey, "NoNetHood", platform::kRegDword, Dword(5));
  Run(record);
  EXPECT_EQ(Data(kExplorerKey, "NoNetHood"), Dword(5));
  record.network_level = 0;
  Run(record);
  EXPECT_EQ(Data(kNetworkKey, "NoEntireNetwork"), Dword(0));
  EXPECT_EQ(Data(kExplorerKey, "NoNetHood"), Dword(0));
}

TEST_F(WriteSettingsEdgeTest, DateTimePanelHiddenTwiceInARow) {
  Run(Plain("16384,0,0"));
  EXPECT_TRUE(fake::FileExists("C:\\WINDOWS\\SYSTEM\\123456789.123"));
  EXPECT_FALSE(fake::FileExists("C:\\WINDOWS\\SYSTEM\\Timedate.cpl"));
  Run(Plain("16384,0,0"));
  EXPECT_EQ(fake::FileBytes("C:\\WINDOWS\\SYSTEM\\123456789.123"), "date and time panel");
  EXPECT_FALSE(fake::FileExists("C:\\WINDOWS\\SYSTEM\\Timedate.cpl"));
  Run(Plain("0,0,0"));
  EXPECT_EQ(fake::FileBytes("C:\\WINDOWS\\SYSTEM\\Timedate.cpl"), "date and time panel");
  EXPECT_FALSE(fake::FileExists("C:\\WINDOWS\\SYSTEM\\123456789.123"));
}

TEST_F(WriteSettingsEdgeTest, DateTimePanelSecondRenameFailureRaises) {
  fake::PutFile("C:\\WINDOWS\\SYSTEM\\123456789.123", "older hidden copy");
  EXPECT_EQ(RunRaising(Plain("16384,0,0")), kErrFileExists);
  EXPECT_EQ(fake::FileBytes("C:\\WINDOWS\\SYSTEM\\123456789.123"), "older hidden copy");
  EXPECT_EQ(fake::FileBytes("C:\\WINDOWS\\SYSTEM\\Timedate.cpl"), "date and time panel");
  EXPECT_EQ(Data(kExplorerKey, "NoSetActiveDesktop"), std::nullopt);

  ArrangeMachine();
  platform::DeleteFile("C:\\WINDOWS\\SYSTEM\\Timedate.cpl");
  EXPECT_EQ(RunRaising(Plain("16384,0,0")), kErrFileNotFound);
}

TEST_F(WriteSettingsEdgeTest, DateTimePanelRenameRefusedOnNtIsPassedOver) {
  const auto hidden_copy = [] {
    fake::PutFile("C:\\WINDOWS\\SYSTEM\\123456789.123", "older hidden copy");
  };
  const auto missing = [] { platform::DeleteFile("C:\\WINDOWS\\SYSTEM\\Timedate.cpl"); };
  for (void (*refuse)() : {+hidden_copy, +missing}) {
    ArrangeMachine();
    platform::OsVersion nt;
    nt.platform_id = platform::kPlatformNt;
    nt.major = 10;
    fake::SetOsVersion(nt);
    refuse();
    Run(Plain("16384,0,0"));
    EXPECT_FALSE(fake::FileBytes("C:\\WINDOWS\\SYSTEM\\123456789.123") == "date and time panel");
    EXPECT_EQ(Data(kExplorerKey, "NoSetActiveDesktop"), Dword(0));
    ASSERT_EQ(fake::ProgramStarts().size(), 2u);
    EXPECT_EQ(fake::ProgramStarts()[1].command_line, "C:\\NOX\\pelorus.exe");
  }
}

TEST_F(WriteSettingsEdgeTest, BrowserPagesAreWrittenWhole) {
  Run(Plain("128,0,262144"));
  std::string start = "http://start.example/";
  start.resize(255, ' ');
  std::string search = "http://search.example/";
  search.resize(200, ' ');
  EXPECT_EQ(Data(kMainKey, "Start Page"), Sz(start));
  EXPECT_EQ(Data(kMainKey, "Search Page"), Sz(search));
}

TEST_F(WriteSettingsEdgeTest, MsDosPromptRule) {
  Run(Plain("32768,0,0"));
  EXPECT_EQ(Data(kWinOldAppKey, "Disabled"), Dword(1));
  EXPECT_EQ(Data(kWinOldAppKey, "NoRealMode"), Dword(0));
  Run(Plain("32769,0,0"));
  EXPECT_EQ(Data(kWinOldAppKey, "Disabled"), Dword(0));
  Run(Plain("65536,0,0"));
  EXPECT_EQ(Data(kWinOldAppKey, "Disabled"), Dword(0));
}

TEST_F(WriteSettingsEdgeTest, EmptyRecentValueDeletesNothingOutsideTheWindowsRecentFolder) {
  fake::PutFile("C:\\NOX\\notes.txt", "in the current directory");
  PutValue(platform::kCurrentUser,
           "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders", "Recent",
           platform::kRegSz, Sz(""));
  Run(Plain("0,16384,0"));
  EXPECT_TRUE(fake::FileExists("C:\\IO.SYS"));
  EXPECT_TRUE(fake::FileExists("C:\\MSDOS.SYS"));
  EXPECT_TRUE(fake::FileExists("C:\\NOX\\notes.txt"));
  EXPECT_TRUE(fake::FileExists(std::string(kRecentFolder) + "\\a.lnk"));
  EXPECT_FALSE(fake::FileExists("C:\\WINDOWS\\Recent\\b.lnk"));
  EXPECT_EQ(Data(kExplorerKey, "NoRecentDocsHistory"), Dword(1));
}

TEST_F(WriteSettingsEdgeTest, MissingRecentValueDeletesNothingOutsideTheWindowsRecentFolder) {
  platform::ScopedRegKey key;
  platform::RegOpenKey(platform::kCurrentUser,
                       "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders",
                       platform::kKeyAllAccess, key.receive());
  platform::RegDeleteValue(key.get(), "Recent");
  key.Reset();
  Run(Plain("0,16384,0"));
  EXPECT_TRUE(fake::FileExists("C:\\IO.SYS"));
  EXPECT_TRUE(fake::FileExists("C:\\MSDOS.SYS"));
  EXPECT_FALSE(fake::FileExists("C:\\WINDOWS\\Recent\\b.lnk"));
}

TEST_F(WriteSettingsEdgeTest, ProgramPathsWithBlanksAreQuoted) {
  fake::SetProgramDirectory("C:\\Program Files\\Nox");
  Run(Plain("0,8192,0"));
  const auto& starts = fake::ProgramStarts();
  ASSERT_EQ(starts.size(), 2u);
  EXPECT_EQ(starts[0].command_line, "C:\\WINDOWS\\explorer.exe");
  EXPECT_EQ(starts[1].command_line, "\"C:\\Program Files\\Nox\\pelorus.exe\"");
  EXPECT_TRUE(fake::DirectoryExists("C:\\Program Files\\Nox\\tmp\\Start Menu"));
  EXPECT_EQ(Data("Software\\Microsoft\\Windows\\CurrentVersion\\explorer\\User Shell folders",
                 "Programs"),
            Sz("C:\\Program Files\\Nox\\tmp\\Start Menu\\Programs"));
}

TEST_F(WriteSettingsEdgeTest, WindowsNtSwitchesBothScopesAndLeavesMyDocumentsAlone) {
  platform::OsVersion nt;
  nt.platform_id = platform::kPlatformNt;
  nt.major = 4;
  fake::SetOsVersion(nt);
  const char* shell_folders =
      "Software\\Microsoft\\Windows\\CurrentVersion\\explorer\\Shell folders";
  PutValue(platform::kLocalMachine, shell_folders, "Common Programs", platform::kRegSz,
           Sz("C:\\WINNT\\Profiles\\All Users\\Start Menu\\Programs"));
  PutValue(platform::kLocalMachine, shell_folders, "Common Start Menu", platform::kRegSz,
           Sz("C:\\WINNT\\Profiles\\All Users\\Start Menu"));
  Run(BobRecord("53520,63759,3670485"));
  const char* user_shell =
      "Software\\Microsoft\\Windows\\CurrentVersion\\explorer\\User Shell folders";
  EXPECT_EQ(Data(user_shell, "Common Programs", platform::kLocalMachine), Sz(kNoxPrograms));
  EXPECT_EQ(Data(user_shell, "Common Start Menu", platform::kLocalMachine), Sz(kNoxMenu));
  EXPECT_EQ(Data(kExplorerKey, "NoStartMenuSubFolders", platform::kLocalMachine), Dword(1));
  EXPECT_EQ(Data(user_shell, "Programs"), Sz(kNoxPrograms));
  EXPECT_FALSE(fake::RegKeyExists(platform::kLocalMachine,
                                  "Software\\Microsoft\\Windows\\CurrentVersion\\explorer\\"
                                  "Desktop\\NameSpace\\{450d8fba-ad25-11d0-98a8-0800361b1103}"));
  EXPECT_EQ(Data(kExplorerKey, "NoRecentDocsHistory"), Dword(1));
  EXPECT_EQ(Data(kExplorerKey, "RestrictRun"), Dword(1));
}

TEST_F(WriteSettingsEdgeTest, WindowsNtWithoutTheHookLibraryRaisesAtTheFirstWrite) {
  platform::OsVersion nt;
  nt.platform_id = platform::kPlatformNt;
  nt.major = 4;
  fake::Reset();
  fake::SetOsVersion(nt);
  EXPECT_EQ(RunRaising(Plain("0,0,0")), kErrFileNotFound);
  EXPECT_TRUE(fake::ProgramStarts().empty());
}

}  // namespace
}  // namespace nox::write_settings_test
