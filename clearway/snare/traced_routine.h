// The instrumentation every routine of the uninstaller (and of snaretry)
// follows, in one place so a routine shows its statements, not the
// bookkeeping:
//
//   void RestoreStartMenu(int32_t scope) {
//     TracedRoutine routine("hide", "Sub RestoreStartMenu",
//                           [&] { return ArgumentList({{"scope", std::to_string(scope)}}); });
//     routine.Do([&] { ... });
//     routine.Do([&] { ... });
//   }
//
// Construction announces the routine (snPUSH); destruction is its exit path
// (snPOP with the argument description rebuilt from the current values). Each
// Do runs one statement: a RuntimeError it raises goes to snERROR and the
// returned code decides: retry the statement (1, and 5 after a debugger
// break), go on with the next one (2), or leave (anything else: every later
// Do is skipped). A routine that must never stop (OnError::kResumeNext) drops
// its errors without trapping them, statement by statement.
//
// Routines own their TracedRoutine on the stack; it is movable only so that
// Unannounced can hand one out.
#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>

namespace nox {

// "(" name=value, ... ")"; "()" for none.
std::string ArgumentList(
    std::initializer_list<std::pair<std::string_view, std::string_view>> arguments);

class TracedRoutine {
 public:
  enum class OnError { kTrap, kResumeNext };
  using DescribeArguments = std::function<std::string()>;

  TracedRoutine(std::string module, std::string procedure, DescribeArguments describe,
                OnError on_error = OnError::kTrap);
  TracedRoutine(std::string module, std::string procedure, OnError on_error = OnError::kTrap);
  // A routine that traps its errors but never announces itself: no entry,
  // no exit, only snERROR from its handler.
  static TracedRoutine Unannounced(std::string module, std::string procedure);
  ~TracedRoutine();
  TracedRoutine(const TracedRoutine&) = delete;
  TracedRoutine& operator=(const TracedRoutine&) = delete;
  TracedRoutine(TracedRoutine&& other) noexcept;

  // Runs one statement (line: its line number, 0 when unnumbered). False once
  // the routine is leaving; the statement is then not run.
  bool Do(const std::function<void()>& statement) { return Do(0, statement); }
  bool Do(int32_t line, const std::function<void()>& statement);
  bool leaving() const { return leaving_; }

 private:
  TracedRoutine() : announced_(false) {}

  std::string module_;
  std::string procedure_;
  DescribeArguments describe_;
  OnError on_error_;
  bool announced_ = true;
  bool leaving_ = false;
  // The end of the program unwinds (in tests) without an exit path.
  int uncaught_at_entry_ = std::uncaught_exceptions();
};

}  // namespace nox
