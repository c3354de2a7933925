// "noxadmin check": everything in the tables that would make a login fail
// or behave in a way the administrator may not expect.
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "common/catalogue.h"
#include "common/level_triple.h"
#include "common/password_field.h"
#include "common/runtime_error.h"
#include "explorer/write_settings_parts.h"
#include "noxadmin/session.h"
#include "noxadmin/text.h"

namespace nox::admin {
namespace {

class Report {
 public:
  explicit Report(std::ostream& out) : out_(out) {}
  void Add(const std::string& where, const std::string& problem) {
    out_ << where << ": " << problem << "\n";
    ++count_;
  }
  int count() const { return count_; }

 private:
  std::ostream& out_;
  int count_ = 0;
};

std::string UserWhere(int n, const UserRecord& record) {
  return "USER.TBL record " + std::to_string(n) + " (" + AnsiToOutput(record.TrimmedName()) + ")";
}

bool PlainTriple(const std::string& triple) {
  for (char c : triple) {
    if (c != ' ' && c != ',' && (c < '0' || c > '9')) return false;
  }
  return true;
}

void CheckTriple(Report& report, const std::string& where, const UserRecord& record) {
  const std::string triple = FieldText(record.level_triple);
  const std::string shown = AnsiToOutput(TrimBlanks(triple));
  LevelMasks masks;
  try {
    masks = ReadLevelTriple(triple);
  } catch (const RuntimeError& error) {
    report.Add(where, "level triple \"" + shown + "\" cannot be read (error " +
                          std::to_string(error.number()) + ", " + error.description() +
                          "): the login fails");
    return;
  }
  bool budget = false;
  try {
    budget = MinuteBudgetOn(triple);
  } catch (const RuntimeError& error) {
    report.Add(where, "level triple \"" + shown + "\": the daily budget cannot be read (error " +
                          std::to_string(error.number()) + ", " + error.description() +
                          "): the login shows the error each time it loads the user, and the "
                          "minutes left stay those of the user loaded before");
  }
  if (TrimBlanks(triple).empty()) {
    report.Add(where, "empty level triple: no restriction at all");
  } else if (!PlainTriple(triple)) {
    report.Add(where, "level triple \"" + shown +
                          "\" holds more than digits and commas; the login reads its "
                          "restrictions as " +
                          std::to_string(masks.mask1) + "," + std::to_string(masks.mask2) + "," +
                          std::to_string(masks.mask3) + " and its daily budget as " +
                          (budget ? "on" : "off"));
  }
  if (budget && record.allowed_minutes <= 0) {
    report.Add(where, "daily budget of " + std::to_string(record.allowed_minutes) +
                          " minutes: the user is never logged in automatically");
  }
}

void CheckSchedules(Report& report, const std::string& where, const UserRecord& record) {
  for (int letter = 1; letter <= 26; ++letter) {
    const std::string text = FieldText(record.drive_schedule[letter]);
    if (TrimBlanks(text.substr(24, 6)) != "True") continue;
    const std::string drive = std::string("drive ") + static_cast<char>('A' + letter - 1) + ": ";
    try {
      if (ClockMinutes(text.substr(7, 5)) == ClockMinutes(text.substr(19, 5))) {
        report.Add(where, drive + "the schedule starts where it ends and never hides the drive");
      }
    } catch (const RuntimeError&) {
      report.Add(where, drive + "the schedule is on but \"" + AnsiToOutput(text.substr(7, 5)) +
                            "\" to \"" + AnsiToOutput(text.substr(19, 5)) +
                            "\" are not times of day: the login fails");
    }
  }
}

// Programs that undo a lockdown when allowed: the shells, the registry
// editor, the installer, and the two programs of ours that rewrite or remove
// the restrictions.
bool OpensAWayOut(const std::string& program) {
  static constexpr const char* kWaysOut[] = {"cmd.exe",     "powershell.exe", "explorer.exe",
                                             "regedit.exe", "noxadmin.exe",   "clearway.exe",
                                             "msiexec.exe"};
  const std::string file_name = program.substr(program.find_last_of("\\/") + 1);
  for (const char* way_out : kWaysOut) {
    if (EqualsIgnoreCase(file_name, way_out)) return true;
  }
  return false;
}

void CheckProgramList(Report& report, const std::string& where, Session& session,
                      const UserTable& table, int n) {
  const UserDraft draft = session.LoadDraft(table, n);
  const UserRecord& record = draft.record;
  const std::string file = std::to_string(n) + ".TBL";
  const int lines = record.program_list_count;
  const int programs = record.allowed_program_count;
  if (lines == 0 && programs == 0) return;
  if (!session.Folder().Exists(file)) {
    report.Add(where, file + " is missing but the record asks for " + std::to_string(lines) +
                          " disc lines and " + std::to_string(programs) + " programs" +
                          (programs > 0 ? ": the user may run no program but the "
                                          "five always allowed"
                                        : ""));
    return;
  }
  if (!draft.programs_complete) {
    report.Add(where, file + " is short: the record asks for " + std::to_string(lines) +
                          " disc lines and " + std::to_string(programs) + " programs");
    return;
  }
  if (programs > 0 && draft.programs.programs.front().flag == "True") {
    report.Add(where, file +
                          ": the first program's flag is \"True\", which lifts the program "
                          "restriction");
  }
  for (size_t i = 0; i < draft.programs.programs.size(); ++i) {
    const std::string name = TrimBlanks(draft.programs.programs[i].name);
    const std::string which = file + ": allowed program " + std::to_string(i + 1);
    if (name.empty()) {
      report.Add(where, which + " has no name");
    } else if (OpensAWayOut(name)) {
      report.Add(where, which + " \"" + AnsiToOutput(name) +
                            "\" is a shell, a registry editor or an installer, with which the user "
                            "can undo the restrictions (the list matches file names only: any "
                            "program of that name may run)");
    }
  }
}

bool HasPlainPassword(const UserRecord& record) {
  const std::string stored = TrimBlanks(FieldText(record.password));
  return !stored.empty() && !IsOneWayPasswordField(stored);
}

// Hashes every plain password of the table, the records behind "EOF"
// included, in one replace of USER.TBL; nothing else changes.
void HashPlainPasswords(Session& session) {
  UserTable table = session.LoadTable();
  int hashed = 0;
  for (int n = 1; n <= table.record_count(); ++n) {
    UserRecord& record = table.record(n);
    if (!HasPlainPassword(record)) continue;
    const std::optional<std::string> field = HashPassword(TrimBlanks(FieldText(record.password)));
    if (!field) {
      throw Failure("this Windows has no PBKDF2 (bcrypt.dll): no password was hashed");
    }
    SetFieldText(record.password, *field);
    ++hashed;
  }
  if (hashed == 0) return;
  session.Save(table, {});
  session.out() << "Hashed " << hashed << (hashed == 1 ? " password" : " passwords")
                << " stored in plain text\n";
}

void CheckUser(Report& report, Session& session, const UserTable& table, int n,
               std::map<std::string, int>& first_of_name) {
  const UserRecord& record = table.record(n);
  const std::string where = UserWhere(n, record);
  const std::string name = record.TrimmedName();
  if (name.empty()) report.Add(where, "the user has no name");
  const auto [first, inserted] = first_of_name.emplace(FoldCase(name), n);
  if (!inserted) {
    report.Add(where, "same name as record " + std::to_string(first->second) +
                          ": the login program always takes record " +
                          std::to_string(first->second));
  }
  if (EqualsIgnoreCase(name, ".Default") && TrimBlanks(FieldText(record.password)).empty()) {
    report.Add(where,
               "\".Default\" with an empty password: the machine logs in as this user "
               "without asking whenever the logon name is not a user");
  }
  if (HasPlainPassword(record)) {
    report.Add(where,
               "password stored in plain text: anyone who can log in can read it in USER.TBL "
               "(\"noxadmin check --fix\" hashes it)");
  }
  CheckTriple(report, where, record);
  if (record.network_level < 0 || record.network_level > 3) {
    report.Add(where, "network level " + std::to_string(record.network_level) +
                          " is not 0 to 3: the Network Neighborhood values are left as they were");
  }
  CheckSchedules(report, where, record);
  CheckProgramList(report, where, session, table, n);
}

void CheckUserTable(Report& report, Session& session) {
  const TableFolder& folder = session.Folder();
  const std::vector<std::string> names = folder.NamesMatching("USER.TBL");
  if (names.size() > 1) {
    report.Add("USER.TBL", "several files differ only in letter case; Windows sees one of them");
  }
  const UserTable table = session.LoadTable();
  if (table.has_fragment()) {
    report.Add("USER.TBL", "its length is not a multiple of 2689: the last " +
                               std::to_string(table.fragment_size()) +
                               " bytes are a record cut short" +
                               (table.user_count() == table.record_count()
                                    ? ", which the login program reads as a user"
                                    : ""));
  }
  if (table.user_count() < table.record_count()) {
    const int behind = table.record_count() - table.user_count() - 1;
    if (behind > 0) {
      report.Add("USER.TBL", "record " + std::to_string(table.user_count() + 1) +
                                 " is \"EOF\": the " + std::to_string(behind) +
                                 " records behind it are never read");
    }
  }
  if (table.user_count() == 0) report.Add("USER.TBL", "no users: nobody can log in");
  std::map<std::string, int> first_of_name;
  for (int n = 1; n <= table.user_count(); ++n) CheckUser(report, session, table, n, first_of_name);

  std::map<std::string, int> companions;
  for (const CompanionFile& file : folder.Companions()) {
    if (++companions[FoldCase(file.name)] == 2) {
      report.Add(file.name, "several files differ only in letter case; Windows sees one of them");
    }
    if (file.number > table.user_count()) {
      report.Add(AnsiToOutput(file.name), "belongs to no user: a user added as number " +
                                              std::to_string(file.number) + " would get it");
    }
  }
}

void CheckSettings(Report& report, Session& session) {
  const std::optional<std::string> bytes = session.Folder().Read("NoxSettings.TBL");
  if (!bytes || bytes->empty()) return;
  if (bytes->size() != SettingsRecord::kSize) {
    report.Add("NoxSettings.TBL", std::to_string(bytes->size()) + " bytes, not 204");
  }
  const SettingsRecord settings = DecodeSettingsRecord(*bytes);
  const std::string path = TrimBlanks(FieldText(settings.master_path));
  if (settings.copy_from_master != 0 && path.find_first_of("\\/") == std::string::npos) {
    report.Add("NoxSettings.TBL", "copy-from-master is on, but the master path \"" +
                                      AnsiToOutput(path) + "\" names no folder");
  }
}

void CheckLeftovers(Report& report, Session& session) {
  for (const LeftoverFile& file : session.Folder().Leftovers()) {
    const std::string run = "noxadmin run " + std::to_string(file.process_id);
    if (file.set_aside) {
      report.Add(file.name, "a per-user file (n.TBL, n.KWT or n.pmk) that " + run +
                                " set aside and, ending early, never put back; rename it to "
                                "the file it was or delete it");
    } else {
      report.Add(file.name, "a temporary table file of " + run +
                                ", which ended before it finished; the next change removes it");
    }
  }
}

// With NoxService installed only SYSTEM and Administrators may open the
// tables; one that Users can read gives every pupil the passwords and levels.
void CheckProtection(Report& report, Session& session) {
  if (!NoxServiceInstalled()) return;
  std::vector<std::string> names = {"USER.TBL", "NoxSettings.TBL", "user.cur"};
  for (const CompanionFile& file : session.Folder().Companions()) names.push_back(file.name);
  for (const std::string& name : names) {
    if (!UsersCanReadFile(session.Folder().PathOf(name))) continue;
    report.Add(AnsiToOutput(name),
               "Users can read it although NoxService is installed: start the service, which "
               "restricts the tables to SYSTEM and Administrators, or restrict the file so");
  }
}

}  // namespace

int Check(Session& session, const ParsedArgs& args) {
  if (args.Has("fix")) HashPlainPasswords(session);
  Report report(session.out());
  CheckUserTable(report, session);
  CheckSettings(report, session);
  CheckLeftovers(report, session);
  CheckProtection(report, session);
  if (report.count() == 0) {
    session.out() << "No problems found\n";
    return kExitOk;
  }
  session.out() << report.count() << (report.count() == 1 ? " problem" : " problems") << "\n";
  return kExitFailed;
}

}  // namespace nox::admin
