// The error trap's process-wide state and its inner routines, shared by the
// trap's own files and its tests. Instrumented code uses snare.h only.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "clearway/snare/snare.h"
#include "platform/platform.h"

namespace nox {

// The call-stack table and the level tables have cells 0..kMaxLevel; deeper
// levels are counted but not recorded.
constexpr int kMaxLevel = 1000;
constexpr int kErrorLevels = 11;  // 0: this program's error; 1..10 forwarded
constexpr uint32_t kMonitorPauseMessage = 0x400 + 100;
constexpr intptr_t kMonitorSaysPause = 128;

// SNCLIENT.INI, as read. The six 16-bit switches hold the negated value of
// their one-character text: "1" gives -1.
struct SnareSettings {
  bool force_system_info = false;
  std::string email_address;
  bool write_to_disk = false;
  bool capture_to_disk = false;
  std::string log_file;
  int16_t silent_run = 0;
  int16_t display_mode = 0;
  int16_t include_resources = 0;
  int16_t include_memory = 0;
  int16_t include_arguments = 0;
  int16_t include_user = 0;

  // "Silent Run" and "Arguments" count only as -1; the others as any non-zero.
  bool silent() const { return silent_run == -1; }
  bool arguments() const { return include_arguments == -1; }
};

struct ErrorLevel {
  std::string category;
  std::string source;
  std::string module;
  std::string procedure;
  std::string line;  // as logged: digits, or "<unknown>" for a forwarded level without one
  int32_t number = 0;
  std::string description;
  std::string help_file;
  int32_t help_context = 0;
};

struct SnareState {
  bool started = false;
  bool busy = false;
  bool in_development_environment = false;
  bool monitor_present = false;
  platform::WindowHandle monitor = 0;

  int32_t level = 0;  // a 16-bit counter: it stops at 32767
  std::vector<std::string> call_stack;
  std::vector<int64_t> timers;  // milliseconds since start of each level's last trace line
  std::vector<int16_t> code_pointers;

  std::array<ErrorLevel, kErrorLevels> context;
  int16_t forwarded_levels = 0;
  std::vector<std::string> snapshot;  // item 0: " <level>"; then the entries
  int16_t current_code_pointer = 0;
  std::string user_text;
  std::string system_text;
  std::string help_file;  // the application's; the dialog lends it to "snare.hlp"
  int16_t dialog_result = 0;

  SnareSettings settings;
  std::string program_folder;   // without a trailing "\"
  std::string executable_name;  // without its extension
  std::string trace_prefix;     // "[" + executable name + "] "
  std::string project_name;

  uint32_t trace_counter = 0;
  uint32_t start_ms = 0;
  int64_t overhead = 0;
  int64_t entry_correction = 0;
  int64_t exit_correction = 0;
};

// The one trap of the process.
SnareState& Snare();
// A fresh trap, as at program start (tests only).
void ResetSnare();

// Start-up: settings, development environment, monitor window, start banner.
void snSTART();
// Reads the settings file (its keys through the buffer sizes Windows would
// use); a bare log file name is placed in `program_folder`.
SnareSettings ReadSnareSettings(const std::string& ini_path, const std::string& program_folder);
// A top-level window title the monitor program uses.
bool IsMonitorTitle(std::string_view title);

std::string pfMsg(int number);
int pfCategory(int32_t number);
std::string pfCategoryName(int category);
void pfErr(int32_t number, const std::string& routine);

// Milliseconds since start-up.
int64_t ElapsedMilliseconds();
std::string pfTimeStamp(int64_t milliseconds);
enum class TraceDirection { kEntry, kExit };
// `entry` is the level's call-stack text without its level prefix.
std::string pfTrace(int64_t correction, TraceDirection direction, std::string_view entry);
void pfOut(const std::string& text);
void pfLogLine(const std::string& text);
void pfLog();
// The error log's call tree: the snapshot's calls, the forwarded traps after
// the erring entry, and the "Error" line with "Runtime error".
std::vector<std::string> CallTreeLines(const SnareState& snare);

// The levels an error forwarded by another instrumented component carries
// in its source text: "count!source!module!procedure!line!number!..." (at
// most 10). Element k - 1 is level k.
struct ForwardedLevel {
  std::string source;
  std::string module;
  std::string procedure;
  std::string line;  // digits, or "<unknown>"
  int32_t number = 0;
};
std::vector<ForwardedLevel> ParseForwardedSource(std::string_view source);

// The error dialog and the mailed report.
int16_t pfDialog();
void pfMail();

}  // namespace nox
