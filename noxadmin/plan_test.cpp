// "plan" against expectations worked out by hand from the level tables: for
// each bit of the triple, the catalogue entry, the bit's own handling and the
// final-value rules.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <sstream>

#include "noxadmin/test_support.h"

namespace nox::admin {
namespace {

using namespace testing_support;

constexpr const char* kCu = "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\";
constexpr const char* kLm = "HKEY_LOCAL_MACHINE\\Software\\";

// "KEY|name" -> the REGEDIT4 data text ("dword:00000001", "\"yes\"", "hex:..").
std::map<std::string, std::string> ParseRegFile(const std::string& text) {
  std::map<std::string, std::string> values;
  std::istringstream in(text);
  std::string key;
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.size() > 2 && line.front() == '[') {
      key = line.substr(1, line.size() - 2);
      continue;
    }
    if (line.empty() || line[0] == ';' || line == "REGEDIT4") continue;
    const size_t equals = line.find("\"=");
    const std::string name = line[0] == '@' ? "" : line.substr(1, equals - 1);
    const std::string data = line.substr(line[0] == '@' ? 2 : equals + 2);
    values[key + "|" + name] = data;
  }
  return values;
}

std::string Dword(int value) {
  char text[20];
  std::snprintf(text, sizeof text, "dword:%08x", value);
  return text;
}

struct Expected {
  std::string key;  // after the HKCU CurrentVersion prefix, or a full "HKEY_..." key
  std::string name;
  std::string data;
};

void ExpectValues(const std::map<std::string, std::string>& values,
                  const std::vector<Expected>& expected, const std::string& level) {
  for (const Expected& e : expected) {
    const std::string key = e.key.rfind("HKEY_", 0) == 0 ? e.key : kCu + e.key;
    const auto found = values.find(key + "|" + e.name);
    ASSERT_NE(found, values.end()) << level << ": " << key << " " << e.name;
    EXPECT_EQ(found->second, e.data) << level << ": " << key << " " << e.name;
  }
}

// Every catalogue value and every value with a handling of its own, for a
// triple's bits (given by hand, not computed).
struct LevelExpectation {
  // Policies\System
  int disp_background, disp_settings, disp_appearance, disp_scrsav, disp_cpl, sys_devmgr,
      sys_config, admin_page, sys_dummy, registry_tools;
  // Policies\Explorer
  int set_folders, active_desktop, folder_options, windows_update, no_desktop, save_settings,
      exp_devmgr, exp_dummy, find, run, close, taskbar, printer_tabs, delete_printer, winoldapp,
      add_printer, recent, start_sub_folders;
  // Policies\Network and the machine's NoDialIn
  int net_setup, net_security, print_sharing, file_sharing, dial_in;
  // Policies\WinOldApp
  int disabled, real_mode;
  // Internet Explorer
  int zone_1803, zone_1802;
  std::string logging;
};

std::vector<Expected> ValuesOf(const LevelExpectation& x) {
  const std::string recent_bytes = x.recent ? "hex:01,00,00,00" : "hex:00,00,00,00";
  return {
      {"Policies\\System", "NoDispBackgroundPage", Dword(x.disp_background)},
      {"Policies\\System", "NoDispSettingsPage", Dword(x.disp_settings)},
      {"Policies\\System", "NoDispAppearancePage", Dword(x.disp_appearance)},
      {"Policies\\System", "NoDispScrSavPage", Dword(x.disp_scrsav)},
      {"Policies\\System", "NoDispCPL", Dword(x.disp_cpl)},
      {"Policies\\System", "NoDevMgrPage", Dword(x.sys_devmgr)},
      {"Policies\\System", "NoConfigPage", Dword(x.sys_config)},
      {"Policies\\System", "NoAdminPage", Dword(x.admin_page)},
      {"Policies\\System", "Dummy", Dword(x.sys_dummy)},
      {"Policies\\System", "DisableRegistryTools", Dword(x.registry_tools)},
      {"Policies\\Explorer", "NoSetFolders", Dword(x.set_folders)},
      {"Policies\\Explorer", "NoSetActiveDesktop", Dword(x.active_desktop)},
      {"Policies\\Explorer", "NoFolderOptions", Dword(x.folder_options)},
      {"Policies\\Explorer", "NoWindowsUpdate", Dword(x.windows_update)},
      {"Policies\\Explorer", "NoDesktop", Dword(x.no_desktop)},
      {"Policies\\Explorer", "NoSaveSettings", Dword(x.save_settings)},
      {"Policies\\Explorer", "NoDevMgrPage", Dword(x.exp_devmgr)},
      {"Policies\\Explorer", "Dummy", Dword(x.exp_dummy)},
      {"Policies\\Explorer", "NoFind", Dword(x.find)},
      {"Policies\\Explorer", "NoRun", Dword(x.run)},
      {"Policies\\Explorer", "NoClose", Dword(x.close)},
      {"Policies\\Explorer", "NoSetTaskBar", Dword(x.taskbar)},
      {"Policies\\Explorer", "NoPrinterTabs", Dword(x.printer_tabs)},
      {"Policies\\Explorer", "NoDeletePrinter", Dword(x.delete_printer)},
      {"Policies\\Explorer", "WinOldApp", Dword(x.winoldapp)},
      {"Policies\\Explorer", "NoAddPrinter", Dword(x.add_printer)},
      {"Policies\\Explorer", "NoRecentDocsHistory", recent_bytes},
      {"Policies\\Explorer", "NoRecentDocsMenu", recent_bytes},
      {"Policies\\Explorer", "NoFavoritesMenu", Dword(x.recent)},
      {"Policies\\Explorer", "NoStartMenuSubFolders", Dword(x.start_sub_folders)},
      {"Policies\\Explorer", "NoDrives", Dword(0)},
      {"Policies\\Explorer", "NoNetHood", Dword(0)},
      {"Policies\\Explorer", "RestrictRun", Dword(0)},
      {"Policies\\Network", "NoNetSetup", Dword(x.net_setup)},
      {"Policies\\Network", "NoNetSetupSecurityPage", Dword(x.net_security)},
      {"Policies\\Network", "NoPrintSharingControl", Dword(x.print_sharing)},
      {"Policies\\Network", "NoFileSharingControl", Dword(x.file_sharing)},
      {"Policies\\Network", "NoEntireNetwork", Dword(0)},
      {"Policies\\Network", "NoWorkgroupContents", Dword(0)},
      {std::string(kLm) + "Microsoft\\Windows\\CurrentVersion\\Policies\\Network", "NoDialIn",
       Dword(x.dial_in)},
      {"Policies\\winoldapp", "Disabled", Dword(x.disabled)},
      {"Policies\\winoldapp", "NoRealMode", Dword(x.real_mode)},
      {"Internet Settings", "ProxyEnable", Dword(0)},
      {"Internet Settings", "Security_RunActiveXControls", Dword(0)},
      {"Internet Settings", "Security_RunJavaApplets", Dword(0)},
      {"Internet Settings", "Security_RunScripts", Dword(0)},
      {"Internet Settings", "Code Download", "\"yes\""},
      {"Internet Settings\\Zones\\3", "1200", Dword(0)},
      {"Internet Settings\\Zones\\3", "1C00", Dword(0x30000)},
      {"Internet Settings\\Zones\\3", "1400", Dword(0)},
      {"Internet Settings\\Zones\\3", "1402", Dword(0)},
      {"Internet Settings\\Zones\\3", "1001", Dword(0)},
      {"Internet Settings\\Zones\\3", "1004", Dword(0)},
      {"Internet Settings\\Zones\\3", "1803", Dword(x.zone_1803)},
      {"Internet Settings\\Zones\\3", "1802", Dword(x.zone_1802)},
      {std::string(kLm) + "Quillon\\Netsieve\\CurrentVersion", "Logging", "\"" + x.logging + "\""},
  };
}

RunResult Plan(const TempFolder& folder, const std::string& name, const std::string& format) {
  return RunIn(folder, {"plan", name, "--at", "12:30", "--format", format});
}

// Education High, 53520,63759,3670485: mask 1 bits 4, 8, 12, 14, 15; mask 2
// bits 0-3, 8, 11-15; mask 3 bits 0, 2, 4, 6, 7, 8, 19, 20, 21.
const LevelExpectation kEducationHigh = {0, 0, 0,  0, 1, 1, 1, 0, 0, 1,  // System
                                         1, 1, 1,  1, 0, 1, 0, 0, 1, 1,
                                         0, 1, 0,  1, 1, 0, 1, 1,  // Explorer
                                         1, 1, 0,  0, 1,           // Network, NoDialIn
                                         1, 1,                     // WinOldApp
                                         3, 3, "1"};

// Home Low, 4096,32782,197: mask 1 bit 12; mask 2 bits 1, 2, 3, 15; mask 3
// bits 0, 2, 6, 7.
const LevelExpectation kHomeLow = {0, 0, 0,  0, 0, 1, 1, 0, 0, 1,  // System
                                   1, 1, 1,  1, 0, 1, 0, 0, 1, 1,
                                   0, 0, 0,  1, 0, 0, 0, 0,  // Explorer
                                   1, 0, 0,  0, 0,           // Network, NoDialIn
                                   0, 0,                     // WinOldApp
                                   0, 0, "0"};

TEST(NoxadminPlan, EducationHighMatchesTheLevelTables) {
  TempFolder folder;
  ASSERT_EQ(RunIn(folder, {"user", "add", "pupil", "--level", "Education High"}).code, kExitOk);
  const RunResult reg = Plan(folder, "pupil", "reg");
  ASSERT_EQ(reg.code, kExitOk) << reg.err;
  EXPECT_EQ(reg.out.rfind("REGEDIT4\r\n", 0), 0u);
  ExpectValues(ParseRegFile(reg.out), ValuesOf(kEducationHigh), "Education High");
  // Recent documents cleared: Windows 98's My Documents icon goes.
  EXPECT_NE(reg.out.find("[-HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\"
                         "explorer\\Desktop\\NameSpace\\{450d8fba-ad25-11d0-98a8-0800361b1103}]"),
            std::string::npos);

  const RunResult text = Plan(folder, "pupil", "text");
  ASSERT_EQ(text.code, kExitOk);
  EXPECT_NE(text.out.find("Boot options (C:\\MSDOS.SYS): BootMulti=0, BootWarn=0, BootKeys=0"),
            std::string::npos)
      << text.out;
  EXPECT_NE(text.out.find("renamed C:\\WINDOWS\\SYSTEM\\Timedate.cpl -> "
                          "C:\\WINDOWS\\SYSTEM\\123456789.123"),
            std::string::npos);
  EXPECT_NE(text.out.find("  Programs -> C:\\NOX\\tmp\\Start Menu\\Programs\n"
                          "  Start Menu -> C:\\NOX\\tmp\\Start Menu\n"),
            std::string::npos);
  EXPECT_NE(text.out.find("  C:\\WINDOWS\\explorer.exe (maximized)\n"
                          "  C:\\NOX\\pelorus.exe (minimized)\n"),
            std::string::npos);
}

TEST(NoxadminPlan, EducationModernAddsTheTwelveSwitches) {
  TempFolder folder;
  ASSERT_EQ(RunIn(folder, {"user", "add", "pupil", "--level", "education modern"}).code, kExitOk);
  const RunResult reg = Plan(folder, "pupil", "reg");
  ASSERT_EQ(reg.code, kExitOk) << reg.err;
  const auto values = ParseRegFile(reg.out);
  ExpectValues(
      values,
      {{"Policies\\Explorer", "NoClose", Dword(1)},
       {"Policies\\System", "DisableTaskMgr", Dword(1)},
       {"Policies\\Explorer\\DisallowRun", "16", "\"noxadmin.exe\""},
       {"HKEY_CURRENT_USER\\Software\\Policies\\Google\\Chrome\\URLBlocklist", "1", "\"file://*\""},
       {"HKEY_CURRENT_USER\\Control Panel\\Accessibility\\StickyKeys", "Flags", "\"506\""}},
      "Education Modern");
}

TEST(NoxadminPlan, HomeLowMatchesTheLevelTables) {
  TempFolder folder;
  ASSERT_EQ(RunIn(folder, {"user", "add", "dad", "--level", "Home Low"}).code, kExitOk);
  const RunResult reg = Plan(folder, "dad", "reg");
  ASSERT_EQ(reg.code, kExitOk) << reg.err;
  const auto values = ParseRegFile(reg.out);
  ExpectValues(values, ValuesOf(kHomeLow), "Home Low");
  EXPECT_EQ(values.count("HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\"
                         "explorer\\Desktop\\NameSpace\\{450d8fba-ad25-11d0-98a8-0800361b1103}|"),
            0u);  // already "My Documents": not a change

  const RunResult text = Plan(folder, "dad", "text");
  EXPECT_NE(text.out.find("BootMulti=1, BootWarn=1, BootKeys=1"), std::string::npos);
  EXPECT_EQ(text.out.find("Timedate.cpl"), std::string::npos);
  EXPECT_NE(text.out.find("  Programs -> C:\\WINDOWS\\Start Menu\\Programs\n"
                          "  Start Menu -> C:\\WINDOWS\\Start Menu\n"),
            std::string::npos)
      << text.out;
}

TEST(NoxadminPlan, AdministratorGetsEveryRestrictionOff) {
  TempFolder folder;
  ASSERT_EQ(RunIn(folder, {"user", "add", "Administrator", "--level", "Education High"}).code,
            kExitOk);
  const RunResult reg = Plan(folder, "administrator", "reg");
  ASSERT_EQ(reg.code, kExitOk);
  LevelExpectation none{};
  none.logging = "0";
  ExpectValues(ParseRegFile(reg.out), ValuesOf(none), "Administrator");
}

TEST(NoxadminPlan, AccountFieldsReachTheRegistry) {
  TempFolder folder;
  // Mask 1 bit 7 (start page), mask 3 bits 15 (proxy) and 18 (search page).
  ASSERT_EQ(RunIn(folder, {"user", "add", "web", "--level", "128,0,294912", "--proxy-http",
                           "proxy:8080", "--network", "2", "--drive", "C=08:00-17:00", "--programs",
                           "a.exe;b.exe", "--discs", "ATLAS", "--start-page", "http://start/"})
                .code,
            kExitOk);
  const RunResult reg = Plan(folder, "web", "reg");
  ASSERT_EQ(reg.code, kExitOk) << reg.err;
  const auto values = ParseRegFile(reg.out);
  ExpectValues(
      values,
      {{"Internet Settings", "ProxyEnable", Dword(1)},
       {"Internet Settings", "ProxyServer", "\"ftp=:;gopher=:;http=proxy:8080;https=:;socks=:\""},
       {"Policies\\Explorer", "NoDrives", Dword(4)},
       {"Policies\\Network", "NoEntireNetwork", Dword(1)},
       {"Policies\\Network", "NoWorkgroupContents", Dword(1)},
       {"Policies\\Explorer", "RestrictRun", Dword(1)},
       {"Policies\\Explorer\\RestrictRun", "1", "\"a.exe\""},
       {"Policies\\Explorer\\RestrictRun", "2", "\"b.exe\""},
       {"Policies\\Explorer\\RestrictRun", "3", "\"wardkeep.exe\""},
       {"Policies\\Explorer\\RestrictRun", "7", "\"pelorus.exe\""},
       {"HKEY_CURRENT_USER\\Software\\Microsoft\\Internet Explorer\\Main", "Start Page",
        "\"http://start/" + std::string(255 - 13, ' ') + "\""}},
      "account");
  // Mask 3 bit 18 writes the search page, all 200 characters of it.
  ExpectValues(values,
               {{"HKEY_CURRENT_USER\\Software\\Microsoft\\Internet Explorer\\Main", "Search Page",
                 "\"" + std::string(200, ' ') + "\""}},
               "search page");
  const RunResult text = Plan(folder, "web", "text");
  EXPECT_NE(text.out.find("Disc labels the disc guard lets in: \"ATLAS\""), std::string::npos);
  // At 17:00 the drive is back.
  const RunResult late = RunIn(folder, {"plan", "web", "--at", "17:00", "--format", "reg"});
  ExpectValues(ParseRegFile(late.out), {{"Policies\\Explorer", "NoDrives", Dword(0)}}, "17:00");
}

TEST(NoxadminPlan, WithoutInternetExplorerAboveFourSevenNoZoneValues) {
  TempFolder folder;
  ASSERT_EQ(RunIn(folder, {"user", "add", "a", "--level", "Education High"}).code, kExitOk);
  for (const char* ie : {"none", "4.70.1300"}) {
    const RunResult reg = RunIn(folder, {"plan", "a", "--ie", ie, "--format", "reg"});
    ASSERT_EQ(reg.code, kExitOk);
    EXPECT_EQ(reg.out.find("Zones\\3"), std::string::npos) << ie;
  }
}

TEST(NoxadminPlan, WindowsNtAlsoSwitchesTheCommonStartMenu) {
  TempFolder folder;
  ASSERT_EQ(RunIn(folder, {"user", "add", "a", "--level", "Education High"}).code, kExitOk);
  const RunResult reg = RunIn(folder, {"plan", "a", "--windows", "nt", "--format", "reg"});
  ASSERT_EQ(reg.code, kExitOk) << reg.err;
  ExpectValues(ParseRegFile(reg.out),
               {{"HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\explorer\\"
                 "User Shell folders",
                 "Common Programs", "\"C:\\\\NOX\\\\tmp\\\\Start Menu\\\\Programs\""},
                {"Policies\\Explorer", "NoFind", Dword(1)}},
               "nt");
}

// Texts from the tables never start a line, key or value of their own in
// the .reg file: comments show control characters as \xNN, texts holding
// them go as hex(1) bytes.
TEST(NoxadminPlan, TableTextsStayInsideTheirLineOfTheRegFile) {
  TempFolder folder;
  const std::string name = "x\r\n[-HKEY_LOCAL_MACHINE\\SYSTEM]";
  const std::string page = "a\"\\b[\r\n\"c\"=\"d\"\n";
  RecordBytes record;
  record.Name(name).Triple("128,0,0").Text(110, 255, page);
  WriteBytes(folder / "USER.TBL", record.str());
  const RunResult reg = RunIn(folder, {"plan", name, "--at", "12:30", "--format", "reg"});
  ASSERT_EQ(reg.code, kExitOk) << reg.err;
  EXPECT_EQ(reg.out.find("\n[-HKEY_LOCAL_MACHINE\\SYSTEM]"), std::string::npos) << reg.out;
  EXPECT_EQ(reg.out.find("\n\"c\""), std::string::npos) << reg.out;
  EXPECT_NE(reg.out.find("; noxadmin plan: x\\x0d\\x0a[-HKEY_LOCAL_MACHINE\\SYSTEM] (record 1)"),
            std::string::npos)
      << reg.out;
  // Every line ends in CR LF and none is a bare CR or LF.
  size_t lines = 0;
  for (size_t at = reg.out.find('\n'); at != std::string::npos; at = reg.out.find('\n', at + 1)) {
    ASSERT_EQ(reg.out[at - 1], '\r') << at;
    ++lines;
  }
  EXPECT_EQ(std::count(reg.out.begin(), reg.out.end(), '\r'), static_cast<long>(lines));
  std::string hex;
  for (const char c : page + std::string(255 - page.size(), ' ') + std::string(1, '\0')) {
    char pair[4];
    std::snprintf(pair, sizeof pair, ",%02x", static_cast<unsigned char>(c));
    hex += pair;
  }
  EXPECT_NE(reg.out.find("\"Start Page\"=hex(1):" + hex.substr(1) + "\r\n"), std::string::npos)
      << reg.out;
}

TEST(NoxadminPlan, AFailingLoginIsReported) {
  TempFolder folder;
  RecordBytes record;
  record.Name("broken").Triple("0,0,0").Text(792 + 3 * 50, 50, "       ab:cd       17:00True");
  WriteBytes(folder / "USER.TBL", record.str());
  const RunResult text = Plan(folder, "broken", "text");
  EXPECT_EQ(text.code, kExitFailed);
  EXPECT_NE(text.out.find("The login fails with error 13"), std::string::npos) << text.out;
}

}  // namespace
}  // namespace nox::admin
