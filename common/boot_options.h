// The start-up switches of MSDOS.SYS ("BootMulti", "BootWarn", "BootKeys" in
// section "Options"), on the boot drive or on the host drives that
// "C:\drives.dat" names for a compressed boot drive.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace nox {

inline constexpr const char* kDriveListFile = "C:\\drives.dat";

// True when the file opens for reading, or when opening it is refused with
// "Permission denied" (70): a file that exists but is locked.
bool FileIsPresent(const std::string& path);

// Sets the file's attributes to normal (they stay so), then writes the three
// switches = `value` in that order. Raises the error of the first failing
// step; the switches written before it stay written.
void WriteBootSwitches(const std::string& file, const std::string& value);

// The drive letters the drive list names, in the order their MSDOS.SYS files
// are to be written: for each line that contains "Host drive for drive"
// (letter case ignored), the first non-blank character behind the first
// "Drive" of the line, then the one behind the phrase. A letter is empty
// when nothing follows.
std::vector<std::string> HostDriveLetters(std::string_view drive_list);

// Writes the switches = `value` into every MSDOS.SYS the drive list names
// (present ones only), or into C:\Msdos.sys when there is no drive list.
// Never raises: an error ends the step quietly.
void ApplyBootOptions(const std::string& value);

}  // namespace nox
