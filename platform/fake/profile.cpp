// Initialisation files (GetPrivateProfileStringA / WritePrivateProfileStringA)
// over the fake file system. The writer edits the file in place: it changes
// or adds the one line it is asked for and keeps every other byte.
#include <algorithm>

#include "platform/fake/fake_state.h"
#include "platform/platform.h"

namespace platform {

namespace {

bool IsProfileSpace(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f' || c == 0x1A;
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsProfileSpace(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsProfileSpace(text.back())) text.remove_suffix(1);
  return text;
}

bool SameName(std::string_view a, std::string_view b) {
  return fake::Fold(Trim(a)) == fake::Fold(Trim(b));
}

// A name without a folder lives in the Windows directory.
std::string ProfilePath(const std::string& file) {
  bool has_folder =
      file.find_first_of("\\/") != std::string::npos || (file.size() >= 2 && file[1] == ':');
  return has_folder ? file : WindowsDirectory() + "\\" + file;
}

// One line of the file with its line end, as it stands in the file.
std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    end = end == std::string::npos ? text.size() : end + 1;
    lines.push_back(text.substr(start, end - start));
    start = end;
  }
  return lines;
}

// The section name of a "[name]" line; nullopt for other lines.
std::optional<std::string_view> SectionName(std::string_view line) {
  std::string_view text = Trim(line);
  size_t close = text.rfind(']');
  if (text.empty() || text.front() != '[' || close == std::string_view::npos) return std::nullopt;
  return text.substr(1, close - 1);
}

// The name and value of a "name=value" line, both trimmed.
bool SplitEntry(std::string_view line, std::string_view* name, std::string_view* value) {
  std::string_view text = Trim(line);
  size_t equals = text.find('=');
  if (equals == std::string_view::npos) return false;
  *name = Trim(text.substr(0, equals));
  *value = Trim(text.substr(equals + 1));
  return true;
}

// Where a section's lines are: [header, end) with `end` at the next header.
struct SectionSpan {
  size_t header;
  size_t end;
};

std::optional<SectionSpan> FindSection(const std::vector<std::string>& lines,
                                       const std::string& section) {
  for (size_t i = 0; i < lines.size(); ++i) {
    std::optional<std::string_view> name = SectionName(lines[i]);
    if (!name || !SameName(*name, section)) continue;
    size_t end = i + 1;
    while (end < lines.size() && !SectionName(lines[end])) ++end;
    return SectionSpan{i, end};
  }
  return std::nullopt;
}

std::optional<size_t> FindKey(const std::vector<std::string>& lines, SectionSpan span,
                              const std::string& key) {
  for (size_t i = span.header + 1; i < span.end; ++i) {
    std::string_view name;
    std::string_view value;
    if (SplitEntry(lines[i], &name, &value) && SameName(name, key)) return i;
  }
  return std::nullopt;
}

std::string Join(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line;
  return text;
}

}  // namespace

bool WriteProfileString(const std::string& section, const std::string& key,
                        const std::string& value, const std::string& file) {
  const std::string path = ProfilePath(file);
  std::string text;
  long error = ReadWholeFile(path, &text);
  if (error != kSuccess && error != kFileNotFound) return false;
  std::vector<std::string> lines = SplitLines(text);
  const std::string entry = key + "=" + value + "\r\n";
  if (std::optional<SectionSpan> span = FindSection(lines, section)) {
    if (std::optional<size_t> line = FindKey(lines, *span, key)) {
      std::string_view stored_name;
      std::string_view stored_value;
      SplitEntry(lines[*line], &stored_name, &stored_value);
      lines[*line] = std::string(stored_name) + "=" + value + "\r\n";
    } else {
      size_t after = span->end;
      while (after > span->header + 1 && Trim(lines[after - 1]).empty()) --after;
      if (!lines[after - 1].ends_with('\n')) lines[after - 1] += "\r\n";
      lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(after), entry);
    }
  } else {
    if (!lines.empty() && !lines.back().ends_with('\n')) lines.back() += "\r\n";
    lines.push_back("[" + section + "]\r\n");
    lines.push_back(entry);
  }
  return fake::OverwriteFile(path, Join(lines)) == kSuccess;
}

std::string GetProfileString(const std::string& section, const std::string& key,
                             const std::string& default_value, const std::string& file) {
  std::string text;
  if (ReadWholeFile(ProfilePath(file), &text) == kSuccess) {
    std::vector<std::string> lines = SplitLines(text);
    std::optional<SectionSpan> span = FindSection(lines, section);
    std::optional<size_t> line = span ? FindKey(lines, *span, key) : std::nullopt;
    if (line) {
      std::string_view name;
      std::string_view value;
      SplitEntry(lines[*line], &name, &value);
      if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
          value.back() == value.front()) {
        value = value.substr(1, value.size() - 2);
      }
      return std::string(value);
    }
  }
  std::string fallback = default_value;
  while (!fallback.empty() && fallback.back() == ' ') fallback.pop_back();
  return fallback;
}

}  // namespace platform
