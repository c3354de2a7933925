// Snare, the uninstaller's error trap: procedure tracing and run-time error
// capture for every instrumented routine.
//
// Instrumented code calls three entry points: snPUSH when a routine starts,
// snPOP when it leaves and snERROR when a statement of it failed. The trap
// starts itself at the first call (settings from SNCLIENT.INI beside the
// program), writes trace lines to the log file and to an open "Verdin Snare"
// monitor window, and for every trapped error writes the error log, shows
// the error dialog and mails the report as its settings say. None of the
// three ever fails towards its caller. Routines do not call them directly:
// they go through TracedRoutine (traced_routine.h).
#pragma once

#include <cstdint>
#include <string>

namespace nox {

// What an instrumented routine hands to snERROR: the error that stopped one
// of its statements and that statement's line number (0 when unnumbered).
struct TrappedError {
  int32_t number = 0;
  std::string source;  // empty: raised by the program's own code
  std::string help_file;
  int32_t help_context = 0;
  int32_t line = 0;
};

// The action codes snERROR returns and instrumented routines act on.
constexpr int16_t kActionLeave = 0;       // Continue: leave through the exit path
constexpr int16_t kActionRetry = 1;       // run the failing statement again
constexpr int16_t kActionNext = 2;        // go on with the next statement
constexpr int16_t kActionBreakRetry = 5;  // Break: debugger, then retry

// A routine starts: module ("Clearway"), procedure as declared ("Sub main")
// and its argument description ("()", "(regline=..., dwtype=4)").
void snPUSH(const std::string& module, const std::string& procedure, const std::string& arguments);
// A routine leaves. An exit that does not match the innermost entry abandons
// the recorded nesting.
void snPOP(const std::string& module, const std::string& procedure, const std::string& arguments);
// A statement of the routine failed with `error`: records, logs, shows and
// mails it as configured; returns the action code (0 or 5).
int16_t snERROR(const std::string& module, const std::string& procedure, const TrappedError& error);

}  // namespace nox
