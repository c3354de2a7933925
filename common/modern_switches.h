// The twelve switches of mask 2 bits 16 to 27 that close what Windows 10 and
// 11 leave open (Task Manager, cmd.exe, script hosts, the Settings app,
// removable storage, browser downloads...), and their removal.
//
// A set bit writes its values into the user's hive. A clear bit writes
// nothing, but removes what an earlier login of the profile wrote for it:
// the marker value kWrittenSwitches (REG_SZ, the decimal mask of the bits
// whose values may be present) tells a later login which ones those are.
// The marker lives under Software\Policies, which the user cannot change
// on NT, and is written through the same path as the switches themselves.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/regpath.h"

namespace nox {

inline constexpr uint32_t kModernSwitchBits = 0x0FFF0000;  // mask 2 bits 16 to 27
inline constexpr const char* kWrittenSwitches =
    "Current_User,Software\\Policies\\Quillon\\Explorer,WrittenSwitches";

// One registry step: set a value, delete a value, or delete a key with its
// subkeys (the key of `regline`; its value name is not used).
struct RegStep {
  enum class Kind { kWrite, kDeleteValue, kDeleteKey };
  Kind kind;
  std::string regline;
  RegValue value = 0;
  int32_t type = 0;
};

// What the set bits of `mask2` write, in bit order. `drive_mask` is the
// login's "NoDrives" mask, which "NoViewOnDrive" repeats.
std::vector<RegStep> SwitchWrites(uint32_t mask2, uint32_t drive_mask);

// What takes back the values of the bits set in `bits`: each value deleted,
// the DisallowRun and URLBlocklist keys deleted, the accessibility flags
// back at Windows' defaults.
std::vector<RegStep> SwitchRemovals(uint32_t bits);

// The bits a marker text (RegRead's result, final backslash included)
// records: 0 when the value is missing or empty; all twelve when it is
// anything but a decimal number within kModernSwitchBits, since a damaged
// marker cannot tell which values an earlier login left.
uint32_t ReadWrittenSwitches(std::string_view marker);

// Runs one step through the layer. False when a deletion left its value or
// key in place (a write reports nothing and counts as done).
bool RunRegStep(const RegStep& step, RegFlavor flavor);

}  // namespace nox
