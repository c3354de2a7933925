#include "common/catalogue.h"

#include <limits>

#include "common/ansi_text.h"
#include "common/level_triple.h"
#include "common/runtime_error.h"

namespace nox {

#define NOX_POLICIES "Current_User,Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\"

const std::array<CatalogueEntry, kCatalogueSize> kCatalogue = {{
    {NOX_POLICIES "System,NoDispBackgroundPage", "Hide the Background page of Display"},
    {NOX_POLICIES "System,NoDispSettingsPage", "Hide the Settings page of Display"},
    {NOX_POLICIES "System,NoDispAppearancePage", "Hide the Appearance page of Display"},
    {NOX_POLICIES "System,NoDispScrSavPage", "Hide the Screen Saver page of Display"},
    {NOX_POLICIES "System,NoDispCPL", "Disable the Display control panel"},
    {NOX_POLICIES "Explorer,NoSetFolders", "Remove Folders from Settings on the Start menu"},
    {NOX_POLICIES "Explorer,Dummy", "Placeholder, no restriction"},
    {NOX_POLICIES "Explorer,Dummy", "Placeholder; the bit sets the browser start page"},
    {NOX_POLICIES "Explorer,Dummy", "Placeholder; the bit switches Netsieve logging on"},
    {NOX_POLICIES "Explorer,Dummy", "Placeholder, no restriction"},
    {NOX_POLICIES "Explorer,Dummy", "Placeholder, no restriction"},
    {NOX_POLICIES "Explorer,Dummy", "Placeholder, no restriction"},
    {NOX_POLICIES "Explorer,NoSetFolders", "Remove Folders from Settings (folder-options group)"},
    {NOX_POLICIES "Explorer,NoDesktop", "Hide every desktop icon"},
    {NOX_POLICIES "System,Dummy", "Placeholder; the bit hides the Date/Time control panel"},
    {NOX_POLICIES "winoldapp,Disabled", "Disable MS-DOS programs"},
    {NOX_POLICIES "Explorer,NoSaveSettings", "Do not save settings at exit"},
    {NOX_POLICIES "Network,NoNetSetup", "Disable the Network control panel"},
    {NOX_POLICIES "System,NoDevMgrPage", "Hide the Device Manager page of System"},
    {NOX_POLICIES "System,NoConfigPage", "Hide the Hardware Profiles page of System"},
    {NOX_POLICIES "Explorer,NoDevMgrPage", "Hide Device Manager (Explorer policy)"},
    {NOX_POLICIES "System,NoAdminPage", "Hide the Remote Administration page of Passwords"},
    {NOX_POLICIES "Explorer,Dummy", "Placeholder; the bit locks the boot menu"},
    {NOX_POLICIES "System,Dummy", "Placeholder, no restriction"},
    {"Local_Machine,Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Network,NoDialIn",
     "Disable dial-in access (all users)"},
    {NOX_POLICIES "network,NoPrintSharingControl", "Disable the printer sharing controls"},
    {NOX_POLICIES "network,NoFileSharingControl", "Disable the file sharing controls"},
    {NOX_POLICIES "Network,NoNetSetupSecurityPage", "Hide the Access Control page of Network"},
    {NOX_POLICIES "Explorer,Dummy", "Placeholder; the bit switches the Start Menu folder"},
    {NOX_POLICIES "Explorer,Dummy", "Placeholder; the bit switches the Programs folder"},
    {NOX_POLICIES "Explorer,Dummy", "Placeholder; the bit clears the recent documents"},
    {NOX_POLICIES "Explorer,NoSetFolders", "Remove Folders from Settings (whole group)"},
    {NOX_POLICIES "Explorer,NoFind", "Remove Find from the Start menu"},
    {NOX_POLICIES "Explorer,Dummy", "Placeholder, no restriction"},
    {NOX_POLICIES "Explorer,NoRun", "Remove Run from the Start menu"},
    {NOX_POLICIES "Explorer,NoClose", "Remove Shut Down from the Start menu"},
    {NOX_POLICIES "Explorer,NoSetTaskBar", "Remove Taskbar from Settings on the Start menu"},
    {NOX_POLICIES "Explorer,NoPrinterTabs", "Hide the General and Details pages of printers"},
    {NOX_POLICIES "system,DisableRegistryTools", "Disable the registry editing tools"},
    {NOX_POLICIES "Explorer,NoDeletePrinter", "Forbid deleting printers"},
    {NOX_POLICIES "Explorer,WinOldApp", "Explorer value WinOldApp (with the MS-DOS prompt bit)"},
    {NOX_POLICIES "Explorer,NoAddPrinter", "Forbid adding printers"},
}};

#undef NOX_POLICIES

const std::array<BitHandling, 36> kBitHandlings = {{
    {1, 4, "Also switches NoSaveSettings"},
    {1, 7, "Sets the browser start page from the account"},
    {1, 8, "Netsieve logging on (off when clear)"},
    {1, 12, "NoSetFolders on, rest of the folder-options group off"},
    {1, 14, "Hides the Date/Time control panel (Timedate.cpl)"},
    {1, 15, "MS-DOS programs disabled unless another mask 1 bit is set"},
    {2, 0, "Also switches NoSaveSettings"},
    {2, 2, "Also switches NoSaveSettings"},
    {2, 6, "Locks the boot menu (MSDOS.SYS switches 0)"},
    {2, 12, "Restricted Start Menu folder"},
    {2, 13, "Restricted Programs folder, no Start-menu subfolders"},
    {2, 14, "Clears recent documents, hides recent and favourites menus"},
    {2, 15, "Whole folder-options group on"},
    {2, 16, "Task Manager disabled"},
    {2, 17, "Command prompt (cmd.exe) and batch files disabled"},
    {2, 18, "Control Panel and the Settings app hidden"},
    {2, 19, "Windows-key shortcuts (Win+X, Win+R) and the taskbar menu off"},
    {2, 20, "Explorer refuses shells, script hosts, registry and setup tools"},
    {2, 21, "Windows Script Host (.vbs, .js files) disabled"},
    {2, 22, "Hidden drives cannot be opened either"},
    {2, 23, "USB sticks and other removable storage refused"},
    {2, 24, "Edge and Chrome: no downloads of danger, developer tools or file:// pages"},
    {2, 25, "Sticky Keys, Filter Keys and Toggle Keys shortcuts off"},
    {2, 26, "All apps list hidden in the Start menu"},
    {2, 27, "Password change refused"},
    {3, 8, "MS-DOS prompt and real mode disabled"},
    {3, 11, "Code download off; Internet zone downloads disabled"},
    {3, 12, "Internet zone ActiveX controls disabled"},
    {3, 13, "Internet zone scripting disabled"},
    {3, 14, "Internet zone Java applets disabled"},
    {3, 15, "Proxy on, servers from the account"},
    {3, 18, "Sets the browser search page from the account"},
    {3, 19, "Internet zone file downloads disabled"},
    {3, 20, "Locks the boot menu (MSDOS.SYS switches 0)"},
    {3, 21, "Internet zone font downloads disabled"},
    {3, 25, "Daily minute budget on"},
}};

const std::array<SecurityLevel, 11> kSecurityLevels = {{
    {"None", "0,0,0"},
    {"Home High", "20752,57359,1049029"},
    {"Home Med.", "4111,8206,960"},
    {"Home Low", "4096,32782,197"},
    {"Office High", "12304,57359,1049045"},
    {"Office Med.", "4104,40974,196"},
    {"Office Low", "4096,32776,4"},
    {"Education High", "53520,63759,3670485"},
    {"Education Med.", "36880,43011,1049045"},
    {"Education Low", "4104,34817,197"},
    {"Education Modern", "53520,268433679,3670493"},
}};

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

uint32_t LeadingDecimal(const std::string& text) {
  uint64_t value = 0;
  for (char c : text) {
    if (!IsDigit(c)) break;
    value = value * 10 + static_cast<uint64_t>(c - '0');
    if (value > static_cast<uint64_t>(std::numeric_limits<int32_t>::max())) {
      Raise(kErrOverflow, "ReadLevelTriple");
    }
  }
  return static_cast<uint32_t>(value);
}

std::string WithoutBlanks(std::string_view text) {
  std::string result;
  for (char c : text) {
    if (c != ' ') result.push_back(c);
  }
  return result;
}

}  // namespace

uint32_t LevelMasks::Mask(int mask_number) const {
  switch (mask_number) {
    case 1:
      return mask1;
    case 2:
      return mask2;
    case 3:
      return mask3;
    default:
      return 0;
  }
}

LevelMasks ReadLevelTriple(std::string_view triple) {
  const std::array<std::string, 3> parts = SplitLevelTriple(triple, "ReadLevelTriple");
  return LevelMasks{LeadingDecimal(parts[0]), LeadingDecimal(parts[1]), LeadingDecimal(parts[2])};
}

std::string LevelNameForTriple(std::string_view triple) {
  const std::string text = WithoutBlanks(triple);
  for (const SecurityLevel& level : kSecurityLevels) {
    if (text == level.triple) return level.name;
  }
  return kCustomLevel;
}

std::optional<std::string> TripleForLevelName(std::string_view name) {
  for (const SecurityLevel& level : kSecurityLevels) {
    if (EqualsIgnoreCase(name, level.name)) return std::string(level.triple);
  }
  return std::nullopt;
}

const char* BootOptionsValue(const LevelMasks& masks) {
  return masks.Bit(2, 6) || masks.Bit(3, 20) ? "0" : "1";
}

}  // namespace nox
