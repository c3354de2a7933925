// A program's own command line: the login program and the uninstaller.
#pragma once

#include <string>
#include <string_view>

namespace nox {

// What follows the program name in a full process command line, with the one
// blank (or tab) that separates them removed and nothing else trimmed, so
// that the program's path, a blank and this text give the line back. The
// program name ends at its closing quote when it starts with one, else at
// the first blank or tab.
std::string CommandTail(std::string_view full_command_line);

}  // namespace nox
