// One full WriteSettings for "Education High" on the real registry and file
// system (run under Wine), checked value by value.
//
// WriteSettings ends its process, so the test program plays three parts,
// told apart by its arguments and its own file name:
//   - the test: prepares a private folder inside drive C:, copies itself
//     there as the login program (and as pelorus.exe), runs the copy, then
//     checks what it left behind and puts the machine back;
//   - the login program (argument --write-settings): one WriteSettings;
//   - pelorus.exe: records that it was started, and how.
// Registry keys the run writes are saved beforehand and restored afterwards,
// so the prefix's other tests see the machine as it was.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "common/regpath.h"
#include "common/runtime_error.h"
#include "explorer/frm_login.h"
#include "explorer/records.h"
#include "platform/platform.h"
#include "platform/win32/scoped_handles.h"
#include "platform/win32/win32_api.h"
// After <windows.h>, which it needs.
#include <tlhelp32.h>

namespace {

constexpr const char* kWriteSettingsSwitch = "--write-settings";
constexpr const char* kRunFolder = "C:\\nox-write-settings";
// The login program's copies: one as Windows reports itself, one that Wine
// shows Windows 98 (per program, through its AppDefaults key).
constexpr const char* kLoginNt = "ws_login.exe";
constexpr const char* kLogin98 = "ws_login98.exe";
constexpr const char* kAppDefaults98 = "Software\\Wine\\AppDefaults\\ws_login98.exe";
constexpr const char* kPelorusMark = "C:\\nox-write-settings\\pelorus-started.txt";
constexpr const char* kRecordNumber = "8642";
constexpr const char* kTriple = "53520,63759,3670485";  // Education High

std::string ModulePath() {
  char buffer[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, buffer, MAX_PATH);
  return buffer;
}

std::string FolderOf(const std::string& path) { return path.substr(0, path.find_last_of('\\')); }

std::string FileNameOf(const std::string& path) { return path.substr(path.find_last_of('\\') + 1); }

// The drive schedule of Y: in force from this hour for two hours.
std::string ScheduleFromThisHour() {
  SYSTEMTIME now;
  GetLocalTime(&now);
  char text[51];
  std::snprintf(text, sizeof text, "%-7s%02d:00%-7s%02d:00%-26s", "", now.wHour, "",
                (now.wHour + 2) % 24, "True");
  return text;
}

// ------------------------------------------------------------ the child parts
int RunPelorus() {
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  GetStartupInfoA(&startup);
  std::ofstream mark(kPelorusMark, std::ios::binary);
  mark << GetCommandLineA() << "\n" << startup.wShowWindow << "\n";
  return 0;
}

int RunWriteSettings() {
  nox::frmLogin form;
  form.Text1[0].text = "bob";
  nox::UserRecord record = nox::UserRecord::Blank();
  nox::SetFieldText(record.user_name, "bob");
  nox::SetFieldText(record.level_triple, kTriple);
  nox::SetFieldText(record.drive_schedule[25], ScheduleFromThisHour());
  nox::SetFieldText(record.proxy[nox::kProxyHttp].server, "proxy");
  nox::SetFieldText(record.proxy[nox::kProxyHttp].port, "8080");
  record.network_level = 2;
  record.program_list_count = 1;
  record.allowed_program_count = 2;
  form.current_user = record;
  form.current_record_number = kRecordNumber;
  try {
    form.WriteSettings();
  } catch (const nox::RuntimeError& error) {
    return 100 + error.number();
  }
  return 99;  // WriteSettings came back instead of ending the program
}

// ------------------------------------------------------------- registry save
struct SavedKey {
  std::map<std::string, std::pair<uint32_t, std::string>> values;
};

// Every key of a tree (paths relative to the root) with its values.
using SavedTree = std::map<std::string, SavedKey>;

void SaveTree(platform::RegKey root, const std::string& path, SavedTree* tree) {
  platform::ScopedRegKey key;
  if (platform::RegOpenKey(root, path, platform::kKeyRead, key.receive()) != platform::kSuccess) {
    return;
  }
  SavedKey& saved = (*tree)[path];
  std::string name, data;
  uint32_t type = 0;
  for (uint32_t i = 0; platform::RegEnumValue(key.get(), i, &name, &type, &data) == 0; ++i) {
    saved.values[name] = {type, data};
  }
  std::vector<std::string> subkeys;
  for (uint32_t i = 0; platform::RegEnumKey(key.get(), i, &name) == 0; ++i) subkeys.push_back(name);
  for (const std::string& subkey : subkeys) SaveTree(root, path + "\\" + subkey, tree);
}

// Saves trees of the registry and puts them back as they were when it goes.
class RegistryGuard {
 public:
  void Save(platform::RegKey root, const std::string& path) {
    SavedTree tree;
    SaveTree(root, path, &tree);
    saved_.push_back({root, path, std::move(tree)});
  }
  ~RegistryGuard() {
    for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
      nox::RegDeleteKeyTree(it->root, it->path);
      for (const auto& [path, key] : it->tree) {
        platform::ScopedRegKey opened;
        platform::RegCreateKey(it->root, path, opened.receive());
        for (const auto& [name, value] : key.values) {
          platform::RegSetValue(opened.get(), name, value.first, value.second);
        }
      }
    }
  }

 private:
  struct Entry {
    platform::RegKey root;
    std::string path;
    SavedTree tree;
  };
  std::vector<Entry> saved_;
};

std::optional<std::pair<uint32_t, std::string>> ReadValue(platform::RegKey root,
                                                          const std::string& path,
                                                          const std::string& name) {
  platform::ScopedRegKey key;
  if (platform::RegOpenKey(root, path, platform::kKeyRead, key.receive()) != platform::kSuccess) {
    return std::nullopt;
  }
  std::vector<char> buffer(4096);
  uint32_t size = static_cast<uint32_t>(buffer.size());
  uint32_t type = 0;
  if (platform::RegQueryValue(key.get(), name, &type, buffer.data(), &size) != 0) {
    return std::nullopt;
  }
  return std::make_pair(type, std::string(buffer.data(), size));
}

std::string Dword(uint32_t value) {
  std::string bytes(4, '\0');
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<char>((value >> (8 * i)) & 0xFF);
  return bytes;
}

std::string Sz(const std::string& text) { return text + std::string(1, '\0'); }

// ---------------------------------------------------------------- the test
constexpr const char* kCurrentVersion = "Software\\Microsoft\\Windows\\CurrentVersion";
const std::string kPolicies = std::string(kCurrentVersion) + "\\Policies";
const std::string kShellFolders = std::string(kCurrentVersion) + "\\Explorer\\Shell Folders";
const std::string kUserShellFolders =
    std::string(kCurrentVersion) + "\\Explorer\\User Shell Folders";
const std::string kInternetSettings = std::string(kCurrentVersion) + "\\Internet Settings";
const std::string kMyDocumentsKey = std::string(kCurrentVersion) +
                                    "\\explorer\\Desktop\\NameSpace\\"
                                    "{450d8fba-ad25-11d0-98a8-0800361b1103}";

struct Expected {
  platform::RegKey root;
  std::string key;
  std::string name;
  uint32_t type;
  std::string data;
};

std::string Text(platform::RegKey root, const std::string& key, const std::string& name) {
  auto value = ReadValue(root, key, name);
  return value ? value->second.substr(0, value->second.size() - 1) : "";
}

class WriteSettingsWin32Test : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto hkcu = platform::kCurrentUser;
    const auto hklm = platform::kLocalMachine;
    guard_.Save(hkcu, kPolicies);
    guard_.Save(hkcu, kInternetSettings);
    guard_.Save(hkcu, kShellFolders);
    guard_.Save(hkcu, kUserShellFolders);
    guard_.Save(hkcu, "Software\\Microsoft\\Internet Explorer\\Main");
    guard_.Save(hklm, kPolicies);
    guard_.Save(hklm, kShellFolders);
    guard_.Save(hklm, kUserShellFolders);
    guard_.Save(hklm, "Software\\Microsoft\\Internet Explorer");
    guard_.Save(hklm, "Software\\Quillon");
    guard_.Save(hklm, kMyDocumentsKey);
    guard_.Save(hkcu, kAppDefaults98);

    ForgetSavedStartMenus();
    // An earlier login in this prefix (another test's) may have left the
    // all-users switch on; the Windows 98 run must be seen not to set it.
    {
      platform::ScopedRegKey policies;
      platform::RegOpenKey(hklm, kPolicies + "\\Explorer", platform::kKeyAllAccess,
                           policies.receive());
      platform::RegDeleteValue(policies.get(), "NoStartMenuSubFolders");
    }

    system_directory_ = platform::SystemDirectory();
    windows_directory_ = platform::WindowsDirectory();
    recent_ = Text(hkcu, kShellFolders, "Recent");
    programs_ = Text(hkcu, kShellFolders, "Programs");
    start_menu_ = Text(hkcu, kShellFolders, "Start Menu");
    common_programs_ = Text(hklm, kShellFolders, "Common Programs");
    common_start_menu_ = Text(hklm, kShellFolders, "Common Start Menu");
    ASSERT_FALSE(recent_.empty());
    ASSERT_FALSE(programs_.empty());

    // The older "RestrictRun" list that the run must replace.
    nox::RegWrite("Current_User," + kPolicies + "\\Explorer\\RestrictRun,9", "stale.exe", 1,
                  nox::RegFlavor::kUninstaller);
    nox::RegWrite("Local_Machine,Software\\Microsoft\\Internet Explorer,Version", "5.00.2919.6307",
                  1, nox::RegFlavor::kUninstaller);

    ASSERT_FALSE(platform::FileLength("C:\\drives.dat", &ignored_) == platform::kSuccess);
    msdos_created_ = platform::FileLength("C:\\MSDOS.SYS", &ignored_) != platform::kSuccess;
    if (msdos_created_) {
      ASSERT_EQ(platform::WriteWholeFile("C:\\MSDOS.SYS",
                                         "[Paths]\r\nWinDir=C:\\WINDOWS\r\n"
                                         "[Options]\r\nBootMulti=1\r\n"),
                platform::kSuccess);
      platform::SetFileAttributes(
          "C:\\MSDOS.SYS", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    }
    date_time_panel_ = system_directory_ + "\\Timedate.cpl";
    panel_created_ = platform::FileLength(date_time_panel_, &ignored_) != platform::kSuccess;
    if (panel_created_) {
      ASSERT_EQ(platform::WriteWholeFile(date_time_panel_, "panel"), 0);
    }

    program_list_ = system_directory_ + "\\" + kRecordNumber + ".TBL";
    ASSERT_EQ(platform::WriteWholeFile(program_list_,
                                       "\"Nox\",\"1\"\r\nABCDisc\r\n"
                                       "\"calc.exe\",\"False\",\"0\",\"0\"\r\n"
                                       "\"notepad.exe\",\"False\",\"0\",\"0\"\r\n"),
              platform::kSuccess);
    platform::CreateDirectory(recent_);
    ASSERT_EQ(platform::WriteWholeFile(recent_ + "\\nox-test.lnk", "recent"), platform::kSuccess);
    platform::CreateDirectory(windows_directory_ + "\\recent");
    ASSERT_EQ(platform::WriteWholeFile(windows_directory_ + "\\recent\\nox-test.lnk", "recent"),
              platform::kSuccess);

    // The login program's own folder, with a temporary folder to wipe.
    RemoveRunFolder();
    ASSERT_EQ(platform::CreateDirectory(kRunFolder), platform::kSuccess);
    for (const char* login : {kLoginNt, kLogin98}) {
      ASSERT_EQ(platform::CopyFile(ModulePath(), std::string(kRunFolder) + "\\" + login),
                platform::kSuccess);
    }
    ASSERT_EQ(platform::CopyFile(ModulePath(), std::string(kRunFolder) + "\\pelorus.exe"),
              platform::kSuccess);
    ASSERT_EQ(platform::CopyFile(FolderOf(ModulePath()) + "\\CLASPS.dll",
                                 std::string(kRunFolder) + "\\CLASPS.dll"),
              platform::kSuccess);
    platform::CreateDirectory(std::string(kRunFolder) + "\\tmp");
    platform::CreateDirectory(std::string(kRunFolder) + "\\tmp\\sub");
    ASSERT_EQ(platform::WriteWholeFile(std::string(kRunFolder) + "\\tmp\\sub\\old.txt", "old"),
              platform::kSuccess);
  }

  void TearDown() override {
    platform::DeleteFile(program_list_);
    platform::DeleteFile(recent_ + "\\nox-test.lnk");
    platform::DeleteFile(windows_directory_ + "\\recent\\nox-test.lnk");
    platform::MoveFile(system_directory_ + "\\123456789.123", date_time_panel_);
    if (panel_created_) platform::DeleteFile(date_time_panel_);
    if (msdos_created_) {
      platform::SetFileAttributes("C:\\MSDOS.SYS", FILE_ATTRIBUTE_NORMAL);
      platform::DeleteFile("C:\\MSDOS.SYS");
    }
    RemoveRunFolder();
  }

  // The run is a first login: folders an earlier login saved would be kept.
  static void ForgetSavedStartMenus() {
    for (platform::RegKey root : {platform::kCurrentUser, platform::kLocalMachine}) {
      platform::ScopedRegKey key;
      if (platform::RegOpenKey(root, kShellFolders, platform::kKeyAllAccess, key.receive()) !=
          platform::kSuccess) {
        continue;
      }
      for (const char* name :
           {"WinMenu Programs", "WinStart Menu", "NoxMenu Programs", "NoxStart Menu"}) {
        platform::RegDeleteValue(key.get(), name);
      }
    }
  }

  static void RemoveRunFolder() {
    for (const char* file :
         {kLoginNt, kLogin98, "pelorus.exe", "CLASPS.dll", "pelorus-started.txt"}) {
      platform::DeleteFile(std::string(kRunFolder) + "\\" + file);
    }
    platform::RemoveDirectory(std::string(kRunFolder) + "\\tmp\\Start Menu");
    platform::RemoveDirectory(std::string(kRunFolder) + "\\tmp");
    platform::RemoveDirectory(kRunFolder);
  }

  // Runs the login program copy `login` and waits for its end; its exit
  // code, and its process id in *pid.
  static DWORD RunLoginProgram(const char* login, DWORD* pid) {
    std::string command = std::string(kRunFolder) + "\\" + login + " " + kWriteSettingsSwitch;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, kRunFolder,
                        &startup, &process)) {
      return 0xDEADBEEF;
    }
    platform::win32::ScopedHandle process_handle(process.hProcess);
    platform::win32::ScopedHandle thread_handle(process.hThread);
    *pid = process.dwProcessId;
    WaitForSingleObject(process.hProcess, 60000);
    DWORD code = 0xDEADBEEF;
    GetExitCodeProcess(process.hProcess, &code);
    return code;
  }

  // The file names of the running programs that process `parent` started.
  // The Windows shell among them is ended: Wine's own explorer.exe would
  // stay behind and hold the test's output open.
  // The names of the programs the login started. The shell is ended with
  // every program it started in turn (Wine's explorer.exe starts a desktop
  // process that would otherwise outlive the test and hold its output).
  static std::vector<std::string> EndShellStartedBy(DWORD parent) {
    std::vector<PROCESSENTRY32> processes;
    platform::win32::ScopedFile snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    PROCESSENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32First(snapshot.get(), &entry); more;
         more = Process32Next(snapshot.get(), &entry)) {
      processes.push_back(entry);
    }
    std::vector<std::string> names;
    std::vector<DWORD> shells;
    for (const PROCESSENTRY32& process : processes) {
      if (process.th32ParentProcessID != parent) continue;
      names.push_back(process.szExeFile);
      if (_stricmp(process.szExeFile, "explorer.exe") == 0) shells.push_back(process.th32ProcessID);
    }
    // The shells' trees, each program after the one that started it.
    for (size_t i = 0; i < shells.size(); ++i) {
      for (const PROCESSENTRY32& process : processes) {
        if (process.th32ParentProcessID == shells[i]) shells.push_back(process.th32ProcessID);
      }
    }
    for (auto it = shells.rbegin(); it != shells.rend(); ++it) {
      platform::win32::ScopedHandle program(
          OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, *it));
      TerminateProcess(program.get(), 0);
      WaitForSingleObject(program.get(), 5000);
    }
    return names;
  }

  RegistryGuard guard_;
  std::string system_directory_, windows_directory_, recent_, programs_, start_menu_;
  std::string common_programs_, common_start_menu_, date_time_panel_, program_list_;
  bool msdos_created_ = false;
  bool panel_created_ = false;
  uint64_t ignored_ = 0;

  // One WriteSettings by the copy `login`, then every check; `windows98`
  // tells which platform the copy sees.
  void RunAndCheck(const char* login, bool windows98);
};

void WriteSettingsWin32Test::RunAndCheck(const char* login, bool windows98) {
  DWORD login_pid = 0;
  const DWORD exit_code = RunLoginProgram(login, &login_pid);
  std::string mark;
  // The stand-in creates its mark before it writes the two lines: wait for both.
  for (int tries = 0; tries < 100 && (platform::ReadWholeFile(kPelorusMark, &mark) != 0 ||
                                      std::count(mark.begin(), mark.end(), '\n') < 2);
       ++tries) {
    Sleep(100);
  }
  const std::vector<std::string> started = EndShellStartedBy(login_pid);
  ASSERT_EQ(exit_code, 0u);
  // The Windows directory's explorer.exe was started (and is still running).
  EXPECT_TRUE(std::any_of(started.begin(), started.end(), [](const std::string& name) {
    return _stricmp(name.c_str(), "explorer.exe") == 0;
  }));
  // pelorus.exe was started minimised, without arguments.
  EXPECT_EQ(mark,
            std::string(kRunFolder) + "\\pelorus.exe\n" + std::to_string(SW_SHOWMINIMIZED) + "\n");

  const auto hkcu = platform::kCurrentUser;
  const auto hklm = platform::kLocalMachine;
  const std::string system = kPolicies + "\\System";
  const std::string explorer = kPolicies + "\\Explorer";
  const std::string network = kPolicies + "\\Network";
  const std::string winoldapp = kPolicies + "\\WinOldApp";
  const std::string zone = kInternetSettings + "\\Zones\\3";
  const std::string nox_menu = std::string(kRunFolder) + "\\tmp\\Start Menu";
  const std::string nox_programs = nox_menu + "\\Programs";
  constexpr uint32_t kDw = REG_DWORD, kBin = REG_BINARY, kSz = REG_SZ;
  std::vector<Expected> expected = {
      {hkcu, system, "NoDispBackgroundPage", kDw, Dword(0)},
      {hkcu, system, "NoDispSettingsPage", kDw, Dword(0)},
      {hkcu, system, "NoDispAppearancePage", kDw, Dword(0)},
      {hkcu, system, "NoDispScrSavPage", kDw, Dword(0)},
      {hkcu, system, "NoDispCPL", kDw, Dword(1)},
      {hkcu, system, "Dummy", kDw, Dword(0)},
      {hkcu, system, "NoDevMgrPage", kDw, Dword(1)},
      {hkcu, system, "NoConfigPage", kDw, Dword(1)},
      {hkcu, system, "NoAdminPage", kDw, Dword(0)},
      {hkcu, system, "DisableRegistryTools", kDw, Dword(1)},
      {hkcu, explorer, "NoSetFolders", kDw, Dword(1)},
      {hkcu, explorer, "Dummy", kDw, Dword(0)},
      {hkcu, explorer, "NoDesktop", kDw, Dword(0)},
      {hkcu, explorer, "NoSaveSettings", kDw, Dword(1)},
      {hkcu, explorer, "NoDevMgrPage", kDw, Dword(0)},
      {hkcu, explorer, "NoFind", kDw, Dword(1)},
      {hkcu, explorer, "NoRun", kDw, Dword(1)},
      {hkcu, explorer, "NoClose", kDw, Dword(0)},
      {hkcu, explorer, "NoSetTaskBar", kDw, Dword(1)},
      {hkcu, explorer, "NoPrinterTabs", kDw, Dword(0)},
      {hkcu, explorer, "NoDeletePrinter", kDw, Dword(1)},
      {hkcu, explorer, "WinOldApp", kDw, Dword(1)},
      {hkcu, explorer, "NoAddPrinter", kDw, Dword(0)},
      {hkcu, explorer, "NoRecentDocsHistory", kBin, Dword(1)},
      {hkcu, explorer, "NoRecentDocsMenu", kBin, Dword(1)},
      {hkcu, explorer, "NoFavoritesMenu", kDw, Dword(1)},
      {hkcu, explorer, "NoSetActiveDesktop", kDw, Dword(1)},
      {hkcu, explorer, "NoFolderOptions", kDw, Dword(1)},
      {hkcu, explorer, "NoWindowsUpdate", kDw, Dword(1)},
      {hkcu, explorer, "NoStartMenuSubFolders", kDw, Dword(1)},
      {hkcu, explorer, "NoDrives", kDw, Dword(1u << 24)},
      {hkcu, explorer, "NoNetHood", kDw, Dword(0)},
      {hkcu, explorer, "RestrictRun", kDw, Dword(1)},
      {hkcu, explorer + "\\RestrictRun", "1", kSz, Sz("calc.exe")},
      {hkcu, explorer + "\\RestrictRun", "2", kSz, Sz("notepad.exe")},
      {hkcu, explorer + "\\RestrictRun", "3", kSz, Sz("wardkeep.exe")},
      {hkcu, explorer + "\\RestrictRun", "4", kSz, Sz("Regedit.exe")},
      {hkcu, explorer + "\\RestrictRun", "5", kSz, Sz("Ntsieve.exe")},
      {hkcu, explorer + "\\RestrictRun", "6", kSz, Sz("Mendkit.exe")},
      {hkcu, explorer + "\\RestrictRun", "7", kSz, Sz("pelorus.exe")},
      {hkcu, winoldapp, "Disabled", kDw, Dword(1)},
      {hkcu, winoldapp, "NoRealMode", kDw, Dword(1)},
      {hkcu, network, "NoNetSetup", kDw, Dword(1)},
      {hkcu, network, "NoPrintSharingControl", kDw, Dword(0)},
      {hkcu, network, "NoFileSharingControl", kDw, Dword(0)},
      {hkcu, network, "NoNetSetupSecurityPage", kDw, Dword(1)},
      {hkcu, network, "NoEntireNetwork", kDw, Dword(1)},
      {hkcu, network, "NoWorkgroupContents", kDw, Dword(1)},
      {hklm, network, "NoDialIn", kDw, Dword(1)},
      {hkcu, kInternetSettings, "ProxyEnable", kDw, Dword(0)},
      {hkcu, kInternetSettings, "Security_RunActiveXControls", kDw, Dword(0)},
      {hkcu, kInternetSettings, "Security_RunJavaApplets", kDw, Dword(0)},
      {hkcu, kInternetSettings, "Security_RunScripts", kDw, Dword(0)},
      {hkcu, kInternetSettings, "Code Download", kSz, Sz("yes")},
      {hkcu, zone, "1200", kDw, Dword(0)},
      {hkcu, zone, "1C00", kDw, Dword(0x30000)},
      {hkcu, zone, "1400", kDw, Dword(0)},
      {hkcu, zone, "1402", kDw, Dword(0)},
      {hkcu, zone, "1001", kDw, Dword(0)},
      {hkcu, zone, "1004", kDw, Dword(0)},
      {hkcu, zone, "1803", kDw, Dword(3)},
      {hkcu, zone, "1802", kDw, Dword(3)},
      {hklm, "Software\\Quillon\\Netsieve\\CurrentVersion", "Logging", kSz, Sz("1")},
      {hkcu, kShellFolders, "WinMenu Programs", kSz, Sz(programs_)},
      {hkcu, kShellFolders, "WinStart Menu", kSz, Sz(start_menu_)},
      {hkcu, kShellFolders, "NoxMenu Programs", kSz, Sz(nox_programs)},
      {hkcu, kShellFolders, "NoxStart Menu", kSz, Sz(nox_menu)},
      {hkcu, kUserShellFolders, "Programs", kSz, Sz(nox_programs)},
      {hkcu, kUserShellFolders, "Start Menu", kSz, Sz(nox_menu)},
  };
  std::vector<Expected> all_users = {
      {hklm, kShellFolders, "WinMenu Programs", kSz, Sz(common_programs_)},
      {hklm, kShellFolders, "WinStart Menu", kSz, Sz(common_start_menu_)},
      {hklm, kUserShellFolders, "Common Programs", kSz, Sz(nox_programs)},
      {hklm, kUserShellFolders, "Common Start Menu", kSz, Sz(nox_menu)},
      {hklm, explorer, "NoStartMenuSubFolders", kDw, Dword(1)},
  };
  if (windows98) {
    // Only the current user's Start menu is switched, and the desktop's
    // "My Documents" icon is gone.
    for (const Expected& untouched : all_users) {
      auto value = ReadValue(untouched.root, untouched.key, untouched.name);
      EXPECT_TRUE(!value || value->second != untouched.data) << untouched.name;
    }
    platform::ScopedRegKey key;
    EXPECT_NE(platform::RegOpenKey(hklm, kMyDocumentsKey, platform::kKeyRead, key.receive()),
              platform::kSuccess);
  } else {
    expected.insert(expected.end(), all_users.begin(), all_users.end());
  }
  for (const Expected& want : expected) {
    auto value = ReadValue(want.root, want.key, want.name);
    const std::string where = want.key + " " + want.name;
    ASSERT_TRUE(value.has_value()) << where;
    EXPECT_EQ(value->first, want.type) << where;
    EXPECT_EQ(value->second, want.data) << where;
  }
  EXPECT_FALSE(ReadValue(hkcu, explorer + "\\RestrictRun", "9")) << "older value kept";
  EXPECT_FALSE(ReadValue(hkcu, kInternetSettings, "ProxyServer"));

  // Files: the Date/Time panel hidden, the boot menu locked, recent
  // documents gone, the temporary folder wiped and its Start Menu made.
  EXPECT_NE(platform::FileLength(date_time_panel_, &ignored_), platform::kSuccess);
  EXPECT_EQ(platform::FileLength(system_directory_ + "\\123456789.123", &ignored_),
            platform::kSuccess);
  for (const char* key : {"BootMulti", "BootWarn", "BootKeys"}) {
    EXPECT_EQ(platform::GetProfileString("Options", key, "?", "C:\\MSDOS.SYS"), "0") << key;
  }
  uint32_t attributes = 0;
  ASSERT_EQ(platform::GetFileAttributes("C:\\MSDOS.SYS", &attributes), platform::kSuccess);
  EXPECT_EQ(attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM),
            0u);
  EXPECT_NE(platform::FileLength(recent_ + "\\nox-test.lnk", &ignored_), platform::kSuccess);
  EXPECT_NE(platform::FileLength(windows_directory_ + "\\recent\\nox-test.lnk", &ignored_),
            platform::kSuccess);
  EXPECT_NE(platform::GetFileAttributes(std::string(kRunFolder) + "\\tmp\\sub", &attributes),
            platform::kSuccess);
  ASSERT_EQ(platform::GetFileAttributes(nox_menu, &attributes), platform::kSuccess);
  EXPECT_TRUE(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

TEST_F(WriteSettingsWin32Test, EducationHighOnWindowsNt) { RunAndCheck(kLoginNt, false); }

TEST_F(WriteSettingsWin32Test, EducationHighOnWindows98) {
  nox::RegWrite(std::string("Current_User,") + kAppDefaults98 + ",Version", "win98", 1,
                nox::RegFlavor::kUninstaller);
  // The desktop icon that Windows 98 has and the run removes.
  nox::RegWrite("Local_Machine," + kMyDocumentsKey + ",", "My Documents", 1,
                nox::RegFlavor::kUninstaller);
  RunAndCheck(kLogin98, true);
}

}  // namespace

int main(int argc, char** argv) {
  if (_stricmp(FileNameOf(ModulePath()).c_str(), "pelorus.exe") == 0) return RunPelorus();
  if (argc >= 2 && std::string(argv[1]) == kWriteSettingsSwitch) return RunWriteSettings();
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
