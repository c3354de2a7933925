#include "noxadmin/session.h"

#include <algorithm>
#include <cctype>
#include <ostream>
#include <set>

#include "noxadmin/host.h"
#include "noxadmin/text.h"

namespace nox::admin {
namespace {

constexpr const char* kUserTableName = "USER.TBL";
constexpr const char* kSettingsName = "NoxSettings.TBL";

// The system directory of a Wine prefix, as wineboot makes it.
constexpr const char* kPrefixSystemDirectory = "drive_c/windows/system32";
constexpr const char* kPrefixSystemDirectoryWindows = "C:\\windows\\system32\\";

}  // namespace

std::optional<std::string> ParsedArgs::Option(std::string_view name) const {
  std::optional<std::string> value;
  for (const auto& [option, text] : options) {
    if (option == name) value = text;
  }
  return value;
}

std::string ToAnsi(std::string_view text, const std::string& field, const std::string& label) {
  std::optional<std::string> ansi = InputToAnsi(text);
  if (!ansi) {
    throw Refusal::OfField(field,
                           "holds a character the Windows code page (1252) cannot store, or is "
                           "not valid UTF-8 text",
                           label);
  }
  return *ansi;
}

const TableFolder& Session::Folder() {
  if (folder_) return *folder_;
  std::string dir;
  if (dir_) {
    dir = *dir_;
    if (!IsDirectory(dir)) throw Refusal("--dir: no folder " + dir);
  } else if (prefix_) {
    dir = JoinPath(*prefix_, kPrefixSystemDirectory);
    if (!IsDirectory(dir)) {
      throw Refusal("--prefix: " + *prefix_ + " is not a Wine prefix (it has no " +
                    kPrefixSystemDirectory + ")");
    }
  } else {
    const std::optional<std::string> system = SystemDirectory();
    if (!system) throw UsageError("say where the tables are: --dir DIR or --prefix WINEPREFIX");
    dir = *system;
  }
  folder_.emplace(dir);
  return *folder_;
}

std::optional<std::string> Session::WindowsSystemDirectory() const {
  if (dir_) return std::nullopt;
  if (prefix_) return std::string(kPrefixSystemDirectoryWindows);
  std::optional<std::string> dir;
  try {
    dir = SystemDirectory();
  } catch (const Refusal&) {
    return std::nullopt;
  }
  if (dir && dir->back() != '\\') dir->push_back('\\');
  return dir;
}

std::string Session::LabUsageFolder() {
  if (dir_) return JoinPath(Folder().dir(), "usage");
  const std::optional<std::string> bytes = Folder().Read(kSettingsName);
  const std::string path =
      bytes ? TrimBlanks(FieldText(DecodeSettingsRecord(*bytes).master_path)) : "";
  const size_t slash = path.find_last_of("\\/");
  if (slash == std::string::npos) throw Refusal("NoxSettings.TBL names no master folder");
  const std::string master = path.substr(0, slash + 1);
  if (!prefix_) return master + "usage";
  // A drive path of the prefix: its drive's folder, reached through dosdevices.
  const bool drive_path = master.size() >= 3 &&
                          std::isalpha(static_cast<unsigned char>(master[0])) && master[1] == ':' &&
                          (master[2] == '\\' || master[2] == '/');
  if (!drive_path) {
    throw Refusal("the master folder " + master +
                  " cannot be reached from here; give --dir with its folder instead");
  }
  std::string rest = master.substr(3);
  std::replace(rest.begin(), rest.end(), '\\', '/');
  const char drive[] = {static_cast<char>(std::tolower(static_cast<unsigned char>(master[0]))), ':',
                        '\0'};
  return JoinPath(JoinPath(JoinPath(*prefix_, "dosdevices"), drive), rest + "usage");
}

UserTable Session::LoadTable() {
  std::optional<std::string> bytes = Folder().Read(kUserTableName);
  return UserTable::Decode(bytes ? std::move(*bytes) : std::string());
}

namespace {

// User n with the program list file's text, or none when there is no file.
UserDraft DraftOf(const UserTable& table, int n, const std::optional<std::string>& text) {
  UserDraft draft;
  draft.record = table.record(n);
  const int lines = draft.record.program_list_count;
  const int programs = draft.record.allowed_program_count;
  if (text) {
    draft.programs = ParseProgramList(*text, lines, programs, &draft.programs_complete);
  } else {
    draft.programs_complete = lines == 0 && programs == 0;
  }
  return draft;
}

}  // namespace

UserDraft Session::LoadDraft(const UserTable& table, int n) {
  return DraftOf(table, n, Folder().Read(std::to_string(n) + ".TBL"));
}

std::vector<UserDraft> Session::LoadDrafts(const UserTable& table) {
  std::set<int> with_list;
  for (const CompanionFile& file : Folder().Companions()) {
    if (EqualsIgnoreCase(file.extension, "TBL")) with_list.insert(file.number);
  }
  std::vector<UserDraft> drafts;
  drafts.reserve(static_cast<size_t>(table.user_count()));
  for (int n = 1; n <= table.user_count(); ++n) {
    drafts.push_back(with_list.count(n) ? LoadDraft(table, n) : DraftOf(table, n, std::nullopt));
  }
  return drafts;
}

int Session::FindUser(const UserTable& table, const std::string& name) {
  const std::optional<int> n = table.Find(ToAnsi(name, "name", "NAME"));
  if (!n) throw Refusal("no user \"" + name + "\"", ProblemKind::kNotFound);
  return *n;
}

void Session::Save(const UserTable& table, const std::map<int, const UserDraft*>& edited) {
  FolderChange change;
  change.user_table = table.Encode();
  change.old_record_count = table.decoded_record_count();
  if (table.Reordered()) change.origin = table.origin();
  for (const auto& [number, draft] : edited) {
    if (!draft->discs_set && !draft->programs_set) continue;
    // An empty list needs no file; one that exists is emptied.
    const bool empty = draft->programs.lines.empty() && draft->programs.programs.empty();
    if (empty && !Folder().Exists(std::to_string(number) + ".TBL")) continue;
    change.program_lists[number] = FormatProgramList(draft->programs);
  }
  Commit(Folder(), change);
  NoteMasterCopy();
}

void Session::NoteMasterCopy() {
  std::optional<std::string> bytes;
  try {
    bytes = Folder().Read(kSettingsName);
  } catch (const Failure&) {
    return;  // The change is made; an unreadable settings file only loses the note.
  }
  if (!bytes || bytes->empty()) return;
  const SettingsRecord settings = DecodeSettingsRecord(*bytes);
  if (settings.copy_from_master == 0) return;
  const std::string path = TrimBlanks(FieldText(settings.master_path));
  const std::string master = path.substr(0, path.find_last_of("\\/") + 1);
  // A master folder that is this folder copies nothing over it.
  const std::optional<std::string> here = WindowsSystemDirectory();
  if (here && EqualsIgnoreCase(master, *here)) return;
  Note("the login program copies the tables from the master folder " + AnsiToOutput(master) +
       " at every start; make the same change there, or it is undone at the next start");
}

void Session::Note(const std::string& text) {
  err() << "noxadmin: note: " << text << "\n";
  if (context_.notes != nullptr) context_.notes->push_back(text);
}

}  // namespace nox::admin
