// Start-menu switching: the user's "Programs" and "Start Menu" folders point
// either at the standard folders Windows had (saved once, beside Windows'
// own "Shell folders" values) or at the restricted folders under the
// program's temporary folder.
#include <string>

#include "common/regpath.h"
#include "explorer/frm_login.h"
#include "platform/platform.h"

namespace nox {
namespace {

struct StartMenuScope {
  const char* folder_value;
  const char* menu_value;
  const char* root_word;
};

constexpr StartMenuScope kCurrentUserScope{"Programs", "Start Menu", "Current_User"};
constexpr StartMenuScope kAllUsersScope{"Common Programs", "Common Start Menu", "Local_Machine"};

constexpr int kStartMenuBit = 12;
constexpr int kProgramsBit = 13;

// A registry text without the backslash RegRead appends.
std::string ReadText(const std::string& regline) {
  std::string text = RegRead(regline);
  text.pop_back();
  return text;
}

bool IsSet(const std::string& text) { return text.find_first_not_of(' ') != std::string::npos; }

// The saved or restricted folder under `name`, recorded as `initial` when
// it is not set yet.
std::string ReadOrRecord(const std::string& shell_folders, const char* name,
                         const std::string& initial) {
  std::string folder = ReadText(shell_folders + name);
  if (IsSet(folder)) return folder;
  RegWrite(shell_folders + name, initial, platform::kRegSz);
  return initial;
}

}  // namespace

void frmLogin::SetStartMenu(int32_t mask, int32_t scope) {
  const StartMenuScope& s = scope == 1 ? kCurrentUserScope : kAllUsersScope;
  const std::string root(s.root_word);
  const std::string shell_folders =
      root + ",Software\\Microsoft\\Windows\\CurrentVersion\\explorer\\Shell folders,";
  const std::string user_shell_folders =
      root + ",Software\\Microsoft\\Windows\\CurrentVersion\\explorer\\User Shell folders,";
  const std::string restricted_menu = platform::ProgramDirectory() + "\\tmp\\Start Menu";

  const std::string programs = ReadText(shell_folders + s.folder_value);
  const std::string start_menu = ReadText(shell_folders + s.menu_value);
  const std::string saved_programs = ReadOrRecord(shell_folders, "WinMenu Programs", programs);
  const std::string nox_programs =
      ReadOrRecord(shell_folders, "NoxMenu Programs", restricted_menu + "\\Programs");
  const std::string saved_menu = ReadOrRecord(shell_folders, "WinStart Menu", start_menu);
  const std::string nox_menu = ReadOrRecord(shell_folders, "NoxStart Menu", restricted_menu);

  // A standard folder that was never known (its "Shell folders" value was
  // missing at the first switch) is left alone rather than replaced by blanks.
  const bool restrict_programs = (mask >> kProgramsBit) & 1;
  const std::string& programs_folder = restrict_programs ? nox_programs : saved_programs;
  if (IsSet(programs_folder)) {
    RegWrite(user_shell_folders + s.folder_value, programs_folder, platform::kRegSz);
  }
  RegWrite(root +
               ",Software\\Microsoft\\Windows\\CurrentVersion\\policies\\explorer,"
               "NoStartMenuSubFolders",
           restrict_programs ? 1 : 0, platform::kRegDword);

  const bool restrict_menu = (mask >> kStartMenuBit) & 1;
  const std::string& menu_folder = restrict_menu ? nox_menu : saved_menu;
  if (IsSet(menu_folder)) {
    RegWrite(user_shell_folders + s.menu_value, menu_folder, platform::kRegSz);
  }
}

}  // namespace nox
