#include "common/modern_switches.h"

#include <array>

#include "platform/platform.h"

namespace nox {
namespace {

#define NOX_POLICIES "Current_User,Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\"
#define NOX_ACCESSIBILITY "Current_User,Control Panel\\Accessibility\\"
constexpr const char* kSystem = NOX_POLICIES "System,";
constexpr const char* kExplorer = NOX_POLICIES "Explorer,";
constexpr const char* kDisallowRun = NOX_POLICIES "Explorer\\DisallowRun,";
constexpr const char* kCommandPrompt =
    "Current_User,Software\\Policies\\Microsoft\\Windows\\System,";
constexpr const char* kScriptHost =
    "Current_User,Software\\Microsoft\\Windows Script Host\\Settings,";
constexpr const char* kRemovableStorage =
    "Current_User,Software\\Policies\\Microsoft\\Windows\\RemovableStorageDevices,";
constexpr std::array<const char*, 2> kBrowsers = {
    "Current_User,Software\\Policies\\Microsoft\\Edge",
    "Current_User,Software\\Policies\\Google\\Chrome"};
#undef NOX_POLICIES

// Every program Explorer refuses under bit 20: the shells, the script hosts,
// the registry, console and setup tools, and the two programs of ours that
// undo or rewrite the restrictions.
constexpr std::array<const char*, 16> kRefusedPrograms = {
    "powershell.exe", "powershell_ise.exe", "pwsh.exe",     "wt.exe",      "cmd.exe", "wscript.exe",
    "cscript.exe",    "mshta.exe",          "regedit.exe",  "reg.exe",     "mmc.exe", "taskmgr.exe",
    "control.exe",    "msiexec.exe",        "Clearway.exe", "noxadmin.exe"};

// The accessibility flags: the value bit 25 writes and Windows' default.
struct AccessibilityFlags {
  const char* regline;
  const char* on;
  const char* standard;
};
constexpr std::array<AccessibilityFlags, 3> kAccessibility = {{
    {NOX_ACCESSIBILITY "StickyKeys,Flags", "506", "510"},
    {NOX_ACCESSIBILITY "Keyboard Response,Flags", "122", "126"},
    {NOX_ACCESSIBILITY "ToggleKeys,Flags", "58", "62"},
}};
#undef NOX_ACCESSIBILITY

// The values bit `bit` sets to a number (its other values come apart).
struct NumberValue {
  int bit;
  const char* prefix;
  const char* name;
  int64_t value;
};
constexpr std::array<NumberValue, 9> kNumberValues = {{
    {16, kSystem, "DisableTaskMgr", 1},
    {17, kCommandPrompt, "DisableCMD", 1},
    {18, kExplorer, "NoControlPanel", 1},
    {19, kExplorer, "NoWinKeys", 1},
    {19, kExplorer, "NoTrayContextMenu", 1},
    {20, kExplorer, "DisallowRun", 1},
    {23, kRemovableStorage, "Deny_All", 1},
    {26, kExplorer, "NoStartMenuMorePrograms", 1},
    {27, kSystem, "DisableChangePassword", 1},
}};

bool Has(uint32_t bits, int bit) { return (bits >> bit) & 1u; }

RegStep Write(std::string regline, RegValue value, uint32_t type) {
  return RegStep{RegStep::Kind::kWrite, std::move(regline), std::move(value),
                 static_cast<int32_t>(type)};
}

RegStep Delete(RegStep::Kind kind, std::string regline) {
  return RegStep{kind, std::move(regline)};
}

// The steps of one bit; `on` picks the writes, else the removals.
void AddSteps(int bit, bool on, uint32_t drive_mask, std::vector<RegStep>* steps) {
  using Kind = RegStep::Kind;
  for (const NumberValue& number : kNumberValues) {
    if (number.bit != bit) continue;
    const std::string regline = std::string(number.prefix) + number.name;
    steps->push_back(on ? Write(regline, number.value, platform::kRegDword)
                        : Delete(Kind::kDeleteValue, regline));
  }
  if (bit == 20) {
    if (!on) steps->push_back(Delete(Kind::kDeleteKey, kDisallowRun));
    for (size_t i = 0; on && i < kRefusedPrograms.size(); ++i) {
      steps->push_back(
          Write(kDisallowRun + std::to_string(i + 1), kRefusedPrograms[i], platform::kRegSz));
    }
  } else if (bit == 21) {
    const std::string regline = std::string(kScriptHost) + "Enabled";
    steps->push_back(on ? Write(regline, "0", platform::kRegSz)
                        : Delete(Kind::kDeleteValue, regline));
  } else if (bit == 22) {
    const std::string regline = std::string(kExplorer) + "NoViewOnDrive";
    steps->push_back(on ? Write(regline, static_cast<int64_t>(drive_mask), platform::kRegDword)
                        : Delete(Kind::kDeleteValue, regline));
  } else if (bit == 24) {
    for (const char* browser : kBrowsers) {
      const std::string key = std::string(browser) + ",";
      const std::string blocklist = std::string(browser) + "\\URLBlocklist,";
      if (on) {
        steps->push_back(Write(key + "DownloadRestrictions", 3, platform::kRegDword));
        steps->push_back(Write(key + "DeveloperToolsAvailability", 2, platform::kRegDword));
        steps->push_back(Write(blocklist + "1", "file://*", platform::kRegSz));
      } else {
        steps->push_back(Delete(Kind::kDeleteValue, key + "DownloadRestrictions"));
        steps->push_back(Delete(Kind::kDeleteValue, key + "DeveloperToolsAvailability"));
        steps->push_back(Delete(Kind::kDeleteKey, blocklist));
      }
    }
  } else if (bit == 25) {
    for (const AccessibilityFlags& flags : kAccessibility) {
      steps->push_back(Write(flags.regline, on ? flags.on : flags.standard, platform::kRegSz));
    }
  }
}

std::vector<RegStep> StepsFor(uint32_t bits, bool on, uint32_t drive_mask) {
  std::vector<RegStep> steps;
  for (int bit = 16; bit <= 27; ++bit) {
    if (Has(bits, bit)) AddSteps(bit, on, drive_mask, &steps);
  }
  return steps;
}

}  // namespace

std::vector<RegStep> SwitchWrites(uint32_t mask2, uint32_t drive_mask) {
  return StepsFor(mask2, true, drive_mask);
}

std::vector<RegStep> SwitchRemovals(uint32_t bits) { return StepsFor(bits, false, 0); }

uint32_t ReadWrittenSwitches(std::string_view marker) {
  if (!marker.empty() && marker.back() == '\\') marker.remove_suffix(1);
  const size_t first = marker.find_first_not_of(' ');
  if (first == std::string_view::npos) return 0;
  marker = marker.substr(first, marker.find_last_not_of(' ') - first + 1);
  uint64_t bits = 0;
  for (char c : marker) {
    if (c < '0' || c > '9') return kModernSwitchBits;
    bits = bits * 10 + static_cast<uint64_t>(c - '0');
    if (bits > kModernSwitchBits) return kModernSwitchBits;
  }
  return (bits & ~uint64_t{kModernSwitchBits}) != 0 ? kModernSwitchBits
                                                    : static_cast<uint32_t>(bits);
}

bool RunRegStep(const RegStep& step, RegFlavor flavor) {
  switch (step.kind) {
    case RegStep::Kind::kWrite:
      RegWrite(step.regline, step.value, step.type, flavor);
      return true;
    case RegStep::Kind::kDeleteValue:
      return DeleteRegValue(step.regline);
    case RegStep::Kind::kDeleteKey:
      break;
  }
  const RegPath path = SplitRegPath(step.regline);
  RegDeleteKeyTree(path.root, path.key);
  platform::ScopedRegKey left;
  return platform::RegOpenKey(path.root, path.key, platform::kKeyRead, left.receive()) ==
         platform::kFileNotFound;
}

}  // namespace nox
