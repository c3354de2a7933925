// Clearway.exe end to end in the Wine prefix: the refusals through the real
// message box, the right password after a restrictive login (checked value
// by value), no stored password, "/u", and the Windows 98 and NT 4 modes.
// These logins leave no undo journal, as a Nox before the journal did: the
// uninstall then resets every value (exact undo: undo_e2e_test.cpp).
#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <string>

#include "common/modern_switches.h"
#include "platform/win32/scoped_handles.h"
#include "tests/e2e/e2e_machine.h"

namespace nox::e2e {
namespace {

using platform::win32::ScopedFile;
using platform::win32::ScopedKey;
using platform::win32::ScopedLibrary;

constexpr const char* kPolicies = "Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\";
constexpr const char* kInternetSettings =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
constexpr const char* kShellFolders =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
constexpr const char* kUserShellFolders =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
constexpr const char* kMyDocumentsKey =
    "Software\\Microsoft\\Windows\\CurrentVersion\\explorer\\Desktop\\NameSpace\\"
    "{450d8fba-ad25-11d0-98a8-0800361b1103}";
constexpr const char* kWineKey = "Software\\Wine";
constexpr const char* kEducationHigh = "53520,63759,3670485";
constexpr const char* kPassword = "secret";
// The numbered files go from 1 up to the first number with none: 1.TBL keeps
// the way to the pupil's 2.TBL open.
constexpr const char* kTables[] = {"USER.TBL", "1.TBL", "2.TBL", "user.cur", "NoxSettings.TBL"};

std::string Policy(const char* key) { return std::string(kPolicies) + key; }

// The administrator password stored through Tessel.dll, as noxadmin does.
void StorePassword(const std::string& password) {
  const ScopedLibrary tessel(LoadLibraryA((std::string(kProgramDir) + "\\Tessel.dll").c_str()));
  ASSERT_TRUE(tessel.valid());
  using SetPasswordFn = int32_t(__stdcall*)(char*);
  auto set = reinterpret_cast<SetPasswordFn>(
      reinterpret_cast<void*>(GetProcAddress(tessel.get(), "SetPassword")));
  ASSERT_NE(set, nullptr);
  char buffer[81] = {};
  std::memcpy(buffer, password.data(), password.size());
  EXPECT_EQ(set(buffer), -1);
}

class ClearwayE2eTest : public ::testing::Test {
 protected:
  void SetUp() override {
    machine_.SetUp();
    for (const char* table : kTables) machine_.WriteSystemFile(table, "table");
  }
  void TearDown() override {
    ScopedKey wine;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kWineKey, 0, KEY_ALL_ACCESS, wine.receive()) ==
        ERROR_SUCCESS) {
      RegDeleteValueA(wine.get(), "Version");
    }
    DeleteRegTree(HKEY_LOCAL_MACHINE, kMyDocumentsKey);
    machine_.TearDown();
  }

  // A restrictive automatic login of "pupil" through explorer.exe.
  void LogInRestrictively(const char* triple = kEducationHigh) {
    UserRecord pupil = MakeUser(LogonName(), "p", triple);
    pupil.program_list_count = 1;
    pupil.allowed_program_count = 1;
    machine_.WriteUserTable({MakeUser("teacher", "t", "0,0,0"), pupil});
    machine_.WriteSystemFile(
        "2.TBL", "\"head\",\"head\"\r\n01 MATHS\r\n\"calc.exe\",\"False\",\"a\",\"b\"\r\n");
    machine_.WriteSystemFile("Timedate.cpl", "panel");
    WriteRegText(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Internet Explorer", "version",
                 "5.50.4134.0100");
    standard_programs_ = ReadText(HKEY_CURRENT_USER, kShellFolders, "Programs");
    standard_menu_ = ReadText(HKEY_CURRENT_USER, kShellFolders, "Start Menu");
    ASSERT_TRUE(machine_.StartExplorer());
    ASSERT_TRUE(machine_.WaitForExit()) << machine_.Diagnose();
    ASSERT_EQ(ReadDword(HKEY_CURRENT_USER, Policy("System"), "NoDispCPL"), 1u);
    ASSERT_TRUE(machine_.SystemFileExists("123456789.123"));
    DeleteRegTree(HKEY_CURRENT_USER, "Software\\Quillon\\Nox\\Journal");
    DeleteRegTree(HKEY_LOCAL_MACHINE, "Software\\Quillon\\Nox\\Journal");
  }

  void RunClearway(const std::string& arguments) {
    ASSERT_TRUE(machine_.StartProgram("Clearway.exe", arguments));
    ASSERT_TRUE(machine_.WaitForExit()) << machine_.Diagnose();
    EXPECT_EQ(machine_.ExitCode(), 0u);
  }

  void ExpectRefusedThroughTheBox(const std::string& arguments) {
    ASSERT_TRUE(machine_.StartProgram("Clearway.exe", arguments));
    HWND box = nullptr;
    auto seen = machine_.WaitForMessageBox(&box);
    ASSERT_TRUE(seen.has_value()) << "no message box";
    EXPECT_EQ(seen->title, "Login");
    EXPECT_EQ(seen->text, "Invalid Password, try again!");
    machine_.DismissMessageBox(box);
    ASSERT_TRUE(machine_.WaitForExit());
    EXPECT_EQ(machine_.ExitCode(), 0u);
    for (const char* table : kTables) EXPECT_TRUE(machine_.SystemFileExists(table)) << table;
  }

  void ExpectTablesDeleted(bool deleted) {
    for (const char* table : kTables) {
      EXPECT_EQ(machine_.SystemFileExists(table), !deleted) << table;
    }
  }

  // Every value the run resets, as the run leaves it.
  void ExpectEverythingOff() {
    struct Expected {
      const char* key;
      const char* name;
    } dwords[] = {
        {"Explorer", "NoDrives"},
        {"System", "NoDispBackgroundPage"},
        {"System", "NoDispSettingsPage"},
        {"System", "NoDispAppearancePage"},
        {"System", "NoDispScrSavPage"},
        {"System", "NoDispCPL"},
        {"Explorer", "NoSaveSettings"},
        {"Explorer", "NoSetFolders"},
        {"Explorer", "Dummy"},
        {"Explorer", "NoDesktop"},
        {"System", "Dummy"},
        {"WinOldApp", "Disabled"},
        {"Network", "NoNetSetup"},
        {"System", "NoDevMgrPage"},
        {"System", "NoConfigPage"},
        {"Explorer", "NoDevMgrPage"},
        {"Explorer", "NoConfigPage"},
        {"Explorer", "NoAdminPage"},
        {"Network", "NoPrintSharingControl"},
        {"Network", "NoFileSharingControl"},
        {"Explorer", "NoFind"},
        {"Explorer", "NoRun"},
        {"Explorer", "NoClose"},
        {"Explorer", "NoSetTaskBar"},
        {"Explorer", "NoPrinterTabs"},
        {"System", "DisableRegistryTools"},
        {"Explorer", "NoDeletePrinter"},
        {"Explorer", "WinOldApp"},
        {"Explorer", "NoAddPrinter"},
        {"System", "NoVirtMemPage"},
        {"WinOldApp", "NoRealMode"},
        {"Explorer", "NoFavoritesMenu"},
        {"Explorer", "NoSetActiveDesktop"},
        {"Explorer", "NoFolderOptions"},
        {"Explorer", "NoWindowsUpdate"},
        {"Network", "NoEntireNetwork"},
        {"Network", "NoWorkgroupContents"},
        {"Explorer", "NoNetHood"},
        {"Explorer", "RestrictRun"},
        {"Explorer", "NoStartMenuSubFolders"},
    };
    for (const Expected& e : dwords) {
      EXPECT_EQ(ReadDword(HKEY_CURRENT_USER, Policy(e.key), e.name), 0u) << e.key << "\\" << e.name;
    }
    EXPECT_EQ(ReadDword(HKEY_LOCAL_MACHINE, Policy("Network"), "NoDialIn"), 0u);
    for (const char* name : {"NoRecentDocsHistory", "NoRecentDocsMenu"}) {
      auto value = ReadRegValue(HKEY_CURRENT_USER, Policy("Explorer"), name);
      ASSERT_TRUE(value.has_value()) << name;
      EXPECT_EQ(value->type, static_cast<DWORD>(REG_BINARY)) << name;
      EXPECT_EQ(value->bytes, std::string(4, '\0')) << name;
    }
    EXPECT_FALSE(ReadRegValue(HKEY_CURRENT_USER, Policy("Explorer\\RestrictRun"), "1"));
    for (const char* name :
         {"Security_RunActiveXControls", "Security_RunJavaApplets", "Security_RunScripts"}) {
      EXPECT_EQ(ReadDword(HKEY_CURRENT_USER, kInternetSettings, name), 0u) << name;
    }
    EXPECT_EQ(ReadText(HKEY_CURRENT_USER, kInternetSettings, "Code Download"), "yes");
    // The standard folders the login saved; Windows 9x's own folders are
    // not written on NT.
    EXPECT_EQ(ReadText(HKEY_CURRENT_USER, kUserShellFolders, "Programs"), standard_programs_);
    EXPECT_EQ(ReadText(HKEY_CURRENT_USER, kUserShellFolders, "Start Menu"), standard_menu_);
    for (const char* saved :
         {"NoxMenu Programs", "WinMenu Programs", "NoxStart Menu", "WinStart Menu"}) {
      EXPECT_FALSE(ReadRegValue(HKEY_CURRENT_USER, kShellFolders, saved)) << saved;
    }
  }

  Machine machine_;
  std::optional<std::string> standard_programs_;
  std::optional<std::string> standard_menu_;
};

TEST_F(ClearwayE2eTest, EmptyCommandLineShowsTheLoginBox) { ExpectRefusedThroughTheBox(""); }

TEST_F(ClearwayE2eTest, WrongPasswordLeavesEverything) {
  StorePassword(kPassword);
  LogInRestrictively();
  ExpectRefusedThroughTheBox("Secret");
  EXPECT_EQ(ReadDword(HKEY_CURRENT_USER, Policy("System"), "NoDispCPL"), 1u);
}

TEST_F(ClearwayE2eTest, RightPasswordUndoesARestrictiveLoginValueByValue) {
  StorePassword(kPassword);
  LogInRestrictively();
  const auto education_values = ReadDword(HKEY_CURRENT_USER, Policy("System"), "NoAdminPage");
  RunClearway(kPassword);
  ExpectTablesDeleted(true);
  ExpectEverythingOff();
  // Outside the uninstaller's list: as the login wrote them.
  EXPECT_EQ(ReadDword(HKEY_CURRENT_USER, Policy("System"), "NoAdminPage"), education_values);
  const std::string zone = std::string(kInternetSettings) + "\\Zones\\3";
  EXPECT_EQ(ReadDword(HKEY_CURRENT_USER, zone, "1C00"), 0x30000u);
  for (const char* name : {"1200", "1400", "1402", "1001", "1004", "1803", "1802"}) {
    EXPECT_EQ(ReadDword(HKEY_CURRENT_USER, zone, name), 0u) << name;
  }
  EXPECT_TRUE(machine_.SystemFileExists("Timedate.cpl"));
  EXPECT_FALSE(machine_.SystemFileExists("123456789.123"));
}

TEST_F(ClearwayE2eTest, ModernSwitchesOfAnEducationModernLoginAreRemoved) {
  LogInRestrictively("53520,268433679,3670493");
  ASSERT_EQ(ReadDword(HKEY_CURRENT_USER, Policy("System"), "DisableTaskMgr"), 1u);
  RunClearway("x /U");
  ExpectEverythingOff();
  for (const RegStep& step : SwitchWrites(kModernSwitchBits, 0)) {
    const RegPath path = SplitRegPath(step.regline);
    if (path.key.find("Accessibility") != std::string::npos) continue;
    EXPECT_FALSE(ReadRegValue(HKEY_CURRENT_USER, path.key, path.value_name)) << step.regline;
  }
  const std::pair<const char*, const char*> kFlags[] = {
      {"StickyKeys", "510"}, {"Keyboard Response", "126"}, {"ToggleKeys", "62"}};
  for (const auto& [key, flags] : kFlags) {
    EXPECT_EQ(
        ReadText(HKEY_CURRENT_USER, std::string("Control Panel\\Accessibility\\") + key, "Flags"),
        flags);
  }
  for (const char* key :
       {"Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer\\DisallowRun",
        "Software\\Policies\\Microsoft\\Edge\\URLBlocklist",
        "Software\\Policies\\Google\\Chrome\\URLBlocklist"}) {
    ScopedKey opened;
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, key, 0, KEY_READ, opened.receive()),
              ERROR_FILE_NOT_FOUND)
        << key;
  }
  EXPECT_FALSE(
      ReadRegValue(HKEY_CURRENT_USER, "Software\\Policies\\Quillon\\Explorer", "WrittenSwitches"));
}

TEST_F(ClearwayE2eTest, NoStoredPasswordLetsAnyTextUninstall) {
  LogInRestrictively();
  RunClearway("anything at all");
  ExpectTablesDeleted(true);
  ExpectEverythingOff();
}

TEST_F(ClearwayE2eTest, UninstallSwitchSkipsThePasswordAndTheFiles) {
  StorePassword("other");
  LogInRestrictively();
  RunClearway("secret /u");
  ExpectTablesDeleted(false);
  ExpectEverythingOff();
}

TEST_F(ClearwayE2eTest, WindowsVersionModes) {
  struct Case {
    const char* wine_version;
    bool my_documents;
    bool all_users_restored;
  } cases[] = {{"win98", true, false}, {"nt40", false, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.wine_version);
    DeleteRegTree(HKEY_LOCAL_MACHINE, kMyDocumentsKey);
    WriteRegText(HKEY_LOCAL_MACHINE, kShellFolders, "WinMenu Programs", "C:\\Std\\Programs");
    WriteRegText(HKEY_LOCAL_MACHINE, kShellFolders, "WinStart Menu", "C:\\Std\\Start");
    WriteRegText(HKEY_CURRENT_USER, kWineKey, "Version", c.wine_version);
    RunClearway("x /U");
    EXPECT_EQ(ReadText(HKEY_LOCAL_MACHINE, kMyDocumentsKey, "").has_value(), c.my_documents);
    if (c.my_documents) {
      EXPECT_EQ(ReadText(HKEY_LOCAL_MACHINE, kMyDocumentsKey, ""), "My Documents");
    }
    EXPECT_EQ(
        ReadText(HKEY_LOCAL_MACHINE, kUserShellFolders, "Common Programs") == "C:\\Std\\Programs",
        c.all_users_restored);
    EXPECT_EQ(
        ReadText(HKEY_LOCAL_MACHINE, kUserShellFolders, "Common Start Menu") == "C:\\Std\\Start",
        c.all_users_restored);
    EXPECT_EQ(ReadRegValue(HKEY_LOCAL_MACHINE, kShellFolders, "WinMenu Programs").has_value(),
              !c.all_users_restored);
  }
}

// The trace written beside Clearway.exe, with the arguments on and off.
TEST_F(ClearwayE2eTest, TraceFileWithArgumentsOnAndOff) {
  const std::string folder = std::string(kProgramDir) + "\\";
  for (const bool arguments : {true, false}) {
    SCOPED_TRACE(arguments);
    DeleteFileA((folder + "trace.log").c_str());
    const std::string ini =
        std::string("[log file]\r\nWrite To Disk=1\r\nCapture To Disk=1\r\n") +
        "Log File=trace.log\r\n[include]\r\nArguments=" + (arguments ? "1" : "0") + "\r\n";
    ScopedFile file(CreateFileA((folder + "SNCLIENT.INI").c_str(), GENERIC_WRITE, 0, nullptr,
                                CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(file.valid());
    DWORD written = 0;
    WriteFile(file.get(), ini.data(), static_cast<DWORD>(ini.size()), &written, nullptr);
    file.Reset();
    RunClearway("x /U");
    std::string trace;
    char buffer[65536];
    file.Reset(CreateFileA((folder + "trace.log").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                           OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(file.valid());
    while (ReadFile(file.get(), buffer, sizeof buffer, &written, nullptr) && written > 0) {
      trace.append(buffer, written);
    }
    file.Reset();
    DeleteFileA((folder + "SNCLIENT.INI").c_str());
    // One pass per profile Windows lists, each starting with NoDrives.
    DWORD profiles = 0;
    ScopedKey list;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE,
                            "Software\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList", 0,
                            KEY_READ, list.receive()),
              ERROR_SUCCESS);
    RegQueryInfoKeyA(list.get(), nullptr, nullptr, nullptr, &profiles, nullptr, nullptr, nullptr,
                     nullptr, nullptr, nullptr, nullptr);
    list.Reset();
    const std::string no_drives =
        "->\thidea : Sub RegWrite : (regline=Current_User,Software\\Microsoft\\Windows\\"
        "CurrentVersion\\Policies\\Explorer,NoDrives, regvalue=0, dwtype=4)";
    size_t passes = 0;
    for (size_t at = trace.find(no_drives); at != std::string::npos;
         at = trace.find(no_drives, at + 1)) {
      ++passes;
    }
    EXPECT_EQ(passes, arguments ? profiles : 0u);
    EXPECT_NE(trace.find("->Clearway : Sub main"), std::string::npos);
    EXPECT_EQ(trace.find("regline=") != std::string::npos, arguments);
    EXPECT_NE(trace.find("\thidea : Sub RegWrite"), std::string::npos);
  }
}

}  // namespace
}  // namespace nox::e2e
