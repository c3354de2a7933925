// What the commands of noxadmin share: the parsed command line, the table
// folder and the loading and saving of the tables.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/catalogue.h"
#include "explorer/records.h"
#include "noxadmin/cli.h"
#include "noxadmin/files.h"
#include "noxadmin/user_fields.h"
#include "noxadmin/user_table.h"

namespace nox::admin {

// A wrong command line (exit status 2).
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct ParsedArgs {
  std::vector<std::string> positional;
  // Options in command-line order, without their "--".
  std::vector<std::pair<std::string, std::string>> options;

  std::optional<std::string> Option(std::string_view name) const;
  bool Has(std::string_view name) const { return Option(name).has_value(); }
};

class Session {
 public:
  Session(AdminContext& context, std::optional<std::string> dir, std::optional<std::string> prefix)
      : context_(context), dir_(std::move(dir)), prefix_(std::move(prefix)) {}

  AdminContext& context() { return context_; }
  const std::optional<std::string>& dir() const { return dir_; }
  const std::optional<std::string>& prefix() const { return prefix_; }
  std::ostream& out() { return context_.out; }
  std::ostream& err() { return context_.err; }

  // The table folder named on the command line (or the Windows system
  // directory of the Win32 build). UsageError when none was named, Refusal
  // when it does not exist.
  const TableFolder& Folder();
  // The folder as the login program names it, with its final "\"
  // ("C:\windows\system32\" in a Wine prefix); nothing for --dir.
  std::optional<std::string> WindowsSystemDirectory() const;

  UserTable LoadTable();
  // User n of the table with its program list file.
  UserDraft LoadDraft(const UserTable& table, int n);
  // Every user of the table with its program list file, the folder listed
  // once for all of them.
  std::vector<UserDraft> LoadDrafts(const UserTable& table);
  // The number of the user named `name` (as typed); Refusal when none.
  int FindUser(const UserTable& table, const std::string& name);

  // Writes the table (and the program lists of `edited`, by record number)
  // back; per-user files follow their records.
  void Save(const UserTable& table, const std::map<int, const UserDraft*>& edited);

  // The lab usage folder on this host: DIR/usage for --dir (the folder
  // holding the master tables), else the "usage" folder in the master folder
  // that NoxSettings.TBL names (inside the prefix for --prefix). Refusal when
  // no master folder is named or it cannot be reached from here.
  std::string LabUsageFolder();

  // A note on the error stream when the login program copies the tables
  // from a master folder at every start (the local edit would be lost).
  void NoteMasterCopy();

  // Tells the administrator something worth knowing about a command that
  // worked: on the error stream, and to the context's notes.
  void Note(const std::string& text);

 private:
  AdminContext& context_;
  std::optional<std::string> dir_;
  std::optional<std::string> prefix_;
  std::optional<TableFolder> folder_;
};

// A command-line value (UTF-8 on Linux) in the tables' code page; Refusal of
// `field` (named `label` in the message, when given) when it has characters
// the code page lacks.
std::string ToAnsi(std::string_view text, const std::string& field, const std::string& label = {});

// What the set bits of the masks switch on, one line each, in mask and bit
// order.
std::vector<std::string> RestrictionsOf(const LevelMasks& masks);

// One user as the user table shows it (texts in the output encoding).
struct UserSummary {
  int n = 0;
  std::string name;
  std::string level;                  // LevelName
  std::string minutes;                // allowed per day, or "none"
  std::optional<int64_t> used_today;  // on this PC; nothing without a daily budget
  std::optional<int64_t> lab_today;   // on every PC; nothing unless the lab budget is on
  std::string network;
  std::string programs;
};
// Every user of the table in table order; the lab usage folder is read once.
std::vector<UserSummary> SummarizeUsers(Session& session, const UserTable& table);

// NoxSettings.TBL as the administrator sets it.
struct SettingsView {
  bool exists = false;
  std::string master_folder;  // output encoding, with its final "\"
  bool copy_from_master = false;
  bool lab_budget = false;  // the usage folder exists
};
SettingsView ViewSettings(Session& session);

// The commands, each given the session and its parsed arguments.
int UserList(Session& session, const ParsedArgs& args);
int UserShow(Session& session, const ParsedArgs& args);
int UserAdd(Session& session, const ParsedArgs& args);
int UserSet(Session& session, const ParsedArgs& args);
int UserRemove(Session& session, const ParsedArgs& args);
int UserRename(Session& session, const ParsedArgs& args);
int UserMove(Session& session, const ParsedArgs& args);
int UserGrant(Session& session, const ParsedArgs& args);
int SettingsShow(Session& session, const ParsedArgs& args);
int SettingsSet(Session& session, const ParsedArgs& args);
int Usage(Session& session, const ParsedArgs& args);
int Levels(Session& session, const ParsedArgs& args);
int Plan(Session& session, const ParsedArgs& args);
int Check(Session& session, const ParsedArgs& args);
int Import(Session& session, const ParsedArgs& args);
int Export(Session& session, const ParsedArgs& args);
int PasswordSet(Session& session, const ParsedArgs& args);
int PasswordCheck(Session& session, const ParsedArgs& args);
int Serve(Session& session, const ParsedArgs& args);

}  // namespace nox::admin
