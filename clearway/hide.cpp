// The uninstaller's helpers: the Windows version, the directories and the
// Start-menu restore.
#include <string>

#include "clearway/clearway.h"
#include "clearway/snare/traced_routine.h"
#include "platform/platform.h"

namespace nox::clearway {
namespace {

constexpr const char* kExplorerKey = "Software\\Microsoft\\Windows\\CurrentVersion\\explorer";

// The Start-menu switching values the login program saves beside Windows'
// own "Shell folders" values.
constexpr const char* kSwitchingValues[] = {"NoxMenu Programs", "WinMenu Programs", "NoxStart Menu",
                                            "WinStart Menu"};

struct StartMenuScope {
  const char* folder_value;
  const char* menu_value;
  const char* root_word;
  platform::RegKey root;
};

constexpr StartMenuScope kCurrentUserScope{"Programs", "Start Menu", "Current_User",
                                           platform::kCurrentUser};
constexpr StartMenuScope kAllUsersScope{"Common Programs", "Common Start Menu", "Local_Machine",
                                        platform::kLocalMachine};

std::string WithFinalBackslash(std::string folder) {
  if (folder.empty() || folder.back() != '\\') folder += '\\';
  return folder;
}

// A registry text without the backslash RegRead appends.
std::string ReadText(const std::string& regline) {
  std::string text = RegRead(regline, RegFlavor::kUninstaller);
  text.pop_back();
  return text;
}

bool IsSet(const std::string& text) { return text.find_first_not_of(' ') != std::string::npos; }

void DeleteSwitchingValues(platform::RegKey root) {
  platform::ScopedRegKey shell_folders;
  if (platform::RegOpenKey(root, std::string(kExplorerKey) + "\\Shell folders",
                           platform::kKeyAllAccess,
                           shell_folders.receive()) != platform::kSuccess) {
    return;
  }
  for (const char* name : kSwitchingValues) platform::RegDeleteValue(shell_folders.get(), name);
}

}  // namespace

int32_t WindowsVersionCode() {
  TracedRoutine routine("hide", "Function WindowsVersionCode");
  int32_t code = 0;
  routine.Do([&] {
    platform::OsVersion version;
    if (!platform::GetOsVersion(&version)) return;
    if (version.platform_id == platform::kPlatformWindows) {
      if (version.minor == 0) code = 95;
      if (version.minor == 10) code = 98;
    } else if (version.platform_id == platform::kPlatformNt) {
      if (version.major == 3) code = 351;
      if (version.major == 4) code = 40;
    }
  });
  return code;
}

std::string SystemDirectory() {
  TracedRoutine routine("hide", "Function SystemDirectory");
  std::string folder;
  routine.Do([&] { folder = WithFinalBackslash(platform::SystemDirectory()); });
  return folder;
}

std::string WindowsDirectory() {
  TracedRoutine routine("hide", "Function WindowsDirectory");
  std::string folder;
  routine.Do([&] { folder = WithFinalBackslash(platform::WindowsDirectory()); });
  return folder;
}

void RestoreStartMenu(int32_t scope) {
  TracedRoutine routine("hide", "Sub RestoreStartMenu", [&] {
    return ArgumentList({{"scope", std::to_string(scope)}});
  });
  const StartMenuScope& s = scope == 1 ? kCurrentUserScope : kAllUsersScope;
  const std::string root(s.root_word);
  const std::string shell_folders = root + "," + kExplorerKey + "\\Shell folders,";
  const std::string user_shell_folders = root + "," + kExplorerKey + "\\User Shell folders,";
  std::string programs;
  std::string start_menu;
  routine.Do([&] { programs = ReadText(shell_folders + s.folder_value); });
  routine.Do([&] { start_menu = ReadText(shell_folders + s.menu_value); });
  routine.Do([&] {
    const std::string saved = ReadText(shell_folders + "WinMenu Programs");
    if (IsSet(saved)) programs = saved;
  });
  routine.Do([&] {
    const std::string saved = ReadText(shell_folders + "WinStart Menu");
    if (IsSet(saved)) start_menu = saved;
  });
  // A folder that is known nowhere stays as it is rather than becoming the
  // blanks of a missing value.
  routine.Do([&] {
    if (IsSet(programs)) RegWrite(user_shell_folders + s.folder_value, programs, platform::kRegSz);
  });
  routine.Do([&] {
    RegWrite(root +
                 ",Software\\Microsoft\\Windows\\CurrentVersion\\policies\\explorer,"
                 "NoStartMenuSubFolders",
             0, platform::kRegDword);
  });
  routine.Do([&] {
    if (IsSet(start_menu))
      RegWrite(user_shell_folders + s.menu_value, start_menu, platform::kRegSz);
  });
}

void ForgetStartMenuSwitching(int32_t scope) {
  TracedRoutine routine("hide", "Sub ForgetStartMenuSwitching", [&] {
    return ArgumentList({{"scope", std::to_string(scope)}});
  });
  const StartMenuScope& s = scope == 1 ? kCurrentUserScope : kAllUsersScope;
  routine.Do([&] { DeleteSwitchingValues(s.root); });
}

}  // namespace nox::clearway
