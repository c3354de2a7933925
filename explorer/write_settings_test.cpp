// One WriteSettings for every named level and for "Administrator": the
// complete registry, the files and the program starts it leaves behind,
// against a table worked out by hand from the catalogue, the bit rules and
// the level table (not from the code).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/runtime_error.h"
#include "explorer/frm_login.h"
#include "explorer/write_settings_test_support.h"

namespace nox::write_settings_test {
namespace {

// Columns of the level strings below, in this order.
struct LevelColumn {
  const char* name;
  const char* user_name_box;
  const char* stored_triple;
};

const LevelColumn kColumns[] = {
    {"None", "bob", "0,0,0"},
    {"HomeHigh", "bob", "20752,57359,1049029"},
    {"HomeMed", "bob", "4111,8206,960"},
    {"HomeLow", "bob", "4096,32782,197"},
    {"OfficeHigh", "bob", "12304,57359,1049045"},
    {"OfficeMed", "bob", "4104,40974,196"},
    {"OfficeLow", "bob", "4096,32776,4"},
    {"EducationHigh", "bob", "53520,63759,3670485"},
    {"EducationMed", "bob", "36880,43011,1049045"},
    {"EducationLow", "bob", "4104,34817,197"},
    {"Administrator", "Administrator", "53520,63759,3670485"},
    {"EducationModern", "bob", "53520,268433679,3670493"},
};

// One registry value: for column i, '1' means `on`, '0' means `off`, '-'
// means the value does not exist.
struct Row {
  std::string key;
  std::string name;
  uint32_t type;
  std::string on;
  std::string off;
  const char* levels;
};

constexpr uint32_t kSz = platform::kRegSz;
constexpr uint32_t kBin = platform::kRegBinary;
constexpr uint32_t kDw = platform::kRegDword;

std::vector<Row> LevelRows() {
  const std::string system = std::string(kPolicies) + "System";
  const std::string explorer = std::string(kPolicies) + "Explorer";
  const std::string winoldapp = std::string(kPolicies) + "WinOldApp";
  const std::string network = std::string(kPolicies) + "Network";
  const std::string settings =
      "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
  const std::string zone = settings + "\\Zones\\3";
  const std::string user_shell =
      "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\explorer\\User Shell "
      "folders";
  const std::string on = Dword(1), off = Dword(0), three = Dword(3);
  std::vector<Row> rows = {
      //                                                       N HH HM HL OH OM OL EH EM EL AD EMo
      {system, "NoDispBackgroundPage", kDw, on, off, /*  */ "001000000000"},
      {system, "NoDispSettingsPage", kDw, on, off, /*    */ "001000000000"},
      {system, "NoDispAppearancePage", kDw, on, off, /*  */ "001000000000"},
      {system, "NoDispScrSavPage", kDw, on, off, /*      */ "001001000100"},
      {system, "NoDispCPL", kDw, on, off, /*             */ "010010011001"},
      {system, "Dummy", kDw, on, off, /*                 */ "000000000000"},
      {system, "NoDevMgrPage", kDw, on, off, /*          */ "011111010001"},
      {system, "NoConfigPage", kDw, on, off, /*          */ "011111110001"},
      {system, "NoAdminPage", kDw, on, off, /*           */ "000000000000"},
      {system, "DisableRegistryTools", kDw, on, off, /*  */ "011111011101"},
      {explorer, "NoSetFolders", kDw, on, off, /*        */ "011111111101"},
      {explorer, "Dummy", kDw, on, off, /*               */ "000000000000"},
      {explorer, "NoDesktop", kDw, on, off, /*           */ "000010000000"},
      {explorer, "NoSaveSettings", kDw, on, off, /*      */ "011111011101"},
      {explorer, "NoDevMgrPage", kDw, on, off, /*        */ "000000000000"},
      {explorer, "NoFind", kDw, on, off, /*              */ "010110011101"},
      {explorer, "NoRun", kDw, on, off, /*               */ "010111111101"},
      {explorer, "NoClose", kDw, on, off, /*             */ "000000000001"},
      {explorer, "NoSetTaskBar", kDw, on, off, /*        */ "000010011001"},
      {explorer, "NoPrinterTabs", kDw, on, off, /*       */ "000000000000"},
      {explorer, "NoDeletePrinter", kDw, on, off, /*     */ "011111011101"},
      {explorer, "WinOldApp", kDw, on, off, /*           */ "011010011001"},
      {explorer, "NoAddPrinter", kDw, on, off, /*        */ "001000000000"},
      {explorer, "NoRecentDocsHistory", kBin, on, off, /**/ "010010010001"},
      {explorer, "NoRecentDocsMenu", kBin, on, off, /*   */ "010010010001"},
      {explorer, "NoFavoritesMenu", kDw, on, off, /*     */ "010010010001"},
      {explorer, "NoSetActiveDesktop", kDw, on, off, /*  */ "010111111101"},
      {explorer, "NoFolderOptions", kDw, on, off, /*     */ "010111111101"},
      {explorer, "NoWindowsUpdate", kDw, on, off, /*     */ "010111111101"},
      {explorer, "NoStartMenuSubFolders", kDw, on, off, "011011011001"},
      {winoldapp, "Disabled", kDw, on, off, /*           */ "011010011001"},
      {winoldapp, "NoRealMode", kDw, on, off, /*         */ "011010011001"},
      {network, "NoNetSetup", kDw, on, off, /*           */ "011111011001"},
      {network, "NoPrintSharingControl", kDw, on, off, "000000000000"},
      {network, "NoFileSharingControl", kDw, on, off, /* */ "000000000000"},
      {network, "NoNetSetupSecurityPage", kDw, on, off, "000000011101"},
      {"HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Network",
       "NoDialIn", kDw, on, off, /*                      */ "000000010001"},
      {settings, "ProxyEnable", kDw, on, off, /*         */ "000000000000"},
      {settings, "Security_RunActiveXControls", kDw, on, off, "000000000000"},
      {settings, "Security_RunJavaApplets", kDw, on, off, "000000000000"},
      {settings, "Security_RunScripts", kDw, on, off, /* */ "000000000000"},
      {settings, "Code Download", kSz, Sz("no"), Sz("yes"), "000000000000"},
      {zone, "1200", kDw, three, off, /*                 */ "000000000000"},
      {zone, "1C00", kDw, off, Dword(0x30000), /*        */ "000000000000"},
      {zone, "1400", kDw, three, off, /*                 */ "000000000000"},
      {zone, "1402", kDw, three, off, /*                 */ "000000000000"},
      {zone, "1001", kDw, three, off, /*                 */ "000000000000"},
      {zone, "1004", kDw, three, off, /*                 */ "000000000000"},
      {zone, "1803", kDw, three, off, /*                 */ "000000010001"},
      {zone, "1802", kDw, three, off, /*                 */ "000000010001"},
      {"HKEY_LOCAL_MACHINE\\Software\\Quillon\\Netsieve\\CurrentVersion", "Logging", kSz, Sz("1"),
       Sz("0"), /*                                        */ "010000010001"},
      {"HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\explorer\\Desktop\\"
       "NameSpace\\{450d8fba-ad25-11d0-98a8-0800361b1103}",
       "", kSz, Sz("My Documents"), "", /*               */ "1-11-11-111-"},
      {user_shell, "Programs", kSz, Sz(kNoxPrograms), Sz(kStandardPrograms), "011011011001"},
      {user_shell, "Start Menu", kSz, Sz(kNoxMenu), Sz(kStandardMenu), "000000010001"},
  };
  // The switches of mask 2 bits 16 to 27, written only by Education Modern.
  const char* kModern = "-----------1";
  const std::string policies = "HKEY_CURRENT_USER\\Software\\Policies\\";
  const std::string accessibility = "HKEY_CURRENT_USER\\Control Panel\\Accessibility\\";
  rows.insert(
      rows.end(),
      {
          {system, "DisableTaskMgr", kDw, on, "", kModern},
          {system, "DisableChangePassword", kDw, on, "", kModern},
          {policies + "Microsoft\\Windows\\System", "DisableCMD", kDw, on, "", kModern},
          {explorer, "NoControlPanel", kDw, on, "", kModern},
          {explorer, "NoWinKeys", kDw, on, "", kModern},
          {explorer, "NoTrayContextMenu", kDw, on, "", kModern},
          {explorer, "DisallowRun", kDw, on, "", kModern},
          {explorer, "NoViewOnDrive", kDw, Dword(8), "", kModern},
          {explorer, "NoStartMenuMorePrograms", kDw, on, "", kModern},
          {"HKEY_CURRENT_USER\\Software\\Microsoft\\Windows Script Host\\Settings", "Enabled", kSz,
           Sz("0"), "", kModern},
          {policies + "Microsoft\\Windows\\RemovableStorageDevices", "Deny_All", kDw, on, "",
           kModern},
          {accessibility + "StickyKeys", "Flags", kSz, Sz("506"), "", kModern},
          {accessibility + "Keyboard Response", "Flags", kSz, Sz("122"), "", kModern},
          {accessibility + "ToggleKeys", "Flags", kSz, Sz("58"), "", kModern},
          {policies + "Quillon\\Explorer", "WrittenSwitches", kSz, Sz("268369920"), "", kModern},
      });
  for (const char* browser : {"Microsoft\\Edge", "Google\\Chrome"}) {
    rows.push_back({policies + browser, "DownloadRestrictions", kDw, three, "", kModern});
    rows.push_back({policies + browser, "DeveloperToolsAvailability", kDw, Dword(2), "", kModern});
    rows.push_back({policies + browser + "\\URLBlocklist", "1", kSz, Sz("file://*"), "", kModern});
  }
  const char* kRefused[] = {
      "powershell.exe", "powershell_ise.exe", "pwsh.exe",    "wt.exe",      "cmd.exe",
      "wscript.exe",    "cscript.exe",        "mshta.exe",   "regedit.exe", "reg.exe",
      "mmc.exe",        "taskmgr.exe",        "control.exe", "msiexec.exe", "Clearway.exe",
      "noxadmin.exe"};
  for (int i = 0; i < 16; ++i) {
    rows.push_back(
        {explorer + "\\DisallowRun", std::to_string(i + 1), kSz, Sz(kRefused[i]), "", kModern});
  }
  return rows;
}

// Files by level: Timedate.cpl hidden, recent documents deleted, boot menu
// locked ("0").
constexpr const char* kDateTimeHidden = "010000010001";
constexpr const char* kRecentCleared = "010010010001";
constexpr const char* kBootLocked = "010010011001";

// Values every level leaves the same: the arranged ones and those that do
// not depend on the triple.
RegistryDump CommonValues() {
  RegistryDump dump;
  const auto put = [&](const std::string& key, const std::string& name, uint32_t type,
                       const std::string& data) {
    dump[Upper(key + "|" + name)] = {type, data};
  };
  const std::string shell_folders =
      "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
  put(shell_folders, "Programs", kSz, Sz(kStandardPrograms));
  put(shell_folders, "Start Menu", kSz, Sz(kStandardMenu));
  put(shell_folders, "Recent", kSz, Sz(kRecentFolder));
  put(shell_folders, "WinMenu Programs", kSz, Sz(kStandardPrograms));
  put(shell_folders, "NoxMenu Programs", kSz, Sz(kNoxPrograms));
  put(shell_folders, "WinStart Menu", kSz, Sz(kStandardMenu));
  put(shell_folders, "NoxStart Menu", kSz, Sz(kNoxMenu));
  put("HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Internet Explorer", "Version", kSz,
      Sz("5.00.2919.6307"));
  const std::string explorer = std::string(kPolicies) + "Explorer";
  put(explorer, "NoDrives", kDw, Dword(8));
  put(explorer, "NoNetHood", kDw, Dword(0));
  put(std::string(kPolicies) + "Network", "NoEntireNetwork", kDw, Dword(1));
  put(std::string(kPolicies) + "Network", "NoWorkgroupContents", kDw, Dword(1));
  put(explorer, "RestrictRun", kDw, Dword(1));
  const char* kAllowed[] = {"calc.exe",    "notepad.exe", "wardkeep.exe", "Regedit.exe",
                            "Ntsieve.exe", "Mendkit.exe", "pelorus.exe"};
  for (int i = 0; i < 7; ++i) {
    put(explorer + "\\RestrictRun", std::to_string(i + 1), kSz, Sz(kAllowed[i]));
  }
  return dump;
}

RegistryDump ExpectedRegistry(size_t column) {
  RegistryDump dump = CommonValues();
  for (const Row& row : LevelRows()) {
    const char state = row.levels[column];
    if (state == '-') continue;
    dump[Upper(row.key + "|" + row.name)] = {row.type, state == '1' ? row.on : row.off};
  }
  return dump;
}

std::vector<std::string> ExpectedFiles(size_t column) {
  std::vector<std::string> files = {"C:\\IO.SYS", "C:\\MSDOS.SYS", "C:\\WINDOWS\\SYSTEM\\3.TBL"};
  files.push_back(kDateTimeHidden[column] == '1' ? "C:\\WINDOWS\\SYSTEM\\123456789.123"
                                                 : "C:\\WINDOWS\\SYSTEM\\TIMEDATE.CPL");
  if (kRecentCleared[column] == '0') {
    files.push_back(std::string(kRecentFolder) + "\\a.lnk");
    files.push_back("C:\\WINDOWS\\Recent\\b.lnk");
  }
  for (std::string& file : files) file = Upper(file);
  std::sort(files.begin(), files.end());
  return files;
}

std::vector<std::string> ActualFiles() {
  std::vector<std::string> files;
  for (const std::string& file : fake::AllFiles()) files.push_back(Upper(file));
  std::sort(files.begin(), files.end());
  return files;
}

void ExpectSameRegistry(const RegistryDump& expected, const RegistryDump& actual) {
  for (const auto& [name, value] : expected) {
    auto found = actual.find(name);
    if (found == actual.end()) {
      ADD_FAILURE() << "missing " << name;
    } else {
      EXPECT_EQ(found->second.first, value.first) << "type of " << name;
      EXPECT_EQ(found->second.second, value.second) << "data of " << name;
    }
  }
  for (const auto& [name, value] : actual) {
    if (!expected.count(name)) ADD_FAILURE() << "unexpected " << name;
  }
}

class LevelTest : public ::testing::TestWithParam<size_t> {
 protected:
  void SetUp() override { ArrangeMachine(); }
};

TEST_P(LevelTest, LeavesExactlyTheLevelsValuesFilesAndStarts) {
  const size_t column = GetParam();
  const LevelColumn& level = kColumns[column];
  frmLogin form;
  LogIn(form, level.user_name_box, BobRecord(level.stored_triple));

  EXPECT_THROW(form.WriteSettings(), fake::ProgramEnded);

  // The undo journals hold the state from before the login (their entries
  // are checked beside the journal's own code); here only that they exist.
  RegistryDump actual = DumpRegistry();
  for (const char* journal : {"HKEY_CURRENT_USER\\SOFTWARE\\QUILLON\\NOX\\JOURNAL|ENTRIES",
                              "HKEY_LOCAL_MACHINE\\SOFTWARE\\QUILLON\\NOX\\JOURNAL\\MACHINE|ENTRIES"}) {
    EXPECT_EQ(actual.erase(journal), 1u) << journal;
  }
  ExpectSameRegistry(ExpectedRegistry(column), actual);
  EXPECT_EQ(ActualFiles(), ExpectedFiles(column));
  const std::string boot = kBootLocked[column] == '1' ? "0" : "1";
  EXPECT_EQ(fake::FileBytes("C:\\MSDOS.SYS"), MsdosSys(boot));
  uint32_t attributes = 0;
  ASSERT_EQ(platform::GetFileAttributes("C:\\MSDOS.SYS", &attributes), platform::kSuccess);
  EXPECT_EQ(attributes & (platform::kAttrReadOnly | platform::kAttrHidden | platform::kAttrSystem),
            0u);
  EXPECT_TRUE(fake::DirectoryExists("C:\\NOX\\tmp\\Start Menu"));
  EXPECT_FALSE(fake::DirectoryExists("C:\\NOX\\tmp\\sub"));
  EXPECT_FALSE(fake::DirectoryExists("C:\\NOX\\tmp\\Start Menu\\Programs"));

  const auto& starts = fake::ProgramStarts();
  ASSERT_EQ(starts.size(), 2u);
  EXPECT_EQ(starts[0].command_line, "C:\\WINDOWS\\explorer.exe");
  EXPECT_EQ(starts[0].state, platform::WindowState::kMaximizedFocus);
  EXPECT_EQ(starts[1].command_line, "C:\\NOX\\pelorus.exe");
  EXPECT_EQ(starts[1].state, platform::WindowState::kMinimizedFocus);
  EXPECT_EQ(fake::ProgramEndCode(), 0);
  EXPECT_EQ(form.List1.items, (std::vector<std::string>{"ABCNox Disc 1", "ABCGame Disc"}));
  EXPECT_EQ(fake::OpenRegKeyCount(), 0u);
}

INSTANTIATE_TEST_SUITE_P(AllLevels, LevelTest, ::testing::Range<size_t>(0, std::size(kColumns)),
                         [](const ::testing::TestParamInfo<size_t>& info) {
                           return std::string(kColumns[info.param].name);
                         });

TEST(LevelTableTest, EveryRowHasAColumnPerLevel) {
  for (const Row& row : LevelRows()) {
    EXPECT_EQ(std::string(row.levels).size(), std::size(kColumns)) << row.name;
  }
}

}  // namespace
}  // namespace nox::write_settings_test
