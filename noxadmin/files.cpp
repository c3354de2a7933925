#include "noxadmin/files.h"

#include <climits>
#include <cstdio>
#include <memory>

#include "noxadmin/text.h"

namespace nox::admin {

const std::vector<std::string> kCompanionExtensions = {"tbl", "kwt", "pmk", "tbb", "kwb", "pmb"};

namespace {

struct FileCloser {
  void operator()(FILE* file) const { std::fclose(file); }
};
using StdioFile = std::unique_ptr<FILE, FileCloser>;

// A name no other file of the folder has: the process id and a counter.
std::string TemporaryPath(const std::string& beside, const char* suffix) {
  static int counter = 0;
  const size_t slash = beside.find_last_of("/\\");
  const std::string dir = slash == std::string::npos ? "." : beside.substr(0, slash);
  return JoinPath(
      dir, ".noxadmin-" + std::to_string(ProcessId()) + "-" + std::to_string(++counter) + suffix);
}

std::string LowerAscii(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

// "12.TBL" -> {12, "TBL"}; nothing for other names (leading zeros included).
std::optional<CompanionFile> ParseCompanionName(const std::string& name) {
  const size_t dot = name.find('.');
  if (dot == 0 || dot == std::string::npos || name[0] == '0' || dot > 6) return std::nullopt;
  int number = 0;
  for (size_t i = 0; i < dot; ++i) {
    if (name[i] < '0' || name[i] > '9') return std::nullopt;
    number = number * 10 + (name[i] - '0');
  }
  const std::string extension = name.substr(dot + 1);
  for (const std::string& known : kCompanionExtensions) {
    if (LowerAscii(extension) == known) return CompanionFile{number, name, extension};
  }
  return std::nullopt;
}

constexpr std::string_view kTemporaryPrefix = ".noxadmin-";

// The decimal number that makes up all of `digits`; nothing when it is empty,
// has another character or does not fit an int.
std::optional<int> PositiveNumber(std::string_view digits) {
  if (digits.empty() || digits.size() > 10) return std::nullopt;
  long long number = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return std::nullopt;
    number = number * 10 + (c - '0');
  }
  if (number <= 0 || number > INT_MAX) return std::nullopt;
  return static_cast<int>(number);
}

// ".noxadmin-PID-N.tmp" or ".noxadmin-PID-N.aside" -> the file with its
// process id; nothing for other names.
std::optional<LeftoverFile> ParseTemporaryName(const std::string& name) {
  std::string_view rest = name;
  if (rest.substr(0, kTemporaryPrefix.size()) != kTemporaryPrefix) return std::nullopt;
  rest.remove_prefix(kTemporaryPrefix.size());
  const size_t dash = rest.find('-');
  const size_t dot = rest.find('.');
  if (dash == std::string_view::npos || dot == std::string_view::npos || dot < dash) {
    return std::nullopt;
  }
  const std::optional<int> process_id = PositiveNumber(rest.substr(0, dash));
  const std::string_view extension = rest.substr(dot);
  if (!process_id || !PositiveNumber(rest.substr(dash + 1, dot - dash - 1)) ||
      (extension != ".tmp" && extension != ".aside")) {
    return std::nullopt;
  }
  return LeftoverFile{name, *process_id, extension == ".aside"};
}

}  // namespace

std::string JoinPath(const std::string& dir, std::string_view name) {
  if (dir.empty()) return std::string(name);
  std::string path = dir;
  if (path.back() != '/' && path.back() != '\\') path.push_back(kPathSeparator);
  path += name;
  return path;
}

std::string ReadHostFile(const std::string& path) {
  StdioFile file(std::fopen(path.c_str(), "rb"));
  if (!file) throw Refusal("cannot open " + path + ": " + LastErrorText());
  // Read straight into a string of the file's size (a table of thousands of
  // users is tens of megabytes), then whatever the file grew by meanwhile.
  std::string bytes;
  long size = -1;
  if (std::fseek(file.get(), 0, SEEK_END) == 0) size = std::ftell(file.get());
  std::rewind(file.get());
  if (size > 0) {
    bytes.resize(static_cast<size_t>(size));
    bytes.resize(std::fread(bytes.data(), 1, bytes.size(), file.get()));
  }
  char buffer[65536];
  size_t got = 0;
  while ((got = std::fread(buffer, 1, sizeof buffer, file.get())) > 0) bytes.append(buffer, got);
  if (std::ferror(file.get())) throw Refusal("cannot read " + path);
  return bytes;
}

std::string WriteTemporary(const std::string& target, std::string_view bytes) {
  const std::string temporary = TemporaryPath(target, ".tmp");
  WriteNewFile(temporary, bytes, target);
  return temporary;
}

void WriteReplacing(const std::string& target, std::string_view bytes) {
  const std::string temporary = WriteTemporary(target, bytes);
  try {
    ReplaceWith(temporary, target);
  } catch (const Refusal&) {
    RemoveFile(temporary);
    throw;
  }
}

std::vector<std::string> TableFolder::Names() const { return ListFolder(dir_); }

std::vector<std::string> TableFolder::NamesMatching(std::string_view name) const {
  std::vector<std::string> matches;
  const std::string wanted = FoldCase(name);
  for (const std::string& candidate : Names()) {
    if (FoldCase(candidate) == wanted) matches.push_back(candidate);
  }
  return matches;
}

namespace {

// The exact name among the matches, else the first; nothing when none.
std::optional<std::string> Chosen(const std::vector<std::string>& matches, std::string_view name) {
  for (const std::string& match : matches) {
    if (match == name) return match;
  }
  if (matches.empty()) return std::nullopt;
  return matches.front();
}

}  // namespace

std::string TableFolder::ActualName(std::string_view name) const {
  return Chosen(NamesMatching(name), name).value_or(std::string(name));
}

bool TableFolder::Exists(std::string_view name) const { return !NamesMatching(name).empty(); }

std::optional<std::string> TableFolder::Read(std::string_view name) const {
  // One listing of the folder: a user table of thousands reads as many files.
  const std::optional<std::string> actual = Chosen(NamesMatching(name), name);
  if (!actual) return std::nullopt;
  return ReadHostFile(JoinPath(dir_, *actual));
}

std::vector<CompanionFile> TableFolder::Companions() const {
  std::vector<CompanionFile> files;
  for (const std::string& name : Names()) {
    if (std::optional<CompanionFile> file = ParseCompanionName(name)) files.push_back(*file);
  }
  return files;
}

std::vector<LeftoverFile> TableFolder::Leftovers() const {
  std::vector<LeftoverFile> files;
  for (const std::string& name : Names()) {
    const std::optional<LeftoverFile> file = ParseTemporaryName(name);
    if (file && !ProcessRunning(file->process_id)) files.push_back(*file);
  }
  return files;
}

namespace {

// Deletes what ended runs left half done. A set-aside per-user file stays:
// the run may have ended after the new table was in place but before the
// file was renamed back, and then it holds the only copy.
void RemoveLeftovers(const TableFolder& folder) {
  for (const LeftoverFile& file : folder.Leftovers()) {
    if (!file.set_aside) RemoveFile(JoinPath(folder.dir(), file.name));
  }
}

// A per-user file set aside under a temporary name while the table changes.
struct SetAside {
  std::string original;   // full path before
  std::string temporary;  // full path while set aside
  int new_number = 0;     // 0: deleted at the end
  std::string extension;
};

class CommitRun {
 public:
  CommitRun(const TableFolder& folder, const FolderChange& change)
      : folder_(folder), change_(change) {}

  void Run() {
    try {
      SetCompanionsAside();
      WriteTemporaries();
      if (change_.user_table) ReplaceWith(table_temporary_, folder_.PathOf("USER.TBL"));
    } catch (const Failure&) {
      Undo();
      throw;
    }
    PlaceEverything();
  }

 private:
  void SetCompanionsAside() {
    if (change_.origin.empty()) return;
    std::map<int, int> new_number;
    for (size_t j = 0; j < change_.origin.size(); ++j) {
      if (change_.origin[j] != 0) new_number[change_.origin[j]] = static_cast<int>(j + 1);
    }
    for (const CompanionFile& file : folder_.Companions()) {
      const auto moved = new_number.find(file.number);
      const bool removed = moved == new_number.end() && file.number <= change_.old_record_count;
      if (!removed && (moved == new_number.end() || moved->second == file.number)) continue;
      SetAside aside{JoinPath(folder_.dir(), file.name),
                     TemporaryPath(folder_.PathOf(file.name), ".aside"),
                     removed ? 0 : moved->second, file.extension};
      ReplaceWith(aside.original, aside.temporary);
      set_aside_.push_back(aside);
    }
  }

  void WriteTemporaries() {
    for (const auto& [number, bytes] : change_.program_lists) {
      const std::string name = std::to_string(number) + ".TBL";
      list_temporaries_.emplace_back(number, WriteTemporary(folder_.PathOf(name), bytes));
    }
    if (change_.settings) {
      settings_temporary_ = WriteTemporary(folder_.PathOf("NoxSettings.TBL"), *change_.settings);
      ReplaceWith(settings_temporary_, folder_.PathOf("NoxSettings.TBL"));
      settings_temporary_.clear();
    }
    if (change_.user_table) {
      table_temporary_ = WriteTemporary(folder_.PathOf("USER.TBL"), *change_.user_table);
    }
  }

  void Undo() {
    for (const auto& [number, temporary] : list_temporaries_) RemoveFile(temporary);
    if (!table_temporary_.empty()) RemoveFile(table_temporary_);
    for (auto it = set_aside_.rbegin(); it != set_aside_.rend(); ++it) {
      try {
        ReplaceWith(it->temporary, it->original);
      } catch (const Failure&) {
        leftovers_.push_back(it->temporary);
      }
    }
  }

  void PlaceEverything() {
    for (const SetAside& aside : set_aside_) {
      if (aside.new_number == 0) continue;
      Place(aside.temporary, std::to_string(aside.new_number) + "." + aside.extension);
    }
    for (const auto& [number, temporary] : list_temporaries_) {
      Place(temporary, std::to_string(number) + ".TBL");
    }
    for (const SetAside& aside : set_aside_) {
      if (aside.new_number == 0 && !RemoveFile(aside.temporary)) {
        leftovers_.push_back(aside.temporary);
      }
    }
    if (!leftovers_.empty()) {
      std::string text = "the tables were written, but these files could not be put in place:";
      for (const std::string& path : leftovers_) text += " " + path;
      throw Failure(text);
    }
  }

  // Renames onto the file of that name whatever its letter case, so that a
  // case-sensitive folder never ends up with both "3.TBL" and "3.tbl".
  void Place(const std::string& temporary, const std::string& name) {
    try {
      ReplaceWith(temporary, folder_.PathOf(name));
    } catch (const Failure&) {
      leftovers_.push_back(temporary);
    }
  }

  const TableFolder& folder_;
  const FolderChange& change_;
  std::vector<SetAside> set_aside_;
  std::vector<std::pair<int, std::string>> list_temporaries_;
  std::string settings_temporary_;
  std::string table_temporary_;
  std::vector<std::string> leftovers_;
};

}  // namespace

void Commit(const TableFolder& folder, const FolderChange& change) {
  RemoveLeftovers(folder);
  CommitRun(folder, change).Run();
}

}  // namespace nox::admin
