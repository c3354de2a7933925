// The uninstaller's main routine: the password gate, the table files, one
// registry reset pass per HKEY_USERS subkey plus one, the boot options.
#include "clearway/clearway.h"

#include <optional>
#include <string>
#include <vector>

#include "clearway/snare/traced_routine.h"
#include "clearway/undo.h"
#include "common/ansi_text.h"
#include "common/boot_options.h"
#include "common/library_binder.h"
#include "common/modern_switches.h"
#include "common/vb_number.h"
#include "platform/platform.h"

namespace nox::clearway {
namespace {

constexpr const char* kPolicies =
    "Current_User,Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\";
constexpr const char* kMachinePolicies =
    "Local_Machine,Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\";
constexpr const char* kUserExplorer =
    "Current_User,Software\\Microsoft\\Windows\\CurrentVersion\\explorer\\";
constexpr const char* kInternetSettings =
    "Current_User,Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
constexpr const char* kMyDocuments =
    "Local_Machine,Software\\Microsoft\\Windows\\CurrentVersion\\explorer\\Desktop\\NameSpace\\"
    "{450d8fba-ad25-11d0-98a8-0800361b1103}";
constexpr const char* kIeVersion = "Local_Machine,Software\\Microsoft\\Internet Explorer,version";
constexpr const char* kRestrictRunKey =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer\\RestrictRun";

constexpr const char* kTesselLibrary = "Tessel.DLL";
constexpr const char* kRefusal = "Invalid Password, try again!";
constexpr const char* kRefusalTitle = "Login";
constexpr const char* kProjectName = "Clearway";

// Internet Explorer versions above this one know the Internet zone's values.
constexpr double kZonesFromVersion = 4.7;

std::string Policy(const char* key_and_value) { return std::string(kPolicies) + key_and_value; }

[[noreturn]] void RefuseAndEnd() {
  platform::MessageBox(kRefusal, kRefusalTitle, platform::kMbOk);
  platform::EndProgram(0);
}

// Deletes the numbered per-user files 1, 2, 3, ... up to the first number
// with none of them left, then the system tables.
void DeleteTableFiles(TracedRoutine& main, const std::string& system_dir) {
  static constexpr const char* kNumberedExtensions[] = {".tbl", ".KWt", ".tbb",
                                                        ".kwb", ".pmk", ".pmb"};
  static constexpr const char* kTables[] = {"user.tbl", "user.tbB", "pwd.tbl", "user.cur",
                                            "NoxSettings.tbl"};
  constexpr int kAllFailed = sizeof kNumberedExtensions / sizeof kNumberedExtensions[0];
  for (int n = 1;; ++n) {
    int failures = 0;
    for (const char* extension : kNumberedExtensions) {
      main.Do([&] {
        const std::string path = system_dir + std::to_string(n) + extension;
        if (platform::DeleteFile(path) != platform::kSuccess) ++failures;
      });
    }
    if (failures == kAllFailed) break;
  }
  for (const char* table : kTables) {
    main.Do([&] { platform::DeleteFile(system_dir + table); });
  }
}

// Everything the switches of mask 2 bits 16 to 27 may have written, and
// the login's record of them.
void RemoveModernSwitches(TracedRoutine& main) {
  for (const RegStep& step : SwitchRemovals(kModernSwitchBits)) {
    main.Do([&] {
      if (step.kind == RegStep::Kind::kWrite) {
        RegWrite(step.regline, step.value, step.type);
      } else {
        RunRegStep(step, RegFlavor::kUninstaller);
      }
    });
  }
  main.Do([] { DeleteRegValue(kWrittenSwitches); });
}

// One pass of the registry reset. `ie_version` carries over between passes.
void ResetPass(TracedRoutine& main, double* ie_version) {
  main.Do([&] { RegWrite(Policy("Explorer,NoDrives"), 0, platform::kRegDword); });
  for (const std::string& entry : ResetList()) {
    main.Do([&] { RegWrite(entry, 0, platform::kRegDword); });
  }

  main.Do([&] { RegWrite(Policy("System,NoVirtMemPage"), 0, platform::kRegDword); });
  main.Do([&] { RegWrite(Policy("WinOldApp,NoRealMode"), 0, platform::kRegDword); });
  main.Do([&] { RegWrite(Policy("Explorer,NoRecentDocsHistory"), 0, platform::kRegBinary); });
  main.Do([&] { RegWrite(Policy("Explorer,NoRecentDocsMenu"), 0, platform::kRegBinary); });
  main.Do([&] { RegWrite(Policy("Explorer,NoFavoritesMenu"), 0, platform::kRegDword); });

  main.Do([&] {
    if (WindowsVersionCode() == 98) RegWrite(kMyDocuments, "My Documents", platform::kRegSz);
  });

  std::string system_dir;
  main.Do([&] { system_dir = SystemDirectory(); });
  main.Do([&] { platform::MoveFile(system_dir + "123456789.123", system_dir + "Timedate.cpl"); });

  main.Do([&] { RestoreStartMenu(1); });
  main.Do([&] {
    const int32_t code = WindowsVersionCode();
    if (code == 40 || code == 351) RestoreStartMenu(2);
  });

  for (const char* value : {"NoSetFolders", "NoSetActiveDesktop", "NoFolderOptions",
                            "NoWindowsUpdate", "NoSaveSettings"}) {
    main.Do([&] { RegWrite(Policy("Explorer,") + value, 0, platform::kRegDword); });
  }
  main.Do([&] { RegWrite(Policy("Network,NoEntireNetwork"), 0, platform::kRegDword); });
  main.Do([&] { RegWrite(Policy("Network,NoWorkgroupContents"), 0, platform::kRegDword); });
  main.Do([&] { RegWrite(Policy("Explorer,NoNetHood"), 0, platform::kRegDword); });

  // The Windows 9x folders: on NT the profile's own folders are elsewhere.
  bool windows_9x = false;
  main.Do([&] { windows_9x = !IsWindowsNT(); });
  std::string windows_dir;
  main.Do([&] { windows_dir = WindowsDirectory(); });
  for (const char* key : {"User Shell folders", "Shell folders"}) {
    if (!windows_9x) break;
    const std::string folders = std::string(kUserExplorer) + key + ",";
    main.Do([&] {
      RegWrite(folders + "Programs", windows_dir + "start menu\\programs", platform::kRegSz);
    });
    main.Do(
        [&] { RegWrite(folders + "Start Menu", windows_dir + "start menu", platform::kRegSz); });
  }

  const std::string internet = std::string(kInternetSettings) + ",";
  for (const char* value :
       {"Security_RunActiveXControls", "Security_RunJavaApplets", "Security_RunScripts"}) {
    main.Do([&] { RegWrite(internet + value, 0, platform::kRegDword); });
  }
  main.Do([&] { RegWrite(internet + "Code Download", "yes", platform::kRegSz); });

  main.Do([&] {
    std::string version = RegRead(kIeVersion, RegFlavor::kUninstaller);
    version = TrimBlanks(version);
    if (version.size() >= 2) *ie_version = ReadLeadingNumber(version.substr(0, 4));
  });
  main.Do([&] {
    if (*ie_version <= kZonesFromVersion) return;
    const std::string zone = std::string(kInternetSettings) + "\\Zones\\3,";
    static constexpr struct {
      const char* name;
      int64_t value;
    } kZoneValues[] = {{"1200", 0}, {"1C00", 0x30000}, {"1400", 0}, {"1402", 0},
                       {"1001", 0}, {"1004", 0},       {"1803", 0}, {"1802", 0}};
    for (const auto& [name, value] : kZoneValues) {
      RegWrite(zone + name, value, platform::kRegDword);
    }
  });

  main.Do([&] { RegWrite(Policy("Explorer,RestrictRun"), 0, platform::kRegDword); });
  main.Do([&] { platform::RegDeleteKey(platform::kCurrentUser, kRestrictRunKey); });
  RemoveModernSwitches(main);
}

// One NT profile: its reset pass, then what its journals hold, with its hive
// standing for the current user's. A hive that cannot be reached is traced
// and passed over.
void RestoreProfile(TracedRoutine& main, const Profile& profile, const HiveUndo& machine,
                    double* ie_version) {
  MountedProfile mounted(profile);
  std::optional<platform::ScopedUserHive> hive;
  if (mounted.error() == platform::kSuccess) hive.emplace(mounted.name());
  if (!hive || !hive->opened()) {
    TracedRoutine skipped("hide", "Sub SkipProfile", [&] {
      return ArgumentList({{"sid", profile.sid},
                           {"folder", profile.folder},
                           {"error", std::to_string(mounted.error())}});
    });
    return;
  }
  const HiveUndo user(platform::kCurrentUser,
                      {ServiceJournalPlace(profile.sid), HiveJournalPlace()});
  {
    UndoScope scope(&user, &machine);
    ResetPass(main, ie_version);
    main.Do([] { ForgetStartMenuSwitching(1); });
  }
  main.Do([&] { user.Restore(); });
  main.Do([] { platform::RegFlushKey(platform::kCurrentUser); });
}

// Windows 9x, or an NT whose profiles cannot be listed: the passes over the
// current user's hive, one per subkey of HKEY_USERS and one more.
void RestoreCurrentUser(TracedRoutine& main, platform::RegKey users, const HiveUndo& machine,
                        double* ie_version) {
  const HiveUndo user(platform::kCurrentUser, {HiveJournalPlace()});
  {
    UndoScope scope(&user, &machine);
    for (uint32_t index = 0;; ++index) {
      long enumerated = platform::kNoMoreItems;
      main.Do([&] {
        std::string subkey;
        enumerated = platform::RegEnumKey(users, index, &subkey);
      });
      ResetPass(main, ie_version);
      if (enumerated != platform::kSuccess) break;
    }
    main.Do([] { ForgetStartMenuSwitching(1); });
  }
  main.Do([&] { user.Restore(); });
}

}  // namespace

const std::array<std::string, 43>& ResetList() {
  static const std::array<std::string, 43> kList = {
      Policy("System,NoDispBackgroundPage"),
      Policy("System,NoDispSettingsPage"),
      Policy("System,NoDispAppearancePage"),
      Policy("System,NoDispScrSavPage"),
      Policy("System,NoDispCPL"),
      Policy("Explorer,NoSaveSettings"),
      Policy("Explorer,NoSetFolders"),
      Policy("Explorer,Dummy"),
      Policy("Explorer,Dummy"),
      Policy("Explorer,Dummy"),
      Policy("Explorer,Dummy"),
      Policy("Explorer,Dummy"),
      Policy("Explorer,Dummy"),
      Policy("Explorer,NoSetFolders"),
      Policy("Explorer,NoDesktop"),
      Policy("System,Dummy"),
      Policy("winoldapp,Disabled"),
      Policy("Explorer,NoSaveSettings"),
      Policy("Network,NoNetSetup"),
      Policy("System,NoDevMgrPage"),
      Policy("System,NoConfigPage"),
      Policy("Explorer,NoDevMgrPage"),
      Policy("Explorer,NoConfigPage"),
      Policy("Explorer,Dummy"),
      Policy("Explorer,NoAdminPage"),
      std::string(kMachinePolicies) + "Network,NoDialIn",
      Policy("network,NoPrintSharingControl"),
      Policy("network,NoFileSharingControl"),
      Policy("Network,NoNetSetup"),
      Policy("Explorer,Dummy"),
      Policy("Explorer,Dummy"),
      Policy("Explorer,Dummy"),
      Policy("Explorer,NoSetFolders"),
      Policy("Explorer,NoFind"),
      Policy("Explorer,Dummy"),
      Policy("Explorer,NoRun"),
      Policy("Explorer,NoClose"),
      Policy("Explorer,NoSetTaskBar"),
      Policy("Explorer,NoPrinterTabs"),
      Policy("system,DisableRegistryTools"),
      Policy("Explorer,NoDeletePrinter"),
      Policy("Explorer,WinOldApp"),
      Policy("Explorer,NoAddPrinter"),
  };
  return kList;
}

bool EndsInUninstallSwitch(std::string_view command_line) {
  const std::string trimmed = TrimBlanks(command_line);
  if (trimmed.size() < 2) return false;
  const char slash = trimmed[trimmed.size() - 2];
  const char letter = trimmed.back();
  return slash == '/' && (letter == 'U' || letter == 'u');
}

void UninstallMain(const std::string& command_line) {
  TracedRoutine routine("Clearway", "Sub main", TracedRoutine::OnError::kResumeNext);
  LibraryExport<int32_t(NOX_STDCALL*)(const char*)> check_password(kTesselLibrary, "CheckPassword");
  routine.Do([&] {
    if (command_line.empty()) RefuseAndEnd();
  });
  std::string system_dir;
  routine.Do([&] { system_dir = SystemDirectory(); });
  // A failed call (no library, no export) leaves 0: refused.
  int32_t password_result = 0;
  routine.Do([&] { password_result = check_password(command_line.c_str()); });
  if (!EndsInUninstallSwitch(command_line)) {
    routine.Do([&] {
      if (password_result == 0) RefuseAndEnd();
    });
    DeleteTableFiles(routine, system_dir);
  }

  platform::ScopedRegKey users;
  routine.Do([&] {
    if (platform::RegOpenKey(platform::kUsers, "", platform::kKeyRead, users.receive()) !=
        platform::kSuccess) {
      platform::MessageBox("Can't open key", kProjectName, platform::kMbOk);
      platform::EndProgram(0);
    }
  });
  double ie_version = 0;
  const HiveUndo machine(platform::kLocalMachine, {MachineJournalPlace()});
  std::vector<Profile> profiles;
  routine.Do([&] {
    if (IsWindowsNT()) profiles = ListProfiles();
  });
  if (profiles.empty()) {
    RestoreCurrentUser(routine, users.get(), machine, &ie_version);
  } else {
    for (const Profile& profile : profiles) RestoreProfile(routine, profile, machine, &ie_version);
  }
  routine.Do([&] { users.Reset(); });
  {
    UndoScope scope(nullptr, &machine);
    routine.Do([&] {
      const int32_t code = WindowsVersionCode();
      if (code == 40 || code == 351) ForgetStartMenuSwitching(2);
    });
  }
  routine.Do([&] { machine.Restore(); });
  routine.Do([&] { ApplyBootOptions("1"); });
  platform::EndProgram(0);
}

}  // namespace nox::clearway
