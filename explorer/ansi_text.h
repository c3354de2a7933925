// Text rules of the login program: blanks trimmed (only the blank, as the
// tables pad with it) and names compared without regard to letter case in
// the Windows ANSI code page.
#pragma once

#include <string>
#include <string_view>

namespace nox {

// `text` without leading and trailing blanks (tabs and other characters stay).
std::string TrimBlanks(std::string_view text);

// Equal without regard to letter case: ASCII letters and the accented
// letters of code page 1252.
bool EqualsIgnoreCase(std::string_view a, std::string_view b);

}  // namespace nox
