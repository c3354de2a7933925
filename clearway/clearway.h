// Clearway, the uninstaller: given the administrator password (or "/U") it
// deletes the table files and writes every restriction the login program
// imposes back to off, then puts back the Date/Time panel, the Start-menu
// folders and the boot options.
//
// Every routine here runs under the error trap (TracedRoutine): the main
// routine passes over any statement that fails; the others hand their
// errors to the trap. Modules as the trap reports them: "Clearway" for the
// main routine, "hidea" for the registry writes, "hide" for the rest.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "common/regpath.h"

namespace nox::clearway {

// The uninstall run for the text after the program name. Ends the program
// through platform::EndProgram; never returns.
[[noreturn]] void UninstallMain(const std::string& command_line);

// True when the command line, trimmed of blanks, ends in "/U" (any case).
bool EndsInUninstallSwitch(std::string_view command_line);

// The policy values reset to REG_DWORD 0 in every pass, in order, after
// "NoDrives". Registry path strings.
const std::array<std::string, 43>& ResetList();

// 95, 98, 40 (NT 4), 351 (NT 3.51) or 0 for any other system.
int32_t WindowsVersionCode();

// Points the Start-menu folders of `scope` (1 the current user, any other
// value all users) back at the standard folders the login program saved.
void RestoreStartMenu(int32_t scope);

// Deletes the four values the login program's Start-menu switching saved
// for `scope`, so that its next switch records the standard folders afresh.
// Once, after the last pass: a pass after it would find nothing saved and
// restore whatever folder Windows reports now, the restricted one too.
void ForgetStartMenuSwitching(int32_t scope);

// The uninstaller's RegWrite: always direct, the key created when missing;
// types 3 and 4 as the 4 bytes of dectoHextoDec, others as text.
void RegWrite(const std::string& regline, const RegValue& regvalue, int32_t dwtype);

// The number's bytes, lowest first.
std::string dectoHextoDec(int64_t value);

// The system and Windows directories, each with a final "\".
std::string SystemDirectory();
std::string WindowsDirectory();

}  // namespace nox::clearway
