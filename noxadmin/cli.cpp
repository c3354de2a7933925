#include "noxadmin/cli.h"

#include <cctype>
#include <ctime>
#include <ostream>
#include <sstream>
#include <string_view>

#include "common/runtime_error.h"
#include "noxadmin/host.h"
#include "noxadmin/session.h"

namespace nox::admin {
namespace {

struct OptionSpec {
  std::string name;
  bool takes_value;
  std::string help;  // "VALUE  what it does" (just the text for a flag)
};

using Handler = int (*)(Session&, const ParsedArgs&);

struct Command {
  std::string words;      // "user add"
  std::string arguments;  // "NAME [OPTIONS]"
  std::string summary;
  std::string details;
  std::vector<OptionSpec> options;
  size_t min_positional;
  size_t max_positional;
  Handler handler;
};

std::vector<OptionSpec> FieldOptions(bool with_name) {
  std::vector<OptionSpec> options;
  for (const FieldInfo& field : kFields) {
    if (std::string_view(field.name) == "name" && !with_name) continue;
    options.push_back({field.name, true, std::string(field.value_help) + "  " + field.help});
    if (std::string_view(field.name) == "drives") {
      options.push_back({"drive", true,
                         "C=HH:MM-HH:MM|C=off  one drive's schedule (repeatable): drive C is "
                         "hidden from the start time up to the end time"});
    }
  }
  return options;
}

std::vector<OptionSpec> WithExpect(std::vector<OptionSpec> options) {
  options.push_back({"expect", true,
                     "FIELD=VALUE  write nothing unless FIELD still holds VALUE (or the value "
                     "being set): an edit prepared on what was read earlier does not undo a "
                     "change made meanwhile (repeatable)"});
  return options;
}

std::string ColumnList() {
  std::string list;
  for (const FieldInfo& field : kFields) {
    if (std::string_view(field.name) != "name")
      list += (list.empty() ? "" : ", ") + std::string(field.name);
  }
  return list;
}

const std::string kFieldDetails =
    "Values that do not fit their fixed fields are refused with a message naming the field, "
    "and nothing is changed. Options are applied in the order given; a named level keeps the "
    "daily budget, a triple is stored as given.";

const std::vector<Command>& Commands() {
  static const std::vector<Command> commands = {
      {"user list",
       "",
       "list the users",
       "Number, name, level, daily minutes (allowed, used, last use), network level and "
       "allowed programs of every user, in table order.",
       {},
       0,
       0,
       UserList},
      {"user show", "NAME", "show every field of one user", "", {}, 1, 1, UserShow},
      {"user add", "NAME [FIELD OPTIONS]", "add a user at the end of the table",
       "A new user starts with level None, no password, network level 0, no drive schedule, "
       "no daily budget and no program restriction. " +
           kFieldDetails,
       FieldOptions(false), 1, 1, UserAdd},
      {"user set", "NAME FIELD OPTIONS", "change fields of a user",
       "Fields not named keep their values; reserved fields are never touched. " + kFieldDetails,
       WithExpect(FieldOptions(false)), 1, 1, UserSet},
      {"user remove",
       "NAME",
       "remove a user",
       "The users behind it move up one place, and their per-user files (n.TBL, n.KWT, n.pmk "
       "and the backups n.tbb, n.kwb, n.pmb) are renamed with them; the removed user's own "
       "files are deleted.",
       {},
       1,
       1,
       UserRemove},
      {"user rename", "OLD NEW", "rename a user", "", {}, 2, 2, UserRename},
      {"user move",
       "NAME POSITION",
       "move a user to another place in the table",
       "The login program takes the first user whose name matches; per-user files move with "
       "their users.",
       {},
       2,
       2,
       UserMove},
      {"user grant",
       "NAME MINUTES",
       "give a user extra minutes for today",
       "Lowers today's used minutes (after the new-day reset the login program would do), so "
       "the user has MINUTES more today. Only for users with a daily budget.",
       {},
       2,
       2,
       UserGrant},
      {"settings show", "", "show NoxSettings.TBL", "", {}, 0, 0, SettingsShow},
      {"settings set",
       "OPTIONS",
       "change NoxSettings.TBL",
       "",
       {{"master-folder", true,
         "FOLDER  the master folder the tables are copied from (a Windows path, \"\\\" "
         "appended when missing; at most 200 characters)"},
        {"copy-from-master", true, "yes|no  copy the tables from the master folder at every start"},
        {"lab-budget", true,
         "on|off  one daily budget across every PC of the lab: creates (or removes) the folder "
         "usage in the master folder, where each PC's pelorus.exe keeps its minutes"}},
       0,
       0,
       SettingsSet},
      {"usage",
       "[OPTIONS]",
       "minutes per user and PC from the lab's usage folder",
       "Reads every PC's usage file in the folder usage of the master folder (--dir: the "
       "folder holding the master tables, for example the share's folder on the server) and "
       "lists each user's minutes on each PC, then each user's total. Damaged files are named "
       "and left out.",
       {{"day", true, "YYYY-MM-DD  the day to list (default: today)"}},
       0,
       0,
       Usage},
      {"levels",
       "[NAME]",
       "the named levels and what each switches on",
       "Each level with its triple and, for every bit it sets, what that bit does.",
       {},
       0,
       1,
       Levels},
      {"plan",
       "NAME [OPTIONS]",
       "what a login of the user would write",
       "Runs the login program's own WriteSettings on a simulated machine holding these tables "
       "and prints every registry value it writes or deletes, the files it renames, the boot "
       "options, the programs it starts and the disc labels it accepts. The simulated machine: "
       "Windows 98 (or as --windows says), system directory C:\\WINDOWS\\SYSTEM, program "
       "directory C:\\NOX, MSDOS.SYS on C:, Timedate.cpl present, the Internet Explorer version "
       "of --ie.",
       {{"at", true, "HH:MM  the time of the login (default: now)"},
        {"format", true, "text|reg  readable text (default) or a REGEDIT4 file"},
        {"windows", true, "95|98|nt  the Windows of the simulated machine (default 98)"},
        {"ie", true, "VERSION  Internet Explorer version (default 5.00; \"none\": not installed)"}},
       1,
       1,
       Plan},
      {"check",
       "",
       "report everything in the tables that would fail or surprise at login",
       "Exit status 1 when any problem is found. With --fix, every password stored in plain "
       "text is hashed first, in one replace of USER.TBL.",
       {{"fix", false, "hash the passwords stored in plain text"}},
       0,
       0,
       Check},
      {"import",
       "FILE.csv|-",
       "add and update users from a CSV file",
       "The header row names the columns: name (required) and any of " + ColumnList() +
           " (the values of \"noxadmin user set --help\"). A row whose name exists updates that "
           "user, any other row adds one at the end. An empty cell leaves the field as it is (a "
           "new user's default). All or nothing: one bad row and nothing is written. \"-\" reads "
           "the "
           "standard input.",
       {{"dry-run", false, "check the file and report, write nothing"}},
       1,
       1,
       Import},
      {"export",
       "[OPTIONS]",
       "write every user as CSV (the columns import reads)",
       "",
       {{"output", true, "FILE  write to FILE instead of the standard output"}},
       0,
       0,
       Export},
      {"serve",
       "[OPTIONS]",
       "the administration page in a browser",
       "Serves a page on 127.0.0.1 (this computer only) that does what these commands do: the "
       "user table, adding, changing, renaming, moving and removing users, minutes for today, "
       "the settings, CSV import and export and the login preview. Prints the page's address, "
       "which holds a secret access token: every request without it is refused. Runs until "
       "Ctrl-C.",
       {{"port", true, "N  the port to listen on (default 8737; 0: any free port)"}},
       0,
       0,
       Serve},
      {"password set",
       "[PASSWORD]",
       "store the administrator password (Win32 build)",
       "Through SetPassword of Tessel.dll. Without PASSWORD it is read from the first line of "
       "the standard input.",
       {},
       0,
       1,
       PasswordSet},
      {"password check",
       "[PASSWORD]",
       "compare with the administrator password (Win32 build)",
       "Through CheckPassword of Tessel.dll. Exit status 0 when it matches, 1 otherwise.",
       {},
       0,
       1,
       PasswordCheck},
  };
  return commands;
}

const char* kGlobalHelp =
    "Global options (anywhere on the line):\n"
    "  --dir DIR          the folder holding USER.TBL and the other tables\n"
    "  --prefix PREFIX    a Wine prefix: the tables of PREFIX/drive_c/windows/system32\n"
    "  --help             help on a command\n"
    "The Win32 build uses the Windows system directory when neither is given.\n"
    "Exit status: 0 done, 1 refused or failed (nothing changed), 2 wrong command line.\n";

void PrintOverview(std::ostream& out) {
  out << "Usage: noxadmin [--dir DIR | --prefix PREFIX] COMMAND [ARGUMENTS]\n\nCommands:\n";
  for (const Command& command : Commands()) {
    std::string head = "  " + command.words;
    head.resize(18, ' ');
    out << head << command.summary << "\n";
  }
  out << "\n" << kGlobalHelp << "\"noxadmin COMMAND --help\" tells more.\n";
}

// `text` broken into lines of at most 79 characters, each after `indent`.
std::string Wrapped(const std::string& text, size_t indent) {
  std::string out;
  std::string line;
  std::istringstream words(text);
  for (std::string word; words >> word;) {
    if (!line.empty() && indent + line.size() + 1 + word.size() > 79) {
      out += std::string(indent, ' ') + line + "\n";
      line.clear();
    }
    line += (line.empty() ? "" : " ") + word;
  }
  if (!line.empty()) out += std::string(indent, ' ') + line + "\n";
  return out;
}

void PrintCommandHelp(const Command& command, std::ostream& out) {
  out << "Usage: noxadmin " << command.words;
  if (!command.arguments.empty()) out << " " << command.arguments;
  std::string summary = command.summary;
  summary[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(summary[0])));
  out << "\n\n" << Wrapped(summary + ". " + command.details, 0);
  if (!command.options.empty()) {
    out << "\nOptions:\n";
    for (const OptionSpec& option : command.options) {
      // "VALUE  what it does"
      const size_t gap = option.help.find("  ");
      out << "  --" << option.name;
      if (option.takes_value) out << " " << option.help.substr(0, gap);
      out << "\n" << Wrapped(option.takes_value ? option.help.substr(gap + 2) : option.help, 6);
    }
  }
  out << "\n" << kGlobalHelp;
}

// Splits "--name=value" / "--name value" / "--flag" by the command's
// options; UsageError for anything else.
ParsedArgs ParseCommandArgs(const Command& command, const std::vector<std::string>& args) {
  ParsedArgs parsed;
  bool options_ended = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (options_ended || arg.size() < 2 || arg.compare(0, 2, "--") != 0) {
      parsed.positional.push_back(arg);
      continue;
    }
    if (arg == "--") {
      options_ended = true;
      continue;
    }
    const size_t equals = arg.find('=');
    const std::string name =
        arg.substr(2, equals == std::string::npos ? std::string::npos : equals - 2);
    const OptionSpec* option_spec = nullptr;
    for (const OptionSpec& option : command.options) {
      if (option.name == name) option_spec = &option;
    }
    if (option_spec == nullptr) throw UsageError("unknown option --" + name);
    if (!option_spec->takes_value) {
      if (equals != std::string::npos) throw UsageError("--" + name + " takes no value");
      parsed.options.emplace_back(name, "");
    } else if (equals != std::string::npos) {
      parsed.options.emplace_back(name, arg.substr(equals + 1));
    } else if (i + 1 < args.size()) {
      parsed.options.emplace_back(name, args[++i]);
    } else {
      throw UsageError("--" + name + " needs a value");
    }
  }
  if (parsed.positional.size() < command.min_positional ||
      parsed.positional.size() > command.max_positional) {
    throw UsageError("usage: noxadmin " + command.words + " " + command.arguments);
  }
  return parsed;
}

struct GlobalArgs {
  std::optional<std::string> dir;
  std::optional<std::string> prefix;
  bool help = false;
  std::vector<std::string> rest;
};

GlobalArgs ParseGlobalArgs(const std::vector<std::string>& args) {
  GlobalArgs global;
  bool options_ended = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (options_ended) {
      global.rest.push_back(arg);
      continue;
    }
    if (arg == "--") options_ended = true;
    if (arg == "--help" || arg == "-h") {
      global.help = true;
      continue;
    }
    bool matched = false;
    for (const char* name : {"dir", "prefix"}) {
      const std::string flag = std::string("--") + name;
      std::optional<std::string> value;
      if (arg == flag) {
        if (i + 1 >= args.size()) throw UsageError(flag + " needs a value");
        value = args[++i];
      } else if (arg.compare(0, flag.size() + 1, flag + "=") == 0) {
        value = arg.substr(flag.size() + 1);
      }
      if (!value) continue;
      (name == std::string_view("dir") ? global.dir : global.prefix) = *value;
      matched = true;
    }
    if (!matched) global.rest.push_back(arg);
  }
  if (global.dir && global.prefix) throw UsageError("give --dir or --prefix, not both");
  return global;
}

// The command named by the leading words of `rest`; the number of words
// it took goes to `taken`.
const Command* FindCommand(const std::vector<std::string>& rest, size_t* taken) {
  for (const Command& command : Commands()) {
    const size_t space = command.words.find(' ');
    const std::string first = command.words.substr(0, space);
    if (rest.empty() || rest[0] != first) continue;
    if (space == std::string::npos) {
      *taken = 1;
      return &command;
    }
    if (rest.size() >= 2 && rest[1] == command.words.substr(space + 1)) {
      *taken = 2;
      return &command;
    }
  }
  return nullptr;
}

// Help for a group ("noxadmin user --help"): its commands.
bool PrintGroupHelp(const std::string& group, std::ostream& out) {
  bool any = false;
  for (const Command& command : Commands()) {
    if (command.words.compare(0, group.size() + 1, group + " ") != 0) continue;
    if (!any) out << "Usage: noxadmin " << group << " COMMAND\n\nCommands:\n";
    any = true;
    std::string head = "  " + command.words;
    head.resize(18, ' ');
    out << head << command.summary << "\n";
  }
  return any;
}

// Runs the command line; what fails is raised.
int RunCommandLine(const std::vector<std::string>& args, AdminContext& context) {
  GlobalArgs global = ParseGlobalArgs(args);
  if (global.rest.empty() || global.rest[0] == "help") {
    if (global.rest.size() <= 1) {
      PrintOverview(global.help || !global.rest.empty() ? context.out : context.err);
      return global.help || !global.rest.empty() ? kExitOk : kExitUsage;
    }
    global.rest.erase(global.rest.begin());
    global.help = true;
  }
  size_t taken = 0;
  const Command* command = FindCommand(global.rest, &taken);
  if (command == nullptr) {
    if (global.help && PrintGroupHelp(global.rest[0], context.out)) return kExitOk;
    if (PrintGroupHelp(global.rest[0], context.err)) return kExitUsage;
    throw UsageError("unknown command \"" + global.rest[0] + "\"; \"noxadmin --help\" lists them");
  }
  if (global.help) {
    PrintCommandHelp(*command, context.out);
    return kExitOk;
  }
  const std::vector<std::string> rest(global.rest.begin() + static_cast<long>(taken),
                                      global.rest.end());
  const ParsedArgs parsed = ParseCommandArgs(*command, rest);
  Session session(context, global.dir, global.prefix);
  return command->handler(session, parsed);
}

}  // namespace

platform::LocalTime HostNow() {
  const std::tm local = LocalCalendarTime(std::time(nullptr));
  platform::LocalTime time;
  time.year = local.tm_year + 1900;
  time.month = local.tm_mon + 1;
  time.day = local.tm_mday;
  time.hour = local.tm_hour;
  time.minute = local.tm_min;
  time.second = local.tm_sec;
  return time;
}

CommandOutcome RunCommand(const std::vector<std::string>& args, AdminContext& context) {
  const auto fail = [&](int exit, Problem problem, const std::string& printed) {
    context.err << "noxadmin: " << printed << "\n";
    return CommandOutcome{exit, std::move(problem)};
  };
  try {
    return {RunCommandLine(args, context), std::nullopt};
  } catch (const UsageError& error) {
    return fail(kExitUsage, {ProblemKind::kBadRequest, "", error.what(), {}}, error.what());
  } catch (const FileRefusal& error) {
    return fail(kExitFailed, {error.kind(), error.field(), error.reason(), error.rows()},
                error.what());
  } catch (const Failure& error) {
    return fail(kExitFailed, {error.kind(), error.field(), error.what(), {}}, error.what());
  } catch (const RuntimeError& error) {
    const std::string message =
        "error " + std::to_string(error.number()) + ": " + error.description();
    return fail(kExitFailed, {ProblemKind::kRefused, "", message, {}}, message);
  }
}

int RunNoxadmin(const std::vector<std::string>& args, AdminContext& context) {
  return RunCommand(args, context).exit;
}

}  // namespace nox::admin
