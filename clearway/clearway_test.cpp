#include "clearway/clearway.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "clearway/snare/snare_internal.h"
#include "common/modern_switches.h"
#include "platform/fake/fake_control.h"

namespace nox::clearway {
namespace {

namespace fake = platform::fake;

constexpr const char* kPoliciesPath =
    "Current_User,Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\";
constexpr const char* kPolicies = "Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\";
constexpr const char* kExplorer = "Software\\Microsoft\\Windows\\CurrentVersion\\explorer\\";
constexpr const char* kInternet = "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
constexpr const char* kMyDocumentsKey =
    "Software\\Microsoft\\Windows\\CurrentVersion\\explorer\\Desktop\\NameSpace\\"
    "{450d8fba-ad25-11d0-98a8-0800361b1103}";
constexpr const char* kSystem = "C:\\WINDOWS\\SYSTEM\\";
constexpr const char* kRefusal = "Invalid Password, try again!";

// The uninstaller's reset list, index 1 to 43, written out from its
// definition rather than taken from the code under test. Entries without a
// root are under the current user's Policies key.
constexpr const char* kResetEntries[43] = {
    "System,NoDispBackgroundPage",
    "System,NoDispSettingsPage",
    "System,NoDispAppearancePage",
    "System,NoDispScrSavPage",
    "System,NoDispCPL",
    "Explorer,NoSaveSettings",
    "Explorer,NoSetFolders",
    "Explorer,Dummy",
    "Explorer,Dummy",
    "Explorer,Dummy",
    "Explorer,Dummy",
    "Explorer,Dummy",
    "Explorer,Dummy",
    "Explorer,NoSetFolders",
    "Explorer,NoDesktop",
    "System,Dummy",
    "winoldapp,Disabled",
    "Explorer,NoSaveSettings",
    "Network,NoNetSetup",
    "System,NoDevMgrPage",
    "System,NoConfigPage",
    "Explorer,NoDevMgrPage",
    "Explorer,NoConfigPage",
    "Explorer,Dummy",
    "Explorer,NoAdminPage",
    "HKLM Network,NoDialIn",
    "network,NoPrintSharingControl",
    "network,NoFileSharingControl",
    "Network,NoNetSetup",
    "Explorer,Dummy",
    "Explorer,Dummy",
    "Explorer,Dummy",
    "Explorer,NoSetFolders",
    "Explorer,NoFind",
    "Explorer,Dummy",
    "Explorer,NoRun",
    "Explorer,NoClose",
    "Explorer,NoSetTaskBar",
    "Explorer,NoPrinterTabs",
    "system,DisableRegistryTools",
    "Explorer,NoDeletePrinter",
    "Explorer,WinOldApp",
    "Explorer,NoAddPrinter",
};

// The registry path strings of the list.
std::vector<std::string> ResetPaths() {
  std::vector<std::string> paths;
  for (std::string entry : kResetEntries) {
    const bool machine = entry.rfind("HKLM ", 0) == 0;
    paths.push_back(machine
                        ? "Local_Machine,Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\" +
                              entry.substr(5)
                        : kPoliciesPath + entry);
  }
  return paths;
}

int32_t NOX_STDCALL AcceptsSecret(const char* candidate) {
  return std::string(candidate) == "secret" ? -1 : 0;
}
int32_t NOX_STDCALL NothingStored(const char*) { return -2; }

std::string Dword(uint32_t value) { return std::string(reinterpret_cast<const char*>(&value), 4); }
std::string Sz(const std::string& text) { return text + std::string(1, '\0'); }

// The value's type and bytes as "type:bytes", or nullopt when missing.
std::optional<std::string> Value(platform::RegKey root, const std::string& key,
                                 const std::string& name) {
  auto value = fake::RegGetValue(root, key, name);
  if (!value) return std::nullopt;
  return std::to_string(value->type) + ":" + value->data;
}
std::string DwordValue(uint32_t value) { return "4:" + Dword(value); }
std::string TextValue(const std::string& text) { return "1:" + Sz(text); }

void PutValue(platform::RegKey root, const std::string& key, const std::string& name, uint32_t type,
              const std::string& data) {
  platform::ScopedRegKey opened;
  platform::RegCreateKey(root, key, opened.receive());
  platform::RegSetValue(opened.get(), name, type, data);
}

// What a restrictive login leaves: policy values at 1, the saved Start-menu
// folders, the allowed-program list, the hidden Date/Time panel.
void ArrangeRestrictedMachine() {
  for (const std::string& entry : ResetPaths()) {
    const RegPath path = SplitRegPath(entry);
    PutValue(path.root, path.key, path.value_name, platform::kRegDword, Dword(1));
  }
  PutValue(platform::kCurrentUser, std::string(kPolicies) + "System", "NoAdminPage",
           platform::kRegDword, Dword(1));
  PutValue(platform::kCurrentUser, std::string(kPolicies) + "Network", "NoNetSetupSecurityPage",
           platform::kRegDword, Dword(1));
  PutValue(platform::kCurrentUser, std::string(kPolicies) + "Explorer\\RestrictRun", "1",
           platform::kRegSz, Sz("calc.exe"));
  for (auto [root, folder, menu] :
       {std::tuple{platform::kCurrentUser, "Programs", "Start Menu"},
        std::tuple{platform::kLocalMachine, "Common Programs", "Common Start Menu"}}) {
    const std::string shell = std::string(kExplorer) + "Shell folders";
    PutValue(root, shell, folder, platform::kRegSz, Sz("C:\\NOX\\tmp\\Start Menu\\Programs"));
    PutValue(root, shell, menu, platform::kRegSz, Sz("C:\\NOX\\tmp\\Start Menu"));
    PutValue(root, shell, "WinMenu Programs", platform::kRegSz,
             Sz(std::string("C:\\STD\\") + folder));
    PutValue(root, shell, "WinStart Menu", platform::kRegSz, Sz(std::string("C:\\STD\\") + menu));
    PutValue(root, shell, "NoxMenu Programs", platform::kRegSz,
             Sz("C:\\NOX\\tmp\\Start Menu\\Programs"));
    PutValue(root, shell, "NoxStart Menu", platform::kRegSz, Sz("C:\\NOX\\tmp\\Start Menu"));
  }
  fake::PutFile(std::string(kSystem) + "123456789.123", "panel");
  // Two users' hives: the reset runs three passes.
  for (const char* hive : {".DEFAULT", "S-1-5-21-7"}) {
    PutValue(platform::kUsers, std::string(hive) + "\\Software", "x", platform::kRegSz, Sz("x"));
  }
}

constexpr const char* kTableFiles[] = {"user.tbl",        "user.tbB", "pwd.tbl", "user.cur",
                                       "NoxSettings.tbl", "1.tbl",    "1.KWt",   "1.tbb",
                                       "1.kwb",           "1.pmk",    "1.pmb",   "2.tbl"};

class ClearwayTest : public ::testing::Test {
 public:
  void SetUp() override {
    fake::Reset();
    ResetSnare();  // every run is a program start
    for (const char* file : kTableFiles) fake::PutFile(std::string(kSystem) + file, "table");
    ArrangeRestrictedMachine();
  }

  // Runs the uninstaller to its end; false when it did not end.
  bool Run(const std::string& command_line) {
    try {
      UninstallMain(command_line);
    } catch (const fake::ProgramEnded& ended) {
      EXPECT_EQ(ended.exit_code, 0);
      return true;
    }
    return false;
  }

  void ExpectRefused() {
    ASSERT_EQ(fake::MessageBoxes().size(), 1u);
    EXPECT_EQ(fake::MessageBoxes()[0].text, kRefusal);
    EXPECT_EQ(fake::MessageBoxes()[0].title, "Login");
    EXPECT_EQ(fake::MessageBoxes()[0].flags, platform::kMbOk);
    for (const char* file : kTableFiles) EXPECT_TRUE(fake::FileExists(std::string(kSystem) + file));
    EXPECT_EQ(Value(platform::kCurrentUser, std::string(kPolicies) + "System", "NoDispCPL"),
              DwordValue(1));
  }

  void ExpectReset() {
    EXPECT_TRUE(fake::MessageBoxes().empty());
    for (const std::string& entry : ResetPaths()) {
      const RegPath path = SplitRegPath(entry);
      EXPECT_EQ(Value(path.root, path.key, path.value_name), DwordValue(0)) << entry;
    }
  }

  std::string Policy(const char* key) { return std::string(kPolicies) + key; }
};

TEST_F(ClearwayTest, EmptyCommandLineIsRefusedBeforeAnything) {
  fake::RegisterLibraryExport("Tessel.DLL", "CheckPassword",
                              reinterpret_cast<void*>(&NothingStored));
  ASSERT_TRUE(Run(""));
  ExpectRefused();
}

TEST_F(ClearwayTest, PasswordGate) {
  struct Case {
    const char* command_line;
    void* check;  // the CheckPassword export; null: Tessel.DLL lacks it
    bool goes_on;
    bool deletes_tables;
  } cases[] = {
      {"wrong", reinterpret_cast<void*>(&AcceptsSecret), false, false},
      {"Secret", reinterpret_cast<void*>(&AcceptsSecret), false, false},
      {"secret", reinterpret_cast<void*>(&AcceptsSecret), true, true},
      {"anything", reinterpret_cast<void*>(&NothingStored), true, true},
      {"secret", nullptr, false, false},
      {"secret /u", reinterpret_cast<void*>(&AcceptsSecret), true, false},
      {"wrong /U  ", reinterpret_cast<void*>(&AcceptsSecret), true, false},
      {"/u", nullptr, true, false},
      {"x/U", nullptr, true, false},
      {"/U x", reinterpret_cast<void*>(&AcceptsSecret), false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.command_line);
    SetUp();
    if (c.check != nullptr) fake::RegisterLibraryExport("Tessel.DLL", "CheckPassword", c.check);
    ASSERT_TRUE(Run(c.command_line));
    if (!c.goes_on) {
      ExpectRefused();
      continue;
    }
    ExpectReset();
    EXPECT_EQ(fake::FileExists(std::string(kSystem) + "user.tbl"), !c.deletes_tables);
  }
}

TEST_F(ClearwayTest, UninstallSwitchIsTheTrimmedLastTwoCharacters) {
  EXPECT_TRUE(EndsInUninstallSwitch("/U"));
  EXPECT_TRUE(EndsInUninstallSwitch("  pass word /u   "));
  EXPECT_TRUE(EndsInUninstallSwitch("abc/U"));
  EXPECT_FALSE(EndsInUninstallSwitch("/U\t"));
  EXPECT_FALSE(EndsInUninstallSwitch("U"));
  EXPECT_FALSE(EndsInUninstallSwitch(""));
  EXPECT_FALSE(EndsInUninstallSwitch("   "));
  EXPECT_FALSE(EndsInUninstallSwitch("/ U"));
  EXPECT_FALSE(EndsInUninstallSwitch("\\U"));
}

TEST_F(ClearwayTest, CommandLinesOfAnyLengthAndBytesAreSafe) {
  fake::RegisterLibraryExport("Tessel.DLL", "CheckPassword",
                              reinterpret_cast<void*>(&AcceptsSecret));
  std::string bytes;
  for (int i = 0; i < 70000; ++i) bytes.push_back(static_cast<char>(i * 7 + 1));
  for (const std::string& line :
       {bytes, bytes + "/u", std::string("a\0b", 3), std::string(1, '\xff')}) {
    SetUp();
    EXPECT_TRUE(Run(line));
  }
}

TEST_F(ClearwayTest, NumberedFilesStopAtTheFirstNumberWithNoneLeft) {
  fake::Reset();
  for (const char* file : {"1.tbl", "2.KWt", "4.tbl", "user.tbB", "NoxSettings.tbl"}) {
    fake::PutFile(std::string(kSystem) + file, "x");
  }
  fake::RegisterLibraryExport("Tessel.DLL", "CheckPassword",
                              reinterpret_cast<void*>(&AcceptsSecret));
  ASSERT_TRUE(Run("secret"));
  EXPECT_EQ(fake::AllFiles(), std::vector<std::string>{std::string(kSystem) + "4.tbl"});
}

TEST_F(ClearwayTest, RestrictiveValuesGoBackToOff) {
  fake::RegisterLibraryExport("Tessel.DLL", "CheckPassword",
                              reinterpret_cast<void*>(&AcceptsSecret));
  PutValue(platform::kLocalMachine, "Software\\Microsoft\\Internet Explorer", "version",
           platform::kRegSz, Sz("  4.72.3110.1 "));
  ASSERT_TRUE(Run("secret"));
  ExpectReset();
  const auto hkcu = platform::kCurrentUser;
  struct Expected {
    const char* key;
    const char* name;
    std::string value;
  } expected[] = {
      {"Explorer", "NoDrives", DwordValue(0)},
      {"System", "NoVirtMemPage", DwordValue(0)},
      {"WinOldApp", "NoRealMode", DwordValue(0)},
      {"Explorer", "NoRecentDocsHistory", "3:" + Dword(0)},
      {"Explorer", "NoRecentDocsMenu", "3:" + Dword(0)},
      {"Explorer", "NoFavoritesMenu", DwordValue(0)},
      {"Explorer", "NoSetActiveDesktop", DwordValue(0)},
      {"Explorer", "NoFolderOptions", DwordValue(0)},
      {"Explorer", "NoWindowsUpdate", DwordValue(0)},
      {"Network", "NoEntireNetwork", DwordValue(0)},
      {"Network", "NoWorkgroupContents", DwordValue(0)},
      {"Explorer", "NoNetHood", DwordValue(0)},
      {"Explorer", "RestrictRun", DwordValue(0)},
      {"Explorer", "NoStartMenuSubFolders", DwordValue(0)},
      {"System", "Dummy", DwordValue(0)},
      {"Explorer", "Dummy", DwordValue(0)},
      // Outside the list: as the last login wrote them.
      {"System", "NoAdminPage", DwordValue(1)},
      {"Network", "NoNetSetupSecurityPage", DwordValue(1)},
  };
  for (const Expected& e : expected) {
    EXPECT_EQ(Value(hkcu, Policy(e.key), e.name), e.value) << e.key << "\\" << e.name;
  }
  EXPECT_FALSE(fake::RegKeyExists(hkcu, Policy("Explorer\\RestrictRun")));
  EXPECT_EQ(Value(platform::kLocalMachine, Policy("Network"), "NoDialIn"), DwordValue(0));

  for (const char* name :
       {"Security_RunActiveXControls", "Security_RunJavaApplets", "Security_RunScripts"}) {
    EXPECT_EQ(Value(hkcu, kInternet, name), DwordValue(0)) << name;
  }
  EXPECT_EQ(Value(hkcu, kInternet, "Code Download"), TextValue("yes"));
  const std::string zone = std::string(kInternet) + "\\Zones\\3";
  for (const char* name : {"1200", "1400", "1402", "1001", "1004", "1803", "1802"}) {
    EXPECT_EQ(Value(hkcu, zone, name), DwordValue(0)) << name;
  }
  EXPECT_EQ(Value(hkcu, zone, "1C00"), DwordValue(0x30000));

  EXPECT_TRUE(fake::FileExists(std::string(kSystem) + "Timedate.cpl"));
  EXPECT_FALSE(fake::FileExists(std::string(kSystem) + "123456789.123"));
  EXPECT_EQ(fake::ProgramEndCode(), 0);
}

TEST_F(ClearwayTest, ModernSwitchesAreRemovedAndTheAccessibilityFlagsPutBack) {
  for (const RegStep& step : SwitchWrites(kModernSwitchBits, 8)) {
    RunRegStep(step, RegFlavor::kUninstaller);
  }
  RegWrite(kWrittenSwitches, "268369920", platform::kRegSz);
  ASSERT_TRUE(Run("x /U"));
  const std::string accessibility = "Control Panel\\Accessibility\\";
  const std::pair<std::string, const char*> kDefaults[] = {
      {"StickyKeys", "510"}, {"Keyboard Response", "126"}, {"ToggleKeys", "62"}};
  for (const auto& [key, flags] : kDefaults) {
    EXPECT_EQ(Value(platform::kCurrentUser, accessibility + key, "Flags"), TextValue(flags)) << key;
  }
  for (const RegStep& step : SwitchWrites(kModernSwitchBits, 8)) {
    const RegPath path = SplitRegPath(step.regline);
    if (path.key.find("Accessibility") != std::string::npos) continue;
    EXPECT_FALSE(Value(path.root, path.key, path.value_name)) << step.regline;
  }
  EXPECT_FALSE(fake::RegKeyExists(platform::kCurrentUser, Policy("Explorer\\DisallowRun")));
  EXPECT_FALSE(fake::RegKeyExists(platform::kCurrentUser,
                                  "Software\\Policies\\Google\\Chrome\\URLBlocklist"));
  EXPECT_FALSE(fake::RegKeyExists(platform::kCurrentUser,
                                  "Software\\Policies\\Microsoft\\Edge\\URLBlocklist"));
  EXPECT_FALSE(
      Value(platform::kCurrentUser, "Software\\Policies\\Quillon\\Explorer", "WrittenSwitches"));
}

TEST_F(ClearwayTest, InternetZoneOnlyAboveVersionFourSeven) {
  struct Case {
    const char* version;  // null: no version value
    bool zone_written;
  } cases[] = {{"4.72.3110.1", true}, {"4.70.1300", false}, {"5.50.4134.0100", true},
               {"4.7", false},        {"4", false},         {nullptr, false},
               {"abc", false},        {"10.0", true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.version ? c.version : "(none)");
    SetUp();
    if (c.version != nullptr) {
      PutValue(platform::kLocalMachine, "Software\\Microsoft\\Internet Explorer", "version",
               platform::kRegSz, Sz(c.version));
    }
    ASSERT_TRUE(Run("any /U"));
    EXPECT_EQ(
        fake::RegGetValue(platform::kCurrentUser, std::string(kInternet) + "\\Zones\\3", "1C00")
            .has_value(),
        c.zone_written);
  }
}

TEST_F(ClearwayTest, WindowsVersionCode) {
  struct Case {
    platform::OsVersion version;
    int32_t code;
  } cases[] = {
      {{platform::kPlatformWindows, 4, 0, 950}, 95},
      {{platform::kPlatformWindows, 4, 10, 1998}, 98},
      {{platform::kPlatformWindows, 4, 90, 3000}, 0},
      {{platform::kPlatformNt, 4, 0, 1381}, 40},
      {{platform::kPlatformNt, 3, 51, 1057}, 351},
      {{platform::kPlatformNt, 5, 1, 2600}, 0},
      {{platform::kPlatformWin32s, 3, 10, 0}, 0},
  };
  for (const Case& c : cases) {
    fake::SetOsVersion(c.version);
    EXPECT_EQ(WindowsVersionCode(), c.code)
        << c.version.platform_id << " " << c.version.major << "." << c.version.minor;
  }
  fake::SetOsVersionFails(true);
  EXPECT_EQ(WindowsVersionCode(), 0);
}

TEST_F(ClearwayTest, StartMenuScopesAndMyDocumentsByWindowsVersion) {
  struct Case {
    platform::OsVersion version;
    bool all_users_restored;
    bool my_documents;
  } cases[] = {
      {{platform::kPlatformWindows, 4, 0, 950}, false, false},
      {{platform::kPlatformWindows, 4, 10, 1998}, false, true},
      {{platform::kPlatformNt, 4, 0, 1381}, true, false},
      {{platform::kPlatformNt, 3, 51, 1057}, true, false},
      {{platform::kPlatformNt, 6, 1, 7601}, false, false},
  };
  const std::string user_shell = std::string(kExplorer) + "User Shell folders";
  const std::string shell = std::string(kExplorer) + "Shell folders";
  const auto hklm = platform::kLocalMachine;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.version.major * 100 + c.version.minor);
    SetUp();
    fake::SetOsVersion(c.version);
    ASSERT_TRUE(Run("x /u"));
    EXPECT_EQ(Value(hklm, kMyDocumentsKey, ""),
              c.my_documents ? std::optional(TextValue("My Documents")) : std::nullopt);
    if (c.all_users_restored) {
      EXPECT_EQ(Value(hklm, user_shell, "Common Programs"), TextValue("C:\\STD\\Common Programs"));
      EXPECT_EQ(Value(hklm, user_shell, "Common Start Menu"),
                TextValue("C:\\STD\\Common Start Menu"));
      EXPECT_EQ(Value(hklm, Policy("explorer"), "NoStartMenuSubFolders"), DwordValue(0));
    } else {
      EXPECT_FALSE(fake::RegKeyExists(hklm, user_shell));
      EXPECT_TRUE(Value(hklm, shell, "WinMenu Programs").has_value());
    }
    // The current user's folders: restored; on Windows 9x then set to the
    // Windows directory's own Start menu, in both keys. NT keeps a
    // profile's Start menu elsewhere: there the restored folders stay, and
    // "Shell folders" is left to Windows.
    const auto hkcu = platform::kCurrentUser;
    if (c.version.platform_id == platform::kPlatformWindows) {
      for (const std::string& key : {user_shell, shell}) {
        EXPECT_EQ(Value(hkcu, key, "Programs"), TextValue("C:\\WINDOWS\\start menu\\programs"));
        EXPECT_EQ(Value(hkcu, key, "Start Menu"), TextValue("C:\\WINDOWS\\start menu"));
      }
    } else {
      EXPECT_EQ(Value(hkcu, user_shell, "Programs"), TextValue("C:\\STD\\Programs"));
      EXPECT_EQ(Value(hkcu, user_shell, "Start Menu"), TextValue("C:\\STD\\Start Menu"));
      EXPECT_EQ(Value(hkcu, shell, "Programs"), TextValue("C:\\NOX\\tmp\\Start Menu\\Programs"));
      EXPECT_EQ(Value(hkcu, shell, "Start Menu"), TextValue("C:\\NOX\\tmp\\Start Menu"));
    }
    for (const char* saved :
         {"NoxMenu Programs", "WinMenu Programs", "NoxStart Menu", "WinStart Menu"}) {
      EXPECT_FALSE(Value(hkcu, shell, saved).has_value()) << saved;
      EXPECT_EQ(Value(hklm, shell, saved).has_value(), !c.all_users_restored) << saved;
    }
  }
}

TEST_F(ClearwayTest, RestoreStartMenuFallsBackToTheCurrentFolders) {
  const std::string shell = std::string(kExplorer) + "Shell folders";
  const std::string user_shell = std::string(kExplorer) + "User Shell folders";
  const auto hkcu = platform::kCurrentUser;
  // Nothing saved (or blanks): the current folders are written back.
  PutValue(hkcu, shell, "WinMenu Programs", platform::kRegSz, Sz("   "));
  platform::ScopedRegKey key;
  platform::RegOpenKey(hkcu, shell, platform::kKeyAllAccess, key.receive());
  platform::RegDeleteValue(key.get(), "WinStart Menu");
  key.Reset();
  RestoreStartMenu(1);
  EXPECT_EQ(Value(hkcu, user_shell, "Programs"), TextValue("C:\\NOX\\tmp\\Start Menu\\Programs"));
  EXPECT_EQ(Value(hkcu, user_shell, "Start Menu"), TextValue("C:\\NOX\\tmp\\Start Menu"));

  // A folder known nowhere is not replaced by blanks.
  fake::Reset();
  RestoreStartMenu(1);
  EXPECT_FALSE(fake::RegKeyExists(hkcu, user_shell));
  EXPECT_EQ(Value(hkcu, Policy("explorer"), "NoStartMenuSubFolders"), DwordValue(0));
  EXPECT_EQ(fake::OpenRegKeyCount(), 0u);
}

TEST_F(ClearwayTest, RegWriteStoresTypesAsTheLoginDoes) {
  fake::Reset();
  struct Case {
    RegValue value;
    int32_t type;
    std::string stored;
  } cases[] = {
      {1, 4, "4:" + std::string("\x01\0\0\0", 4)},
      {0x30000, 4, "4:" + std::string("\0\0\x03\0", 4)},
      {0, 3, "3:" + std::string(4, '\0')},
      {"3", 4, "4:" + std::string("\x03\0\0\0", 4)},
      {1, 1, "1:" + std::string("1\0", 2)},
      {"My Documents", 1, TextValue("My Documents")},
  };
  for (const Case& c : cases) {
    clearway::RegWrite("current_user,Software\\Nox Test,v", c.value, c.type);
    EXPECT_EQ(Value(platform::kCurrentUser, "Software\\Nox Test", "v"), c.stored)
        << c.value.AsText();
  }
  // An unknown root writes nothing and raises nothing to the caller.
  clearway::RegWrite("HKEY_CURRENT_USER,Software\\Nox Test,w", 1, 4);
  EXPECT_FALSE(Value(platform::kCurrentUser, "Software\\Nox Test", "w").has_value());
  EXPECT_EQ(dectoHextoDec(0x30000), std::string("\0\0\x03", 3));
  EXPECT_EQ(fake::OpenRegKeyCount(), 0u);
}

TEST_F(ClearwayTest, BootOptionsAreSwitchedOn) {
  fake::PutFile("C:\\MSDOS.SYS", "[Options]\r\nBootMulti=0\r\n");
  ASSERT_TRUE(Run("x /U"));
  const auto msdos = fake::FileBytes("C:\\MSDOS.SYS");
  ASSERT_TRUE(msdos.has_value());
  EXPECT_NE(msdos->find("BootMulti=1"), std::string::npos);
  EXPECT_NE(msdos->find("BootWarn=1"), std::string::npos);
  EXPECT_NE(msdos->find("BootKeys=1"), std::string::npos);
}

// The trace lines of a run with SNCLIENT.INI writing every call to disk,
// arguments on or off; the blank lines between them left out.
std::vector<std::string> TraceOfRun(ClearwayTest& test, bool arguments) {
  fake::PutFile("C:\\NOX\\SNCLIENT.INI",
                std::string("[log file]\r\nWrite To Disk=1\r\nCapture To Disk=1\r\n"
                            "Log File=trace.log\r\n[include]\r\nArguments=") +
                    (arguments ? "1" : "0") + "\r\nResources=0\r\nMemory=0\r\nUser=0\r\n");
  EXPECT_TRUE(test.Run("x /U"));
  std::vector<std::string> lines;
  std::istringstream trace(fake::FileBytes("C:\\NOX\\trace.log").value_or(""));
  for (std::string line; std::getline(trace, line);) {
    if (line.size() > 1) lines.push_back(line.substr(0, line.size() - 1));
  }
  return lines;
}

// What follows "->" and the level's tabs on entry lines of `routine`.
std::vector<std::string> Entries(const std::vector<std::string>& lines,
                                 const std::string& routine) {
  std::vector<std::string> entries;
  for (const std::string& line : lines) {
    const size_t arrow = line.find("->");
    if (arrow == std::string::npos) continue;
    const std::string entry = line.substr(line.find_first_not_of('\t', arrow + 2));
    if (entry.rfind(routine, 0) == 0) entries.push_back(entry);
  }
  return entries;
}

TEST_F(ClearwayTest, TraceShowsEveryWriteWithItsArgumentsInOrder) {
  const std::vector<std::string> lines = TraceOfRun(*this, true);
  const std::vector<std::string> writes = Entries(lines, "hidea : Sub RegWrite : ");
  const std::string head = "hidea : Sub RegWrite : (regline=";
  std::vector<std::string> expected = {head + kPoliciesPath +
                                       "Explorer,NoDrives, regvalue=0, dwtype=4)"};
  for (const std::string& entry : ResetPaths()) {
    expected.push_back(head + entry + ", regvalue=0, dwtype=4)");
  }
  expected.push_back(head + kPoliciesPath + "System,NoVirtMemPage, regvalue=0, dwtype=4)");
  expected.push_back(head + kPoliciesPath + "WinOldApp,NoRealMode, regvalue=0, dwtype=4)");
  expected.push_back(head + kPoliciesPath + "Explorer,NoRecentDocsHistory, regvalue=0, dwtype=3)");
  ASSERT_GE(writes.size(), expected.size());
  EXPECT_EQ(std::vector(writes.begin(), writes.begin() + expected.size()), expected);
  // One pass per HKEY_USERS subkey, plus one.
  EXPECT_EQ(std::count(writes.begin(), writes.end(), expected[0]), 3);
  // Every number is converted by its own traced call, right after the entry.
  size_t conversions = 0;
  for (size_t i = 0; i + 1 < lines.size(); ++i) {
    if (lines[i].find("Sub RegWrite : (") == std::string::npos ||
        lines[i].find("<-") != std::string::npos) {
      continue;
    }
    const bool number = lines[i].find("dwtype=1)") == std::string::npos;
    const std::string& next = lines[i + 1];
    EXPECT_EQ(next.find("->") != std::string::npos &&
                  next.find("\thidea : Function dectoHextoDec : (value=0)") != std::string::npos,
              number)
        << lines[i];
    conversions += number;
  }
  EXPECT_EQ(Entries(lines, "hidea : Function dectoHextoDec : ").size(), conversions);
  EXPECT_EQ(Entries(lines, "Clearway : Sub main : ()").size(), 1u);
  EXPECT_EQ(Entries(lines, "hide : Sub RestoreStartMenu : (scope=1)").size(), 3u);
}

TEST_F(ClearwayTest, TraceWithoutArgumentsNamesTheRoutinesOnly) {
  const size_t with_arguments = Entries(TraceOfRun(*this, true), "hidea : Sub RegWrite").size();
  SetUp();
  const std::vector<std::string> lines = TraceOfRun(*this, false);
  EXPECT_EQ(Entries(lines, "hidea : Sub RegWrite").size(), with_arguments);
  for (const std::string& line : lines) EXPECT_EQ(line.find("regline="), std::string::npos) << line;
}

}  // namespace
}  // namespace nox::clearway

namespace nox::clearway {
namespace {

TEST(ResetListTest, IsTheListAsDefined) {
  const std::vector<std::string> expected = ResetPaths();
  EXPECT_EQ(std::vector<std::string>(ResetList().begin(), ResetList().end()), expected);
}

}  // namespace
}  // namespace nox::clearway
