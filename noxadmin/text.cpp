#include "noxadmin/text.h"

#include <array>
#include <cstdint>

#include "noxadmin/host.h"
#include "noxadmin/utf8.h"

namespace nox::admin {
namespace {

// Unicode code points of the bytes 0x80 to 0x9F; 0 where the code page
// assigns nothing.
constexpr std::array<char32_t, 32> kHighControls = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

std::optional<char> AnsiByteOf(char32_t code) {
  if (code < 0x80 || (code >= 0xA0 && code <= 0xFF)) return static_cast<char>(code);
  for (size_t i = 0; i < kHighControls.size(); ++i) {
    if (kHighControls[i] != 0 && kHighControls[i] == code) return static_cast<char>(0x80 + i);
  }
  return std::nullopt;
}

bool IsCsvLineEnd(char c) { return c == '\r' || c == '\n'; }

}  // namespace

std::optional<std::string> Utf8ToAnsi(std::string_view utf8) {
  std::string out;
  size_t pos = 0;
  while (pos < utf8.size()) {
    const std::optional<char32_t> code = NextCodePoint(utf8, pos);
    if (!code) return std::nullopt;
    const std::optional<char> byte = AnsiByteOf(*code);
    if (!byte) return std::nullopt;
    out.push_back(*byte);
  }
  return out;
}

std::string AnsiToUtf8(std::string_view ansi) {
  std::string out;
  for (char c : ansi) {
    const auto byte = static_cast<uint8_t>(c);
    char32_t code = byte;
    if (byte >= 0x80 && byte <= 0x9F) {
      code = kHighControls[byte - 0x80] != 0 ? kHighControls[byte - 0x80] : 0xFFFD;
    }
    AppendUtf8(code, out);
  }
  return out;
}

std::optional<std::string> InputToAnsi(std::string_view text) {
  if (kHostTextIsAnsi) return std::string(text);
  return Utf8ToAnsi(text);
}

std::string AnsiToOutput(std::string_view ansi) {
  return kHostTextIsAnsi ? std::string(ansi) : AnsiToUtf8(ansi);
}

std::string OutputToUtf8(std::string_view text) {
  return kHostTextIsAnsi ? AnsiToUtf8(text) : std::string(text);
}

std::optional<std::string> Utf8ToInput(std::string_view utf8) {
  if (kHostTextIsAnsi) return Utf8ToAnsi(utf8);
  return std::string(utf8);
}

const char* OutputCharset() { return kHostTextIsAnsi ? "windows-1252" : "utf-8"; }

std::vector<std::string> SplitList(std::string_view text, char separator) {
  std::vector<std::string> pieces;
  if (TrimBlanks(text).empty()) return pieces;
  size_t start = 0;
  while (true) {
    const size_t end = text.find(separator, start);
    pieces.push_back(TrimBlanks(
        text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start)));
    if (end == std::string_view::npos) break;
    start = end + 1;
  }
  return pieces;
}

std::optional<CsvDocument> ParseCsv(std::string_view text, RowProblem* error) {
  CsvDocument document;
  if (text.substr(0, 3) == "\xEF\xBB\xBF") {
    document.utf8_bom = true;
    text.remove_prefix(3);
  }
  size_t pos = 0;
  int line = 1;
  const auto fail = [&](const std::string& what) {
    *error = {line, what};
    return std::nullopt;
  };
  while (pos < text.size()) {
    std::vector<std::string> row;
    document.row_lines.push_back(line);
    while (true) {
      std::string cell;
      if (pos < text.size() && text[pos] == '"') {
        ++pos;
        while (true) {
          if (pos >= text.size()) return fail("a quoted cell is never closed");
          if (text[pos] == '"') {
            if (pos + 1 < text.size() && text[pos + 1] == '"') {
              cell.push_back('"');
              pos += 2;
              continue;
            }
            ++pos;
            break;
          }
          if (text[pos] == '\n' ||
              (text[pos] == '\r' && (pos + 1 >= text.size() || text[pos + 1] != '\n'))) {
            ++line;
          }
          cell.push_back(text[pos++]);
        }
        if (pos < text.size() && text[pos] != ',' && !IsCsvLineEnd(text[pos])) {
          return fail("text after the closing quote of a cell");
        }
      } else {
        while (pos < text.size() && text[pos] != ',' && !IsCsvLineEnd(text[pos])) {
          cell.push_back(text[pos++]);
        }
      }
      row.push_back(std::move(cell));
      if (pos < text.size() && text[pos] == ',') {
        ++pos;
        continue;
      }
      break;
    }
    if (pos < text.size() && text[pos] == '\r') ++pos;
    if (pos < text.size() && text[pos] == '\n') ++pos;
    ++line;
    document.rows.push_back(std::move(row));
  }
  return document;
}

std::string CsvRow(const std::vector<std::string>& cells) {
  std::string out;
  for (size_t i = 0; i < cells.size(); ++i) {
    if (i > 0) out.push_back(',');
    const std::string& cell = cells[i];
    const bool quote = cell.find_first_of(",\"\r\n") != std::string::npos ||
                       (!cell.empty() && (cell.front() == ' ' || cell.back() == ' '));
    if (!quote) {
      out += cell;
      continue;
    }
    out.push_back('"');
    for (char c : cell) {
      if (c == '"') out.push_back('"');
      out.push_back(c);
    }
    out.push_back('"');
  }
  out += "\r\n";
  return out;
}

}  // namespace nox::admin
