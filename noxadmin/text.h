// Text helpers of noxadmin: the tables' ANSI code page, names compared
// without regard to letter case, and CSV files.
//
// The tables hold Windows-1252 text. noxadmin.exe takes its arguments and
// files in that code page as they come; the Linux build takes UTF-8 (as the
// terminal and the files of a Linux machine are) and converts at the edge,
// so what it writes is what the login program will compare.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/ansi_text.h"
#include "noxadmin/problem.h"

namespace nox::admin {

// UTF-8 to Windows-1252; nullopt when the text is not valid UTF-8 or holds a
// character the code page lacks.
std::optional<std::string> Utf8ToAnsi(std::string_view utf8);
// Windows-1252 to UTF-8 (the five unassigned bytes become U+FFFD).
std::string AnsiToUtf8(std::string_view ansi);

// Text as typed or read by the administrator (the command line, a CSV file)
// to the tables' code page, and back: identity in the Win32 build.
std::optional<std::string> InputToAnsi(std::string_view text);
std::string AnsiToOutput(std::string_view ansi);

// The command line's output as UTF-8 (for a browser), and UTF-8 as the
// command line takes its arguments (nullopt when it cannot); identity in the
// Linux build.
std::string OutputToUtf8(std::string_view text);
std::optional<std::string> Utf8ToInput(std::string_view utf8);
// The charset of the command line's output, as HTTP names it.
const char* OutputCharset();

// Splits at `separator`, each piece trimmed of blanks; an empty or blank text
// gives no pieces.
std::vector<std::string> SplitList(std::string_view text, char separator);

// A CSV file: rows of cells. Cells are separated by commas; a cell that
// starts with a double quote runs to the closing quote, "" standing for one
// quote, and may hold commas and line ends. Rows end at CR LF, LF or CR. A
// UTF-8 byte order mark at the start is dropped and reported. Blank rows are
// kept as rows of one empty cell.
struct CsvDocument {
  std::vector<std::vector<std::string>> rows;
  std::vector<int> row_lines;  // the line each row starts on, 1-based
  bool utf8_bom = false;
};

// Parses `text`; nullopt with `error` set for a quoted cell that is never
// closed or text between a closing quote and the next separator.
std::optional<CsvDocument> ParseCsv(std::string_view text, RowProblem* error);

// One row with CR LF, quoting only the cells that need it.
std::string CsvRow(const std::vector<std::string>& cells);

}  // namespace nox::admin
