// Text rules every program shares: blanks trimmed (only the blank, as the
// tables pad with it) and names compared without regard to letter case in
// the Windows ANSI code page (1252), the way Windows folds names.
#pragma once

#include <string>
#include <string_view>

namespace nox {

// `text` without leading and trailing blanks (tabs and other characters stay).
std::string TrimBlanks(std::string_view text);

// Upper case of a Windows-1252 text: ASCII letters and the accented letters
// of the code page.
std::string FoldCase(std::string_view ansi);

// Equal once both are folded.
bool EqualsIgnoreCase(std::string_view a, std::string_view b);

}  // namespace nox
