// The commands that read and edit users and settings.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <istream>
#include <limits>
#include <ostream>
#include <sstream>
#include <unordered_map>

#include "common/catalogue.h"
#include "common/gcc_false_positives.h"
#include "common/ole_date.h"
#include "common/runtime_error.h"
#include "noxadmin/session.h"
#include "noxadmin/text.h"
#include "pelorus/lab_usage.h"

namespace nox::admin {
namespace {

constexpr const char* kSettingsName = "NoxSettings.TBL";

// Display width of UTF-8 (or ANSI) output: bytes that start a character.
size_t DisplayWidth(const std::string& text) {
  return static_cast<size_t>(std::count_if(text.begin(), text.end(), [](char c) {
    return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  }));
}

std::string Padded(const std::string& text, size_t width) {
  const size_t shown = DisplayWidth(text);
  return shown >= width ? text : text + std::string(width - shown, ' ');
}

void PrintColumns(std::ostream& out, const std::vector<std::vector<std::string>>& rows) {
  std::vector<size_t> widths;
  for (const auto& row : rows) {
    widths.resize(std::max(widths.size(), row.size()), 0);
    for (size_t i = 0; i < row.size(); ++i) widths[i] = std::max(widths[i], DisplayWidth(row[i]));
  }
  for (const auto& row : rows) {
    std::string line;
    for (size_t i = 0; i < row.size(); ++i) {
      line += i + 1 < row.size() ? Padded(row[i], widths[i] + 2) : row[i];
    }
    out << line << "\n";
  }
}

NOX_GCC12_BUG105329_BEGIN
std::string TwoDigits(int n) { return (n < 10 ? "0" : "") + std::to_string(n); }
NOX_GCC12_BUG105329_END

std::string DateText(double ole_date) {
  if (ole_date == 0.0) return "never";
  try {
    const platform::LocalTime t = FromOleDate(ole_date);
    return std::to_string(t.year) + "-" + TwoDigits(t.month) + "-" + TwoDigits(t.day) + " " +
           TwoDigits(t.hour) + ":" + TwoDigits(t.minute);
  } catch (const RuntimeError&) {
    return "not a date";
  }
}

std::string ProgramsSummary(const UserDraft& draft) {
  const UserRecord& record = draft.record;
  if (record.allowed_program_count == 0) return "all";
  if (!draft.programs_complete) {
    return "? (" + std::to_string(record.allowed_program_count) +
           " listed, but the program list file is missing or short)";
  }
  if (draft.programs.programs.front().flag == "True") return "all (lifted by the list's flag)";
  std::string names;
  for (const ProgramEntry& entry : draft.programs.programs) {
    names += (names.empty() ? "" : ", ") + AnsiToOutput(entry.name);
  }
  return names;
}

std::string MinutesSummary(const UserRecord& record, const platform::LocalTime& now) {
  if (!BudgetOn(record)) return "no limit";
  return std::to_string(record.allowed_minutes) + " per day; used " +
         std::to_string(record.used_minutes) + ", last use " + DateText(record.last_use_date) +
         "; " + std::to_string(MinutesLeftToday(record, now)) + " left today";
}

// Every usage file of the folder ("*.tbl"); damaged ones (or ones being
// written) are named on the error stream and left out. Refusal when the
// folder cannot be listed.
std::vector<PcUsage> ReadUsageFolder(Session& session, const std::string& folder) {
  std::vector<std::string> names = ListFolder(folder);
  std::sort(names.begin(), names.end());
  std::vector<PcUsage> usage;
  for (const std::string& name : names) {
    if (name.size() < 4 || !EqualsIgnoreCase(name.substr(name.size() - 4), ".tbl")) continue;
    std::optional<std::vector<UsageEntry>> entries;
    try {
      entries = DecodeUsageFile(ReadHostFile(JoinPath(folder, name)));
    } catch (const Refusal&) {
    }
    if (!entries) {
      session.Note(AnsiToOutput(name) + " is damaged or being written; left out");
      continue;
    }
    usage.push_back({name.substr(0, name.size() - 4), std::move(*entries)});
  }
  return usage;
}

// Every user's minutes of the day over the lab's usage files, by folded
// name; nothing when the lab-wide budget is off (no usage folder) or cannot
// be reached.
std::optional<std::map<std::string, int64_t>> LabMinutesToday(Session& session) {
  try {
    const std::string folder = session.LabUsageFolder();
    if (!IsDirectory(folder)) return std::nullopt;
    std::map<std::string, int64_t> sums;
    for (const PcUsage& pc : ReadUsageFolder(session, folder)) {
      for (const UsageEntry& entry : pc.entries) {
        if (entry.day == DayNumber(session.context().now))
          sums[FoldCase(entry.user)] += entry.minutes;
      }
    }
    return sums;
  } catch (const Refusal&) {
    return std::nullopt;
  }
}

std::optional<int64_t> LabMinutesOf(const std::optional<std::map<std::string, int64_t>>& sums,
                                    const std::string& user) {
  if (!sums) return std::nullopt;
  const auto found = sums->find(FoldCase(user));
  return found == sums->end() ? 0 : found->second;
}

// yyyymmdd of "YYYY-MM-DD"; nullopt for anything else.
std::optional<int32_t> ParseDay(const std::string& text) {
  int year = 0, month = 0, day = 0;
  char tail = 0;
  if (text.size() != 10 ||
      std::sscanf(text.c_str(), "%4d-%2d-%2d%c", &year, &month, &day, &tail) != 3 || month < 1 ||
      month > 12 || day < 1 || day > 31) {
    return std::nullopt;
  }
  return year * 10000 + month * 100 + day;
}

void SwitchLabBudget(Session& session, const std::string& value) {
  if (value != "on" && value != "off") {
    throw Refusal::OfField("lab-budget", "\"" + value + "\" is neither on nor off");
  }
  const std::string folder = session.LabUsageFolder();
  std::error_code error;
  if (value == "on") {
    if (!IsDirectory(folder) && !std::filesystem::create_directory(folder, error)) {
      throw Refusal("cannot create " + folder + ": " + error.message());
    }
    session.out() << "Lab-wide budget on: " << AnsiToOutput(folder) << "\n";
    return;
  }
  if (!IsDirectory(folder)) {
    session.out() << "Lab-wide budget already off\n";
    return;
  }
  // Only the usage files and their temporary files go; anything else stops it.
  const std::vector<std::string> names = ListFolder(folder);
  for (const std::string& name : names) {
    const std::string extension = name.size() < 4 ? "" : name.substr(name.size() - 4);
    if (!EqualsIgnoreCase(extension, ".tbl") && !EqualsIgnoreCase(extension, ".tmp")) {
      throw Refusal(folder + " holds " + name + ", which is not a usage file; nothing removed");
    }
  }
  for (const std::string& name : names) {
    if (!RemoveFile(JoinPath(folder, name)))
      throw Failure("cannot remove " + JoinPath(folder, name));
  }
  if (!std::filesystem::remove(folder, error)) {
    throw Failure("cannot remove " + folder + ": " + error.message());
  }
  session.out() << "Lab-wide budget off: " << AnsiToOutput(folder) << " removed\n";
}

std::string LevelSummary(const UserRecord& record) {
  return LevelName(record) + " (" + AnsiToOutput(TrimBlanks(FieldText(record.level_triple))) + ")";
}

// Applies the field options in command-line order.
void ApplyOptions(UserDraft& draft, const ParsedArgs& args) {
  for (const auto& [name, value] : args.options) {
    if (name != "expect") ApplyField(draft, name, ToAnsi(value, name, "--" + name));
  }
  CheckProgramListEdit(draft);
}

// --expect FIELD=VALUE: unless the field still holds VALUE (or already the
// value being set), nothing is written, so that an edit prepared on what
// was read earlier does not undo a change another program made meanwhile.
void CheckExpected(const UserDraft& draft, const ParsedArgs& args) {
  for (const auto& [option, expectation] : args.options) {
    if (option != "expect") continue;
    const size_t equals = expectation.find('=');
    const std::string field = expectation.substr(0, equals);
    if (equals == std::string::npos || !IsField(field) || field == "name") {
      throw UsageError("--expect: \"" + expectation + "\" is not FIELD=VALUE");
    }
    const std::string expected = ToAnsi(expectation.substr(equals + 1), "", "--expect");
    const std::string now = FieldValue(draft, field);
    const std::optional<std::string> setting = args.Option(field);
    if (now == expected || (setting && now == ToAnsi(*setting, field, "--" + field))) continue;
    throw Refusal(field + ": is now \"" + AnsiToOutput(now) + "\", not \"" +
                      AnsiToOutput(expected) +
                      "\" as expected: changed meanwhile; nothing was written",
                  ProblemKind::kConflict, field);
  }
}

// The user of "user set". An edit that expects values was prepared on a user
// read earlier: that the user is gone (removed or renamed) is a change made
// meanwhile too.
int FindExpectedUser(Session& session, const UserTable& table, const ParsedArgs& args) {
  try {
    return session.FindUser(table, args.positional[0]);
  } catch (const Refusal& refusal) {
    if (refusal.kind() != ProblemKind::kNotFound || !args.Has("expect")) throw;
    throw Refusal(refusal.what(), ProblemKind::kConflict, refusal.field());
  }
}

// Refusal when another user than `self` already has the name.
void CheckUnique(const UserTable& table, const std::string& ansi_name, std::optional<int> self) {
  const std::optional<int> found = table.Find(ansi_name);
  if (found && found != self) {
    throw Refusal::OfField("name", "user " + std::to_string(*found) + " is already called \"" +
                                       AnsiToOutput(table.record(*found).TrimmedName()) + "\"");
  }
}

std::optional<int64_t> PositiveNumber(const std::string& text) {
  if (text.empty() || text.size() > 10) return std::nullopt;
  int64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  if (value < 1 || value > std::numeric_limits<int32_t>::max()) return std::nullopt;
  return value;
}

// The record the login program uses when NoxSettings.TBL cannot be read.
SettingsRecord DefaultSettingsRecordFor(Session& session) {
  SettingsRecord settings;
  SetFieldText(settings.master_path, session.WindowsSystemDirectory().value_or(""));
  settings.option_word = 1;
  settings.copy_from_master = 0;
  return settings;
}

SettingsRecord LoadSettings(Session& session, std::string* tail, bool* exists) {
  const std::optional<std::string> bytes = session.Folder().Read(kSettingsName);
  *exists = bytes && !bytes->empty();
  if (!*exists) return DefaultSettingsRecordFor(session);
  if (bytes->size() > SettingsRecord::kSize) *tail = bytes->substr(SettingsRecord::kSize);
  return DecodeSettingsRecord(*bytes);
}

std::string FilesOf(const TableFolder& folder, int n) {
  std::string names;
  for (const CompanionFile& file : folder.Companions()) {
    if (file.number == n) names += (names.empty() ? "" : ", ") + AnsiToOutput(file.name);
  }
  return names.empty() ? "none" : names;
}

// One CSV import: the columns of the header row, then each row applied to
// the table in memory; nothing is written before every row was accepted.
class CsvImport {
 public:
  CsvImport(Session& session, const CsvDocument& csv, const std::string& file)
      : session_(session), csv_(csv), table_(session.LoadTable()) {
    if (csv.rows.empty()) throw FileRefusal(file, "no header row");
    for (const std::string& cell : csv.rows[0]) {
      std::string column = TrimBlanks(cell);
      std::transform(column.begin(), column.end(), column.begin(), [](char c) {
        return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
      });
      if (!IsField(column)) throw FileRefusal(file, "unknown column \"" + cell + "\"");
      if (std::find(columns_.begin(), columns_.end(), column) != columns_.end()) {
        throw FileRefusal(file, "column \"" + column + "\" twice");
      }
      columns_.push_back(column);
    }
    const auto name = std::find(columns_.begin(), columns_.end(), "name");
    if (name == columns_.end()) throw FileRefusal(file, "no \"name\" column");
    name_index_ = static_cast<size_t>(name - columns_.begin());
  }

  std::optional<int> Find(const std::string& ansi_name) {
    if (index_.empty()) {
      for (int n = table_.user_count(); n >= 1; --n) {
        index_[FoldCase(table_.record(n).TrimmedName())] = n;
      }
    }
    const auto found = index_.find(FoldCase(TrimBlanks(ansi_name)));
    if (found == index_.end()) return std::nullopt;
    return found->second;
  }

  // Applies row r; a refused row is noted in errors().
  void Row(size_t r) {
    const std::vector<std::string>& row = csv_.rows[r];
    const int line = csv_.row_lines[r];
    if (std::all_of(row.begin(), row.end(), [](const std::string& c) { return c.empty(); })) {
      return;
    }
    if (row.size() != columns_.size()) {
      errors_.push_back({line, std::to_string(row.size()) + " cells, the header has " +
                                   std::to_string(columns_.size())});
      return;
    }
    try {
      ApplyRow(row);
    } catch (const Refusal& refusal) {
      errors_.push_back({line, refusal.what()});
    }
  }

  void Save() {
    std::map<int, const UserDraft*> edited;
    for (const auto& [n, draft] : drafts_) edited[n] = &draft;
    session_.Save(table_, edited);
  }

  const std::vector<RowProblem>& errors() const { return errors_; }
  int added() const { return added_; }
  int updated() const { return updated_; }

 private:
  std::string Cell(const std::string& cell, const std::string& column) const {
    const std::optional<std::string> ansi = csv_.utf8_bom ? Utf8ToAnsi(cell) : InputToAnsi(cell);
    if (!ansi) {
      throw Refusal::OfField(column, "a character the Windows code page (1252) cannot store");
    }
    return *ansi;
  }

  void ApplyRow(const std::vector<std::string>& row) {
    const std::string name = Cell(TrimBlanks(row[name_index_]), "name");
    if (std::optional<std::string> problem = UserNameProblem(name)) {
      throw Refusal::OfField("name", *problem);
    }
    std::optional<int> n = Find(name);
    if (n && drafts_.count(*n)) {
      throw Refusal::OfField("name", "\"" + row[name_index_] + "\" is in the file twice");
    }
    UserDraft draft;
    if (n) {
      draft = session_.LoadDraft(table_, *n);
    } else {
      ApplyField(draft, "name", name);
      SetFieldText(draft.record.level_triple, "0,0,0");
    }
    for (size_t c = 0; c < columns_.size(); ++c) {
      if (c == name_index_ || row[c].empty()) continue;
      ApplyField(draft, columns_[c], Cell(row[c], columns_[c]), FieldSource::kStored);
    }
    CheckProgramListEdit(draft);
    if (n) {
      table_.record(*n) = draft.record;
      ++updated_;
    } else {
      n = table_.Add(draft.record);
      index_.emplace(FoldCase(TrimBlanks(name)), *n);
      ++added_;
    }
    drafts_[*n] = draft;
  }

  Session& session_;
  const CsvDocument& csv_;
  UserTable table_;
  std::vector<std::string> columns_;
  size_t name_index_ = 0;
  std::map<int, UserDraft> drafts_;
  // The table's users by folded name (the first of equal names, as
  // UserTable::Find): a file of thousands of rows would otherwise search
  // the whole table for each.
  std::unordered_map<std::string, int> index_;
  std::vector<RowProblem> errors_;
  int added_ = 0;
  int updated_ = 0;
};

std::string ReadStream(std::istream& in) {
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

}  // namespace

int UserList(Session& session, const ParsedArgs&) {
  const UserTable table = session.LoadTable();
  std::vector<std::vector<std::string>> rows = {
      {"#", "Name", "Level", "Minutes", "Used", "Last use", "Net", "Programs"}};
  for (int n = 1; n <= table.user_count(); ++n) {
    const UserDraft draft = session.LoadDraft(table, n);
    const UserRecord& record = draft.record;
    const bool budget = BudgetOn(record);
    rows.push_back({std::to_string(n), AnsiToOutput(record.TrimmedName()), LevelName(record),
                    budget ? std::to_string(record.allowed_minutes) : "no limit",
                    budget ? std::to_string(record.used_minutes) : "-",
                    budget ? DateText(record.last_use_date) : "-",
                    std::to_string(record.network_level), ProgramsSummary(draft)});
  }
  if (table.user_count() == 0) {
    session.out() << "No users.\n";
  } else {
    PrintColumns(session.out(), rows);
  }
  if (table.user_count() < table.record_count() || table.has_fragment()) {
    session.Note("USER.TBL holds more than its users; see \"noxadmin check\"");
  }
  return kExitOk;
}

int UserShow(Session& session, const ParsedArgs& args) {
  const UserTable table = session.LoadTable();
  const int n = session.FindUser(table, args.positional[0]);
  const UserDraft draft = session.LoadDraft(table, n);
  const UserRecord& record = draft.record;
  std::vector<std::vector<std::string>> rows;
  for (const FieldInfo& field : kFields) {
    std::string value = AnsiToOutput(FieldValue(draft, field.name));
    const std::string_view name = field.name;
    if (name == "password") value = PasswordState(record);
    if (name == "level") value = LevelSummary(record);
    if (name == "minutes") value = MinutesSummary(record, session.context().now);
    if (name == "programs") value = ProgramsSummary(draft);
    if (name == "discs" && !draft.programs_complete)
      value += " (program list file missing or short)";
    rows.push_back({std::string(field.name), value});
  }
  if (BudgetOn(record)) {
    if (const std::optional<int64_t> lab =
            LabMinutesOf(LabMinutesToday(session), TrimBlanks(FieldText(record.user_name)))) {
      rows.push_back({"lab minutes", std::to_string(*lab) + " used today on every PC; " +
                                         std::to_string(record.allowed_minutes - *lab) + " left"});
    }
  }
  rows.push_back({"record", std::to_string(n) + " of " + std::to_string(table.user_count())});
  rows.push_back({"files", FilesOf(session.Folder(), n)});
  PrintColumns(session.out(), rows);
  return kExitOk;
}

int UserAdd(Session& session, const ParsedArgs& args) {
  UserTable table = session.LoadTable();
  const std::string name = ToAnsi(args.positional[0], "name");
  UserDraft draft;
  ApplyField(draft, "name", name);
  SetFieldText(draft.record.level_triple, "0,0,0");
  CheckUnique(table, name, std::nullopt);
  ApplyOptions(draft, args);
  if (table.user_count() >= 99999) throw Refusal("the table is full");
  const int n = table.Add(draft.record);
  for (const CompanionFile& file : session.Folder().Companions()) {
    const bool replaced =
        EqualsIgnoreCase(file.extension, "TBL") && (draft.discs_set || draft.programs_set);
    if (file.number == n && !replaced) {
      session.Note(AnsiToOutput(file.name) + " already exists and now belongs to the new user");
    }
  }
  session.Save(table, {{n, &draft}});
  session.out() << "Added user " << n << ": " << args.positional[0] << "\n";
  return kExitOk;
}

int UserSet(Session& session, const ParsedArgs& args) {
  if (std::all_of(args.options.begin(), args.options.end(),
                  [](const auto& option) { return option.first == "expect"; })) {
    throw UsageError("user set: name at least one field to change");
  }
  UserTable table = session.LoadTable();
  const int n = FindExpectedUser(session, table, args);
  UserDraft draft = session.LoadDraft(table, n);
  CheckExpected(draft, args);
  ApplyOptions(draft, args);
  table.record(n) = draft.record;
  session.Save(table, {{n, &draft}});
  session.out() << "Changed user " << n << ": " << args.positional[0] << "\n";
  return kExitOk;
}

int UserRemove(Session& session, const ParsedArgs& args) {
  UserTable table = session.LoadTable();
  const int n = session.FindUser(table, args.positional[0]);
  table.Remove(n);
  session.Save(table, {});
  session.out() << "Removed user " << n << ": " << args.positional[0] << "\n";
  return kExitOk;
}

int UserRename(Session& session, const ParsedArgs& args) {
  UserTable table = session.LoadTable();
  const int n = session.FindUser(table, args.positional[0]);
  const std::string new_name = ToAnsi(args.positional[1], "name");
  UserDraft draft;
  draft.record = table.record(n);
  ApplyField(draft, "name", new_name);
  CheckUnique(table, new_name, n);
  table.record(n) = draft.record;
  session.Save(table, {});
  session.out() << "Renamed user " << n << " to " << args.positional[1] << "\n";
  return kExitOk;
}

int UserMove(Session& session, const ParsedArgs& args) {
  UserTable table = session.LoadTable();
  const int n = session.FindUser(table, args.positional[0]);
  const std::optional<int64_t> to = PositiveNumber(args.positional[1]);
  if (!to || *to > table.user_count()) {
    throw Refusal::OfField("position",
                           "\"" + args.positional[1] + "\" is not a place from 1 to " +
                               std::to_string(table.user_count()),
                           "POSITION");
  }
  table.Move(n, static_cast<int>(*to));
  session.Save(table, {});
  session.out() << "Moved user " << args.positional[0] << " from " << n << " to " << *to << "\n";
  return kExitOk;
}

int UserGrant(Session& session, const ParsedArgs& args) {
  UserTable table = session.LoadTable();
  const int n = session.FindUser(table, args.positional[0]);
  const std::optional<int64_t> minutes = PositiveNumber(args.positional[1]);
  if (!minutes) {
    throw Refusal::OfField("minutes", "\"" + args.positional[1] + "\" is not a number of minutes",
                           "MINUTES");
  }
  UserRecord record = table.record(n);
  GrantMinutes(record, static_cast<int32_t>(*minutes), session.context().now);
  table.record(n) = record;
  session.Save(table, {});
  session.out() << "User " << args.positional[0] << " has "
                << MinutesLeftToday(record, session.context().now) << " minutes left today\n";
  return kExitOk;
}

std::vector<UserSummary> SummarizeUsers(Session& session, const UserTable& table) {
  const std::optional<std::map<std::string, int64_t>> lab = LabMinutesToday(session);
  std::vector<UserSummary> users;
  users.reserve(static_cast<size_t>(table.user_count()));
  int n = 0;
  for (const UserDraft& draft : session.LoadDrafts(table)) {
    const UserRecord& record = draft.record;
    UserSummary user;
    user.n = ++n;
    user.name = AnsiToOutput(record.TrimmedName());
    user.level = LevelName(record);
    if (BudgetOn(record)) {
      user.minutes = std::to_string(record.allowed_minutes);
      user.used_today = record.allowed_minutes - MinutesLeftToday(record, session.context().now);
      user.lab_today = LabMinutesOf(lab, TrimBlanks(FieldText(record.user_name)));
    } else {
      user.minutes = "none";
    }
    user.network = std::to_string(record.network_level);
    user.programs = ProgramsSummary(draft);
    users.push_back(std::move(user));
  }
  return users;
}

SettingsView ViewSettings(Session& session) {
  std::string tail;
  SettingsView view;
  const SettingsRecord settings = LoadSettings(session, &tail, &view.exists);
  const std::string path = TrimBlanks(FieldText(settings.master_path));
  const size_t slash = path.find_last_of("\\/");
  view.master_folder = AnsiToOutput(slash == std::string::npos ? "" : path.substr(0, slash + 1));
  view.copy_from_master = view.exists && settings.copy_from_master != 0;
  try {
    view.lab_budget = IsDirectory(session.LabUsageFolder());
  } catch (const Refusal&) {
    view.lab_budget = false;
  }
  return view;
}

int SettingsShow(Session& session, const ParsedArgs&) {
  std::string tail;
  bool exists = false;
  const SettingsRecord settings = LoadSettings(session, &tail, &exists);
  if (!exists) {
    session.out() << "NoxSettings.TBL does not exist or is empty: the login program uses the "
                     "system directory as the master folder and copies nothing.\n";
    return kExitOk;
  }
  const std::string path = TrimBlanks(FieldText(settings.master_path));
  const size_t slash = path.find_last_of("\\/");
  const std::string folder = slash == std::string::npos ? "" : path.substr(0, slash + 1);
  PrintColumns(session.out(), {{"master-folder", AnsiToOutput(folder)},
                               {"master path", AnsiToOutput(path)},
                               {"copy-from-master", settings.copy_from_master != 0 ? "yes" : "no"},
                               {"option word", std::to_string(settings.option_word)}});
  return kExitOk;
}

int SettingsSet(Session& session, const ParsedArgs& args) {
  if (args.options.empty()) throw UsageError("settings set: name a setting to change");
  const std::optional<std::string> lab_budget = args.Option("lab-budget");
  if (lab_budget && args.options.size() == 1) {
    SwitchLabBudget(session, *lab_budget);
    return kExitOk;
  }
  std::string tail;
  bool exists = false;
  SettingsRecord settings = LoadSettings(session, &tail, &exists);
  if (!exists && !args.Has("master-folder") && !session.WindowsSystemDirectory()) {
    throw Refusal("NoxSettings.TBL does not exist yet; give --master-folder too");
  }
  if (std::optional<std::string> value = args.Option("master-folder")) {
    std::string folder = ToAnsi(TrimBlanks(*value), "master-folder", "--master-folder");
    if (folder.empty()) throw Refusal::OfField("master-folder", "an empty folder");
    if (folder.back() != '\\' && folder.back() != '/') folder.push_back('\\');
    if (folder.size() > settings.master_path.size()) {
      throw Refusal::OfField("master-folder",
                             std::to_string(folder.size()) + " characters, at most 200 fit");
    }
    SetFieldText(settings.master_path, folder);
  }
  if (std::optional<std::string> value = args.Option("copy-from-master")) {
    if (*value != "yes" && *value != "no") {
      throw Refusal::OfField("copy-from-master", "\"" + *value + "\" is neither yes nor no");
    }
    settings.copy_from_master = *value == "yes" ? 1 : 0;
  }
  const SettingsRecordBytes bytes = EncodeSettingsRecord(settings);
  FolderChange change;
  change.settings = std::string(bytes.data(), bytes.size()) + tail;
  Commit(session.Folder(), change);
  session.out() << "Settings written\n";
  if (lab_budget) SwitchLabBudget(session, *lab_budget);
  return kExitOk;
}

int Usage(Session& session, const ParsedArgs& args) {
  const std::optional<std::string> day_text = args.Option("day");
  const std::optional<int32_t> day =
      day_text ? ParseDay(*day_text) : std::optional<int32_t>(DayNumber(session.context().now));
  if (!day) throw Refusal("day: \"" + *day_text + "\" is not a date YYYY-MM-DD");
  const std::string folder = session.LabUsageFolder();
  if (!IsDirectory(folder)) {
    throw Refusal("no usage folder " + folder +
                  ": the lab-wide budget is off (noxadmin settings set --lab-budget on)");
  }
  std::vector<std::vector<std::string>> rows = {{"user", "pc", "minutes"}};
  std::map<std::string, int64_t> totals;
  std::vector<std::vector<std::string>> lines;
  for (const PcUsage& pc : ReadUsageFolder(session, folder)) {
    for (const UsageEntry& entry : pc.entries) {
      if (entry.day != *day) continue;
      lines.push_back(
          {AnsiToOutput(entry.user), AnsiToOutput(pc.file), std::to_string(entry.minutes)});
      totals[AnsiToOutput(entry.user)] += entry.minutes;
    }
  }
  std::sort(lines.begin(), lines.end());
  rows.insert(rows.end(), lines.begin(), lines.end());
  for (const auto& [user, total] : totals) rows.push_back({user, "(all)", std::to_string(total)});
  PrintColumns(session.out(), rows);
  return kExitOk;
}

int Import(Session& session, const ParsedArgs& args) {
  // "-": the standard input (a pipe, or the file a browser sent).
  const bool from_input = args.positional[0] == "-";
  const std::string file = from_input ? "standard input" : args.positional[0];
  RowProblem error;
  const std::optional<CsvDocument> csv =
      ParseCsv(from_input ? ReadStream(session.context().in) : ReadHostFile(file), &error);
  if (!csv) {
    throw FileRefusal(file, "line " + std::to_string(error.line) + ": " + error.message, {error});
  }
  CsvImport import(session, *csv, file);
  for (size_t r = 1; r < csv->rows.size(); ++r) import.Row(r);
  if (!import.errors().empty()) {
    for (const RowProblem& row : import.errors()) {
      session.err() << "noxadmin: line " << row.line << ": " << row.message << "\n";
    }
    const size_t count = import.errors().size();
    throw FileRefusal(
        file,
        std::to_string(count) + (count == 1 ? " row" : " rows") + " refused; nothing was imported",
        import.errors());
  }
  if (args.Has("dry-run")) {
    session.out() << "Would add " << import.added() << " and update " << import.updated()
                  << " users\n";
    return kExitOk;
  }
  import.Save();
  session.out() << "Added " << import.added() << " and updated " << import.updated() << " users\n";
  return kExitOk;
}

int Export(Session& session, const ParsedArgs& args) {
  const UserTable table = session.LoadTable();
  std::vector<std::string> header;
  for (const FieldInfo& field : kFields) header.push_back(field.name);
  std::string text = CsvRow(header);
  for (const UserDraft& draft : session.LoadDrafts(table)) {
    std::vector<std::string> cells;
    for (const FieldInfo& field : kFields) {
      cells.push_back(AnsiToOutput(FieldValue(draft, field.name)));
    }
    if (!draft.programs_complete) {
      session.Note("the program list file of " + AnsiToOutput(draft.record.TrimmedName()) +
                   " is missing or short; exported as far as it could be read");
    }
    text += CsvRow(cells);
  }
  if (std::optional<std::string> output = args.Option("output")) {
    WriteReplacing(*output, text);
  } else {
    session.out() << text;
  }
  return kExitOk;
}

}  // namespace nox::admin
