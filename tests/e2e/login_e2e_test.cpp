// explorer.exe end to end in the Wine prefix: the automatic login of a
// restrictive level, the OK button and a wrong password through the real
// window, an expired budget, and command-line forwarding.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "common/modern_switches.h"
#include "platform/win32/scoped_handles.h"
#include "tests/e2e/e2e_machine.h"

namespace nox::e2e {
namespace {

constexpr const char* kPolicies = "Software\\Microsoft\\Windows\\CurrentVersion\\Policies";
constexpr const char* kInternetSettings =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
constexpr const char* kNetsieve = "Software\\Quillon\\Netsieve\\CurrentVersion";
constexpr const char* kEducationHigh = "53520,63759,3670485";
constexpr const char* kEducationModern = "53520,268433679,3670493";
constexpr const char* kExpired =
    "Your allocated session minutes have expired.\r\nYour windows session will now terminate.";

std::string Key(const char* sub) { return std::string(kPolicies) + "\\" + sub; }

// The logon name ctest gives the run (USER=pupil).
constexpr const char* kLogonName = "pupil";

class LoginE2eTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(LogonName(), kLogonName) << "run with USER=" << kLogonName << " (as ctest does)";
    machine_.SetUp();
  }
  void TearDown() override { machine_.TearDown(); }

  // The two programs a completed login starts. They run side by side, so the
  // order their lines reach the log is a race; the order of the starts
  // themselves is checked on the fake platform.
  void ExpectShellAndPelorusStarted() {
    std::vector<StartRecord> starts = machine_.WaitForStarts(2);
    ASSERT_EQ(starts.size(), 2u);
    std::sort(starts.begin(), starts.end(),
              [](const StartRecord& a, const StartRecord& b) { return a.program < b.program; });
    EXPECT_EQ(starts[0].program, "explorer.exe");
    EXPECT_EQ(starts[0].command_line, machine_.WindowsDir() + "\\explorer.exe");
    EXPECT_EQ(starts[0].show, SW_SHOWMAXIMIZED);
    EXPECT_EQ(starts[1].program, "pelorus.exe");
    EXPECT_EQ(starts[1].command_line, std::string(kProgramDir) + "\\pelorus.exe");
    EXPECT_EQ(starts[1].show, SW_SHOWMINIMIZED);
  }

  Machine machine_;
};

// "HH:MM" of now moved by `minutes` (wrapping at midnight).
std::string ClockText(int minutes) {
  SYSTEMTIME now;
  GetLocalTime(&now);
  int total = ((now.wHour * 60 + now.wMinute + minutes) % 1440 + 1440) % 1440;
  char text[6];
  snprintf(text, sizeof text, "%02d:%02d", total / 60, total % 60);
  return text;
}

// A drive schedule entry in force from `start` to `end`.
void SetSchedule(UserRecord* record, int drive, const std::string& start, const std::string& end) {
  std::string entry(50, ' ');
  entry.replace(7, 5, start);
  entry.replace(19, 5, end);
  entry.replace(24, 4, "True");
  SetFieldText(record->drive_schedule[drive], entry);
}

TEST_F(LoginE2eTest, AutomaticLoginAppliesEducationHighValueByValue) {
  // The logon name matches without regard to letter case.
  UserRecord pupil = MakeUser("PUPIL", "never-typed", kEducationHigh);
  SetSchedule(&pupil, 5, ClockText(-60), ClockText(60));  // E: hidden now
  SetSchedule(&pupil, 6, ClockText(60), ClockText(120));  // F: not yet
  pupil.program_list_count = 1;
  pupil.allowed_program_count = 2;
  machine_.WriteUserTable({MakeUser("teacher", "t", "0,0,0"), pupil});
  machine_.WriteSystemFile("2.TBL",
                           "\"head\",\"head\"\r\n01 MATHS\r\n"
                           "\"calc.exe\",\"False\",\"a\",\"b\"\r\n"
                           "\"notepad.exe\",\"False\",\"a\",\"b\"\r\n");
  machine_.WriteSystemFile("Timedate.cpl", "panel");
  WriteRegText(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Internet Explorer", "version",
               "5.50.4134.0100");

  ASSERT_TRUE(machine_.StartExplorer());
  ASSERT_TRUE(machine_.WaitForExit()) << "explorer.exe did not end: " << machine_.Diagnose();
  EXPECT_EQ(FindWindowA(nullptr, "Nox Login"), nullptr);
  ExpectShellAndPelorusStarted();

  EXPECT_EQ(ReadText(HKEY_LOCAL_MACHINE, kNetsieve, "User"), "2");
  EXPECT_EQ(ReadText(HKEY_LOCAL_MACHINE, kNetsieve, "UserName"), "PUPIL" + std::string(35, ' '));
  EXPECT_EQ(ReadText(HKEY_LOCAL_MACHINE, kNetsieve, "Logging"), "1");
  EXPECT_FALSE(machine_.SystemFileExists("user.cur"));

  struct Expected {
    HKEY root;
    std::string key;
    const char* name;
    DWORD value;
  };
  const Expected dwords[] = {
      {HKEY_CURRENT_USER, Key("System"), "NoDispBackgroundPage", 0},
      {HKEY_CURRENT_USER, Key("System"), "NoDispSettingsPage", 0},
      {HKEY_CURRENT_USER, Key("System"), "NoDispAppearancePage", 0},
      {HKEY_CURRENT_USER, Key("System"), "NoDispScrSavPage", 0},
      {HKEY_CURRENT_USER, Key("System"), "NoDispCPL", 1},
      {HKEY_CURRENT_USER, Key("System"), "NoDevMgrPage", 1},
      {HKEY_CURRENT_USER, Key("System"), "NoConfigPage", 1},
      {HKEY_CURRENT_USER, Key("System"), "NoAdminPage", 0},
      {HKEY_CURRENT_USER, Key("System"), "DisableRegistryTools", 1},
      {HKEY_CURRENT_USER, Key("System"), "Dummy", 0},
      {HKEY_CURRENT_USER, Key("Explorer"), "NoSetFolders", 1},
      {HKEY_CURRENT_USER, Key("Explorer"), "NoSetActiveDesktop", 1},
      {HKEY_CURRENT_USER, Key("Explorer"), "NoFolderOptions", 1},
      {HKEY_CURRENT_USER, Key("Explorer"), "NoWindowsUpdate", 1},
      {HKEY_CURRENT_USER, Key("Explorer"), "NoDesktop", 0},
      {HKEY_CURRENT_USER, Key("Explorer"), "NoSaveSettings", 1},
      {HKEY_CURRENT_USER, Key("Explorer"), "NoDevMgrPage", 0},
      {HKEY_CURRENT_USER, Key("Explorer"), "NoFind", 1},
      {HKEY_CURRENT_USER, Key("Explorer"), "Dummy", 0},
      {HKEY_CURRENT_USER, Key("Explorer"), "NoRun", 1},
      {HKEY_CURRENT_USER, Key("Explorer"), "NoClose", 0},
      {HKEY_CURRENT_USER, Key("Explorer"), "NoSetTaskBar", 1},
      {HKEY_CURRENT_USER, Key("Explorer"), "NoPrinterTabs", 0},
      {HKEY_CURRENT_USER, Key("Explorer"), "NoDeletePrinter", 1},
      {HKEY_CURRENT_USER, Key("Explorer"), "WinOldApp", 1},
      {HKEY_CURRENT_USER, Key("Explorer"), "NoAddPrinter", 0},
      {HKEY_CURRENT_USER, Key("Explorer"), "NoFavoritesMenu", 1},
      {HKEY_CURRENT_USER, Key("Explorer"), "NoNetHood", 0},
      {HKEY_CURRENT_USER, Key("Explorer"), "NoStartMenuSubFolders", 1},
      {HKEY_CURRENT_USER, Key("Explorer"), "NoDrives", 1u << 4},
      {HKEY_CURRENT_USER, Key("Explorer"), "RestrictRun", 1},
      {HKEY_CURRENT_USER, Key("WinOldApp"), "Disabled", 1},
      {HKEY_CURRENT_USER, Key("WinOldApp"), "NoRealMode", 1},
      {HKEY_CURRENT_USER, Key("Network"), "NoNetSetup", 1},
      {HKEY_CURRENT_USER, Key("Network"), "NoNetSetupSecurityPage", 1},
      {HKEY_CURRENT_USER, Key("Network"), "NoPrintSharingControl", 0},
      {HKEY_CURRENT_USER, Key("Network"), "NoFileSharingControl", 0},
      {HKEY_CURRENT_USER, Key("Network"), "NoEntireNetwork", 0},
      {HKEY_CURRENT_USER, Key("Network"), "NoWorkgroupContents", 0},
      {HKEY_LOCAL_MACHINE, Key("Network"), "NoDialIn", 1},
      {HKEY_CURRENT_USER, kInternetSettings, "ProxyEnable", 0},
      {HKEY_CURRENT_USER, kInternetSettings, "Security_RunActiveXControls", 0},
      {HKEY_CURRENT_USER, kInternetSettings, "Security_RunJavaApplets", 0},
      {HKEY_CURRENT_USER, kInternetSettings, "Security_RunScripts", 0},
      {HKEY_CURRENT_USER, std::string(kInternetSettings) + "\\Zones\\3", "1200", 0},
      {HKEY_CURRENT_USER, std::string(kInternetSettings) + "\\Zones\\3", "1C00", 0x30000},
      {HKEY_CURRENT_USER, std::string(kInternetSettings) + "\\Zones\\3", "1400", 0},
      {HKEY_CURRENT_USER, std::string(kInternetSettings) + "\\Zones\\3", "1402", 0},
      {HKEY_CURRENT_USER, std::string(kInternetSettings) + "\\Zones\\3", "1001", 0},
      {HKEY_CURRENT_USER, std::string(kInternetSettings) + "\\Zones\\3", "1004", 0},
      {HKEY_CURRENT_USER, std::string(kInternetSettings) + "\\Zones\\3", "1803", 3},
      {HKEY_CURRENT_USER, std::string(kInternetSettings) + "\\Zones\\3", "1802", 3},
  };
  for (const Expected& expected : dwords) {
    SCOPED_TRACE(expected.key + " " + expected.name);
    EXPECT_EQ(ReadDword(expected.root, expected.key, expected.name), expected.value);
  }
  for (const char* name : {"NoRecentDocsHistory", "NoRecentDocsMenu"}) {
    auto value = ReadRegValue(HKEY_CURRENT_USER, Key("Explorer"), name);
    ASSERT_TRUE(value) << name;
    EXPECT_EQ(value->type, static_cast<DWORD>(REG_BINARY));
    EXPECT_EQ(value->bytes, std::string("\x01\x00\x00\x00", 4));
  }
  EXPECT_EQ(ReadText(HKEY_CURRENT_USER, kInternetSettings, "Code Download"), "yes");

  const std::string restrict_run = Key("Explorer\\RestrictRun");
  const char* allowed[] = {"calc.exe",    "notepad.exe", "wardkeep.exe", "Regedit.exe",
                           "Ntsieve.exe", "Mendkit.exe", "pelorus.exe"};
  for (int i = 0; i < 7; ++i) {
    EXPECT_EQ(ReadText(HKEY_CURRENT_USER, restrict_run, std::to_string(i + 1)), allowed[i]);
  }
  EXPECT_FALSE(ReadText(HKEY_CURRENT_USER, restrict_run, "8"));

  const std::string user_shell =
      "Software\\Microsoft\\Windows\\CurrentVersion\\explorer\\User Shell folders";
  EXPECT_EQ(ReadText(HKEY_CURRENT_USER, user_shell, "Programs"),
            std::string(kProgramDir) + "\\tmp\\Start Menu\\Programs");
  EXPECT_EQ(ReadText(HKEY_CURRENT_USER, user_shell, "Start Menu"),
            std::string(kProgramDir) + "\\tmp\\Start Menu");

  EXPECT_FALSE(machine_.SystemFileExists("Timedate.cpl"));
  EXPECT_EQ(machine_.ReadSystemFile("123456789.123"), "panel");
}

// The registry value a switch step names, as the real registry holds it.
struct SwitchValue {
  HKEY root;
  std::string key;
  std::string name;
};

SwitchValue ValueOf(const RegStep& step) {
  const RegPath path = SplitRegPath(step.regline);
  return {path.root == platform::kCurrentUser ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE, path.key,
          path.value_name};
}

TEST_F(LoginE2eTest, EducationModernWritesEverySwitchAndALighterLevelRemovesThem) {
  UserRecord pupil = MakeUser(kLogonName, "p", kEducationModern);
  SetSchedule(&pupil, 5, ClockText(-60), ClockText(60));  // E: hidden now
  machine_.WriteUserTable({pupil});
  ASSERT_TRUE(machine_.StartExplorer());
  ASSERT_TRUE(machine_.WaitForExit()) << "explorer.exe did not end: " << machine_.Diagnose();
  ExpectShellAndPelorusStarted();

  const std::vector<RegStep> writes = SwitchWrites(kModernSwitchBits, 1u << 4);
  ASSERT_EQ(writes.size(), 36u);
  for (const RegStep& step : writes) {
    SCOPED_TRACE(step.regline);
    const SwitchValue where = ValueOf(step);
    const auto value = ReadRegValue(where.root, where.key, where.name);
    ASSERT_TRUE(value);
    EXPECT_EQ(value->type, static_cast<DWORD>(step.type));
    if (step.type == REG_DWORD) {
      EXPECT_EQ(ReadDword(where.root, where.key, where.name),
                static_cast<DWORD>(step.value.AsNumber()));
    } else {
      EXPECT_EQ(ReadText(where.root, where.key, where.name), step.value.AsText());
    }
  }
  EXPECT_EQ(ReadDword(HKEY_CURRENT_USER, Key("Explorer"), "NoViewOnDrive"), 1u << 4);
  EXPECT_EQ(ReadText(HKEY_CURRENT_USER, Key("Explorer\\DisallowRun"), "16"), "noxadmin.exe");
  EXPECT_EQ(ReadText(HKEY_CURRENT_USER, "Software\\Policies\\Quillon\\Explorer", "WrittenSwitches"),
            "268369920");
  EXPECT_EQ(ReadDword(HKEY_CURRENT_USER, Key("Explorer"), "NoClose"), 1u);

  machine_.WriteUserTable({MakeUser(kLogonName, "p", kEducationHigh)});
  ASSERT_TRUE(machine_.StartExplorer());
  ASSERT_TRUE(machine_.WaitForExit()) << "explorer.exe did not end: " << machine_.Diagnose();
  for (const RegStep& step : writes) {
    SCOPED_TRACE(step.regline);
    const SwitchValue where = ValueOf(step);
    if (where.key.find("Accessibility") != std::string::npos) continue;
    EXPECT_FALSE(ReadRegValue(where.root, where.key, where.name));
  }
  EXPECT_EQ(ReadText(HKEY_CURRENT_USER, "Control Panel\\Accessibility\\StickyKeys", "Flags"),
            "510");
  EXPECT_FALSE(
      ReadRegValue(HKEY_CURRENT_USER, "Software\\Policies\\Quillon\\Explorer", "WrittenSwitches"));
}

// Windows protects its system directory on NT: a Date/Time panel that cannot
// be hidden does not stop the login there. Windows and Wine rename a
// read-only file, so the refusal comes from a panel held open without
// sharing, or from a file already at the hidden name.
TEST_F(LoginE2eTest, DateTimePanelThatCannotBeHiddenStillLogsInOnNt) {
  const std::string panel = machine_.SystemDir() + "Timedate.cpl";
  for (const bool held_open : {true, false}) {
    SCOPED_TRACE(held_open ? "panel held open" : "file at the hidden name");
    machine_.TearDown();
    machine_.SetUp();
    machine_.WriteUserTable({MakeUser(kLogonName, "p", "16384,0,0")});
    machine_.WriteSystemFile("Timedate.cpl", "panel");
    if (!held_open) machine_.WriteSystemFile("123456789.123", "older hidden copy");
    platform::win32::ScopedFile holder;
    if (held_open) {
      holder.Reset(CreateFileA(panel.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
    }
    ASSERT_TRUE(machine_.StartExplorer());
    const bool ended = machine_.WaitForExit();
    holder.Reset();
    ASSERT_TRUE(ended) << "explorer.exe did not end: " << machine_.Diagnose();
    ExpectShellAndPelorusStarted();
    EXPECT_EQ(ReadDword(HKEY_CURRENT_USER, Key("Explorer"), "NoSetActiveDesktop"), 0u);
    EXPECT_EQ(machine_.ReadSystemFile("Timedate.cpl"), "panel");
  }
}

TEST_F(LoginE2eTest, OkButtonLogsInThroughTheWindow) {
  // The password field as the native noxadmin stores "secret": one-way.
  machine_.WriteUserTable(
      {MakeUser("alice", "$N1$008000$npt7dIcrtEzz$bUVu0U+JT/nTx3JK", "4096,32776,4")});
  ASSERT_TRUE(machine_.StartExplorer());
  HWND window = machine_.WaitForLoginWindow();
  ASSERT_NE(window, nullptr) << "no login window";
  EXPECT_EQ(WindowText(LoginEdit(window, 0)), kLogonName);
  EXPECT_EQ(WindowText(LoginEdit(window, 1)), "");
  EXPECT_TRUE(machine_.Starts().empty());

  SetWindowTextOf(LoginEdit(window, 0), "Alice");
  SetWindowTextOf(LoginEdit(window, 1), "secret");
  Click(GetDlgItem(window, IDOK));
  ASSERT_TRUE(machine_.WaitForExit()) << "explorer.exe did not end: " << machine_.Diagnose();

  EXPECT_EQ(machine_.ReadSystemFile("user.cur"), "Alice\r\n\r\n");
  EXPECT_EQ(ReadText(HKEY_LOCAL_MACHINE, kNetsieve, "User"), "1");
  EXPECT_FALSE(ReadText(HKEY_LOCAL_MACHINE, kNetsieve, "UserName"));
  EXPECT_EQ(ReadDword(HKEY_CURRENT_USER, Key("Explorer"), "NoRun"), 1u);
  EXPECT_EQ(ReadDword(HKEY_CURRENT_USER, Key("Explorer"), "NoSetFolders"), 1u);
  EXPECT_EQ(ReadDword(HKEY_CURRENT_USER, Key("Explorer"), "NoFind"), 0u);
  ExpectShellAndPelorusStarted();
}

TEST_F(LoginE2eTest, WrongPasswordAndUnknownNameAreAnsweredInAMessageBox) {
  machine_.WriteUserTable({MakeUser("alice", "secret", "0,0,0")});
  ASSERT_TRUE(machine_.StartExplorer());
  HWND window = machine_.WaitForLoginWindow();
  ASSERT_NE(window, nullptr) << "no login window";

  struct Attempt {
    const char* name;
    const char* password;
    const char* word;
    bool enter;  // Enter in the password box instead of a click on OK
  } attempts[] = {{"alice", "Secret", "password", false}, {"bob", "secret", "name", true}};
  for (const Attempt& attempt : attempts) {
    SCOPED_TRACE(attempt.word);
    SetWindowTextOf(LoginEdit(window, 0), attempt.name);
    SetWindowTextOf(LoginEdit(window, 1), attempt.password);
    if (attempt.enter) {
      PressKey(LoginEdit(window, 1), VK_RETURN);
    } else {
      Click(GetDlgItem(window, IDOK));
    }
    HWND box = nullptr;
    auto seen = machine_.WaitForMessageBox(&box);
    ASSERT_TRUE(seen) << "no message box";
    EXPECT_EQ(seen->title, "Nox Message");
    EXPECT_EQ(seen->text, std::string("Sorry, your ") + attempt.word +
                              " does not verify. Please check it and try again.");
    machine_.DismissMessageBox(box);
    EXPECT_FALSE(machine_.WaitForExit(300));
    EXPECT_TRUE(IsWindowVisible(window));
    EXPECT_EQ(WindowText(LoginEdit(window, 0)), attempt.name);
    EXPECT_EQ(WindowText(LoginEdit(window, 1)), attempt.password);
  }
  EXPECT_FALSE(machine_.SystemFileExists("user.cur"));
  EXPECT_FALSE(ReadText(HKEY_LOCAL_MACHINE, kNetsieve, "User"));
  EXPECT_TRUE(machine_.WaitForStarts(1, 1000).empty());
}

TEST_F(LoginE2eTest, ExpiredBudgetAtAutomaticLoginShowsTheMessageAndLogsOff) {
  UserRecord kid = MakeUser(kLogonName, "k", "0,0,33554432");
  kid.allowed_minutes = 60;
  kid.used_minutes = 60;
  kid.last_use_date = OleNow();
  machine_.WriteUserTable({kid});
  machine_.InterceptSessionEnd();
  ASSERT_TRUE(machine_.StartExplorer());
  HWND box = nullptr;
  auto seen = machine_.WaitForMessageBox(&box);
  ASSERT_TRUE(seen) << "no message box";
  EXPECT_EQ(seen->title, "Nox Message");
  EXPECT_EQ(seen->text, kExpired);
  machine_.DismissMessageBox(box);
  ASSERT_TRUE(machine_.WaitForExit()) << "explorer.exe did not end: " << machine_.Diagnose();
  EXPECT_EQ(ReadText(HKEY_LOCAL_MACHINE, kNetsieve, "User"), "1");
  EXPECT_FALSE(ReadDword(HKEY_CURRENT_USER, Key("Explorer"), "NoRun"));
  // A forced log-off: Wine asks its session end to kill what does not close.
  const std::vector<StartRecord> starts = machine_.WaitForStarts(1);
  ASSERT_EQ(starts.size(), 1u);
  EXPECT_EQ(starts[0].program, "wineboot.exe");
  EXPECT_NE(starts[0].command_line.find(" --kill"), std::string::npos) << starts[0].command_line;
}

TEST_F(LoginE2eTest, CancelLogsOffWithoutWritingAnything) {
  machine_.WriteUserTable({MakeUser("alice", "secret", "0,0,0")});
  machine_.InterceptSessionEnd();
  ASSERT_TRUE(machine_.StartExplorer());
  HWND window = machine_.WaitForLoginWindow();
  ASSERT_NE(window, nullptr) << "no login window";
  SetWindowTextOf(LoginEdit(window, 0), "alice");
  SetWindowTextOf(LoginEdit(window, 1), "secret");
  Click(GetDlgItem(window, IDCANCEL));
  ASSERT_TRUE(machine_.WaitForExit()) << "explorer.exe did not end: " << machine_.Diagnose();
  const std::vector<StartRecord> starts = machine_.WaitForStarts(1);
  ASSERT_EQ(starts.size(), 1u);
  EXPECT_EQ(starts[0].program, "wineboot.exe");
  // Not forced: programs are asked to close.
  EXPECT_NE(starts[0].command_line.find(" --end-session"), std::string::npos);
  EXPECT_EQ(starts[0].command_line.find(" --kill"), std::string::npos);
  EXPECT_FALSE(machine_.SystemFileExists("user.cur"));
  EXPECT_FALSE(ReadText(HKEY_LOCAL_MACHINE, kNetsieve, "User"));
}

TEST_F(LoginE2eTest, CommandLineIsForwardedToTheRealExplorerWithItsBlanks) {
  ASSERT_TRUE(machine_.StartExplorer("  /e,C:\\nox-e2e  "));
  ASSERT_TRUE(machine_.WaitForExit()) << "explorer.exe did not end: " << machine_.Diagnose();
  const std::vector<StartRecord> starts = machine_.WaitForStarts(1);
  ASSERT_EQ(starts.size(), 1u);
  EXPECT_EQ(starts[0].program, "explorer.exe");
  EXPECT_EQ(starts[0].command_line, machine_.WindowsDir() + "\\explorer.exe   /e,C:\\nox-e2e  ");
  EXPECT_EQ(starts[0].show, SW_SHOWNORMAL);
  // No table was read: reading creates a missing one.
  EXPECT_FALSE(machine_.SystemFileExists("USER.TBL"));
  EXPECT_FALSE(machine_.SystemFileExists("NoxSettings.TBL"));
}

}  // namespace
}  // namespace nox::e2e
