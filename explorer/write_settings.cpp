// WriteSettings: turns the logged-in user's account record into the state of
// the machine, starts the Windows shell and ends the login program.
//
// The steps run in a fixed order. Steps 1, 7 to the first rename of 10 (on
// NT the second too), the switches after 21, and 22 to 27 ignore failures
// statement by statement (each statement goes through IgnoreErrors); every
// other step raises its first error to the caller, leaving the steps already
// taken in effect.
#include <string>
#include <string_view>

#include "common/boot_options.h"
#include "common/catalogue.h"
#include "common/list_input.h"
#include "common/product_registry.h"
#include "common/regpath.h"
#include "common/runtime_error.h"
#include "common/undo_recorder.h"
#include "explorer/frm_login.h"
#include "explorer/write_settings_parts.h"
#include "platform/platform.h"

namespace nox {
namespace {

constexpr const char* kSource = "WriteSettings";

#define NOX_CURRENT_VERSION "Current_User,Software\\Microsoft\\Windows\\CurrentVersion\\"
constexpr const char* kPoliciesExplorer = NOX_CURRENT_VERSION "Policies\\Explorer,";
constexpr const char* kPoliciesNetwork = NOX_CURRENT_VERSION "Policies\\Network,";
constexpr const char* kPoliciesWinOldApp = NOX_CURRENT_VERSION "Policies\\WinOldApp,";
constexpr const char* kInternetSettings = NOX_CURRENT_VERSION "Internet Settings,";
constexpr const char* kInternetZone = NOX_CURRENT_VERSION "Internet Settings\\Zones\\3,";
constexpr const char* kRecentFolder = NOX_CURRENT_VERSION "explorer\\shell folders,Recent";
#undef NOX_CURRENT_VERSION
constexpr const char* kExplorerMain = "Current_User,Software\\Microsoft\\Internet Explorer\\Main,";
constexpr const char* kExplorerVersion =
    "Local_Machine,Software\\Microsoft\\Internet Explorer,version";
constexpr const char* kMyDocumentsKey =
    "Software\\Microsoft\\Windows\\CurrentVersion\\explorer\\Desktop\\NameSpace\\"
    "{450d8fba-ad25-11d0-98a8-0800361b1103}";

constexpr const char* kDateTimePanel = "Timedate.cpl";
constexpr const char* kHiddenDateTimePanel = "123456789.123";

std::string Path(const char* prefix, const char* name) { return std::string(prefix) + name; }

void WriteDword(const char* prefix, const char* name, bool on) {
  RegWrite(Path(prefix, name), on ? 1 : 0, platform::kRegDword);
}

std::string WithSlash(std::string folder) {
  if (folder.empty() || folder.back() != '\\') folder.push_back('\\');
  return folder;
}

// Step 4: the drives whose schedule is in force at this minute. Returns the
// mask written.
uint32_t WriteDriveSchedules(const UserRecord& record, const platform::LocalTime& now) {
  uint32_t mask = 0;
  for (int i = 1; i <= 26; ++i) {
    if (ScheduleHidesDrive(FieldText(record.drive_schedule[i]), now)) mask |= 1u << (i - 1);
  }
  RegWrite(Path(kPoliciesExplorer, "NoDrives"), static_cast<int64_t>(mask), platform::kRegDword);
  return mask;
}

// Step 6: every catalogue entry, 1 for a set bit and 0 for a clear one.
void WriteCatalogue(const LevelMasks& masks) {
  for (int mask_number = 1; mask_number <= 3; ++mask_number) {
    for (int bit = 0; bit < 16; ++bit) {
      const int position = CataloguePosition(mask_number, bit);
      if (position > kCatalogueSize) continue;
      RegWrite(kCatalogue[position - 1].regline, masks.Bit(mask_number, bit) ? 1 : 0,
               platform::kRegDword);
    }
  }
}

// Step 7 (ignoring errors).
void ClearRecentDocuments(const LevelMasks& masks, const std::string& windows_directory) {
  const bool clear = masks.Bit(2, 14);
  if (clear) {
    IgnoreErrors([] { DeleteRecentFiles(RegRead(kRecentFolder)); });
    IgnoreErrors([&] { Kill(windows_directory + "\\recent\\*.*"); });
  }
  IgnoreErrors([&] {
    RegWrite(Path(kPoliciesExplorer, "NoRecentDocsHistory"), clear ? 1 : 0, platform::kRegBinary);
  });
  IgnoreErrors([&] {
    RegWrite(Path(kPoliciesExplorer, "NoRecentDocsMenu"), clear ? 1 : 0, platform::kRegBinary);
  });
  IgnoreErrors([&] { WriteDword(kPoliciesExplorer, "NoFavoritesMenu", clear); });
  if (!IsWindows98()) return;
  if (clear) {
    IgnoreErrors([] { DeleteRegKey(platform::kLocalMachine, kMyDocumentsKey); });
  } else {
    IgnoreErrors([] {
      RegWrite(std::string("Local_Machine,") + kMyDocumentsKey, "My Documents", platform::kRegSz);
    });
  }
}

// Step 8 (ignoring errors).
void WriteMsDosPrompt(const LevelMasks& masks) {
  if (masks.Bit(3, 8)) {
    IgnoreErrors([] { WriteDword(kPoliciesWinOldApp, "Disabled", true); });
    IgnoreErrors([] { WriteDword(kPoliciesWinOldApp, "NoRealMode", true); });
    return;
  }
  if ((masks.mask1 & 0xFFFF7FFFu) != 0) {
    IgnoreErrors([] { WriteDword(kPoliciesWinOldApp, "Disabled", false); });
  }
  IgnoreErrors([] { WriteDword(kPoliciesWinOldApp, "NoRealMode", false); });
}

// Step 10: the hidden Date/Time control panel comes back first (ignoring
// errors); a set mask 1 bit 14 hides it again, raising a failure on Windows
// 9x. On NT Windows protects the system directory, so a refused rename is
// passed over there and the login goes on.
void SwitchDateTimePanel(const LevelMasks& masks, const std::string& system_directory) {
  const std::string shown = system_directory + kDateTimePanel;
  const std::string hidden = system_directory + kHiddenDateTimePanel;
  IgnoreErrors([&] { RaiseIfFileError(platform::MoveFile(hidden, shown), kSource); });
  if (!masks.Bit(1, 14)) return;
  const auto hide = [&] { RaiseIfFileError(platform::MoveFile(shown, hidden), kSource); };
  if (IsWindowsNT()) {
    IgnoreErrors(hide);
  } else {
    hide();
  }
}

// Step 11.
void WriteFolderOptions(const LevelMasks& masks) {
  const bool whole_group = masks.Bit(2, 15);
  WriteDword(kPoliciesExplorer, "NoSetFolders", whole_group || masks.Bit(1, 12));
  WriteDword(kPoliciesExplorer, "NoSetActiveDesktop", whole_group);
  WriteDword(kPoliciesExplorer, "NoFolderOptions", whole_group);
  WriteDword(kPoliciesExplorer, "NoWindowsUpdate", whole_group);
}

// Steps 13 to 17.
void WriteBrowserSettings(const LevelMasks& masks, const UserRecord& record) {
  if (masks.Bit(1, 7)) {
    RegWrite(Path(kExplorerMain, "Start Page"), FieldText(record.start_page), platform::kRegSz);
  }
  if (masks.Bit(3, 18)) {
    RegWrite(Path(kExplorerMain, "Search Page"), FieldText(record.search_page), platform::kRegSz);
  }
  const std::string proxy = ProxyText(record);
  if (masks.Bit(3, 15)) {
    WriteDword(kInternetSettings, "ProxyEnable", true);
    RegWrite(Path(kInternetSettings, "ProxyServer"), proxy, platform::kRegSz);
  } else {
    WriteDword(kInternetSettings, "ProxyEnable", false);
  }
  WriteDword(kInternetSettings, "Security_RunActiveXControls", masks.Bit(3, 12));
  WriteDword(kInternetSettings, "Security_RunJavaApplets", masks.Bit(3, 14));
  WriteDword(kInternetSettings, "Security_RunScripts", masks.Bit(3, 13));
  RegWrite(Path(kInternetSettings, "Code Download"), masks.Bit(3, 11) ? "no" : "yes",
           platform::kRegSz);
}

// Step 18: the Internet zone, only for an Internet Explorer above 4.7.
void WriteInternetZone(const LevelMasks& masks) {
  if (!InternetExplorerAbove47(RegRead(kExplorerVersion))) return;
  const auto write = [](const char* name, int64_t value) {
    RegWrite(Path(kInternetZone, name), value, platform::kRegDword);
  };
  write("1200", masks.Bit(3, 12) ? 3 : 0);
  write("1C00", masks.Bit(3, 14) ? 0 : 0x30000);
  write("1400", masks.Bit(3, 13) ? 3 : 0);
  write("1402", masks.Bit(3, 13) ? 3 : 0);
  write("1001", masks.Bit(3, 11) ? 3 : 0);
  write("1004", masks.Bit(3, 11) ? 3 : 0);
  write("1803", masks.Bit(3, 19) ? 3 : 0);
  write("1802", masks.Bit(3, 21) ? 3 : 0);
}

// Step 21.
void WriteNetworkLevel(int16_t level) {
  switch (level) {
    case 0:
    case 1:
    case 2:
      WriteDword(kPoliciesNetwork, "NoEntireNetwork", level >= 1);
      WriteDword(kPoliciesNetwork, "NoWorkgroupContents", level >= 2);
      WriteDword(kPoliciesExplorer, "NoNetHood", false);
      break;
    case 3:
      WriteDword(kPoliciesExplorer, "NoNetHood", true);
      break;
    default:
      break;
  }
}

// Program paths go to the command line quoted when they hold a blank, so
// that "C:\Program Files\..." can never start "C:\Program.exe".
std::string CommandFor(const std::string& path) {
  return path.find(' ') == std::string::npos ? path : "\"" + path + "\"";
}

}  // namespace

void frmLogin::WriteSettings() {
  // Every value and key this login changes is journaled first, so that the
  // uninstall can put back what was there before Nox.
  UndoJournalScope journal;
  const std::string program_directory = platform::ProgramDirectory();
  const std::string windows_directory = platform::WindowsDirectory();

  WipeTemporaryFolder(DirList, program_directory + "\\tmp");                    // 1
  const std::string system_directory = WithSlash(platform::SystemDirectory());  // 2 (and 9)
  if (Text1[0].text == "Administrator") SetFieldText(current_user.level_triple, "0,0,0");  // 3
  const uint32_t drive_mask = WriteDriveSchedules(current_user, platform::Now());          // 4
  const LevelMasks masks = ReadLevelTriple(FieldText(current_user.level_triple));          // 5
  WriteCatalogue(masks);                                                                   // 6
  ClearRecentDocuments(masks, windows_directory);                                          // 7
  WriteMsDosPrompt(masks);                                                                 // 8
  SwitchDateTimePanel(masks, system_directory);                                            // 10
  WriteFolderOptions(masks);                                                               // 11
  ApplyBootOptions(BootOptionsValue(masks));                                               // 12
  WriteBrowserSettings(masks, current_user);                                               // 13-17
  WriteInternetZone(masks);                                                                // 18
  WriteDword(kPoliciesExplorer, "NoSaveSettings",
             masks.Bit(1, 4) || masks.Bit(2, 0) || masks.Bit(2, 2));   // 19
  RegWrite(kLoggingValue, masks.Bit(1, 8) ? 1 : 0, platform::kRegSz);  // 20
  WriteNetworkLevel(current_user.network_level);                       // 21
  WriteModernSwitches(masks.mask2, drive_mask);

  // From here to the end every failure is ignored.
  IgnoreErrors([&] {  // 22
    RaiseIfFileError(platform::CreateDirectory(program_directory + "\\tmp\\Start Menu"), kSource);
  });
  IgnoreErrors([&] { SetStartMenu(static_cast<int32_t>(masks.mask2), 1); });  // 23
  if (IsWindowsNT()) IgnoreErrors([&] { SetStartMenu(static_cast<int32_t>(masks.mask2), 2); });
  ApplyProgramList(current_user, current_record_number, List1);  // 24
  platform::RegFlushKey(platform::kCurrentUser);                 // 25
  StartShell(
      {{CommandFor(windows_directory + "\\explorer.exe"), platform::WindowState::kMaximizedFocus},
       {CommandFor(program_directory + "\\pelorus.exe"),
        platform::WindowState::kMinimizedFocus}});  // 26, 27
}

void frmLogin::StartShell(const std::vector<ProgramToStart>& programs) {
  if (outlet.start_shell) {
    outlet.start_shell(programs);
    return;
  }
  // A program that cannot be started is passed over.
  for (const ProgramToStart& program : programs) {
    platform::StartProgram(program.command_line, program.state);
  }
  platform::EndProgram(0);
}

}  // namespace nox
