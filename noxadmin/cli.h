// noxadmin, the administration tool of Nox: users, levels and settings in
// the table files of a Windows system directory (or a copy of one).
#pragma once

#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "noxadmin/problem.h"
#include "platform/platform.h"

namespace nox::admin {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;  // refused, failed, or problems found
inline constexpr int kExitUsage = 2;

struct AdminContext {
  std::ostream& out;
  std::ostream& err;
  std::istream& in;
  // The host's local time: the day of "user grant", the default of "plan --at".
  platform::LocalTime now;
  // Where the notes go besides the error stream ("the login program copies
  // the tables ..."), each without "noxadmin: note: "; none when null.
  std::vector<std::string>* notes = nullptr;
};

// The host's local time now.
platform::LocalTime HostNow();

// Runs one command line (the arguments after the program name); returns the
// exit status.
int RunNoxadmin(const std::vector<std::string>& args, AdminContext& context);

// A command's exit status and, when it failed, what went wrong (also printed
// on the error stream, as RunNoxadmin does).
struct CommandOutcome {
  int exit = kExitOk;
  std::optional<Problem> problem;
};
CommandOutcome RunCommand(const std::vector<std::string>& args, AdminContext& context);

}  // namespace nox::admin
