// Trace lines, their sinks (the log file and the monitor window) and the
// error log.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "clearway/snare/snare_internal.h"

namespace nox {

namespace {

constexpr const char* kCrLf = "\r\n";
constexpr size_t kPrintZone = 14;

std::string Digits(int64_t value, int width) {
  char text[32];
  std::snprintf(text, sizeof text, "%0*lld", width, static_cast<long long>(value));
  return text;
}

// Cuts a trace line just before its second ":" and drops the blanks before
// the cut: what is left ends with the module and the procedure.
std::string WithoutArguments(std::string line) {
  const size_t first = line.find(':');
  const size_t second = first == std::string::npos ? first : line.find(':', first + 1);
  if (second == std::string::npos) return line;
  line.resize(second);
  while (!line.empty() && line.back() == ' ') line.pop_back();
  return line;
}

std::string ResourceParts(const SnareSettings& settings) {
  const bool resources = settings.include_resources != 0;
  const bool memory = settings.include_memory != 0;
  if (!resources && !memory) return "";
  const platform::MemoryStatus status = platform::GetMemoryStatus();
  std::string parts;
  if (resources) parts += " : [res = " + std::to_string(status.load_percent) + "%";
  if (memory) {
    parts += resources ? ", mem = " : " : [mem = ";
    parts += std::to_string(status.available_physical);
  }
  return parts + "]";
}

// Appends to the file, creating it when missing; failures are dropped.
void AppendToFile(const std::string& path, const std::string& text) {
  uint64_t length = 0;
  if (platform::FileLength(path, &length) != platform::kSuccess) length = 0;
  platform::WriteFileAt(path, length, text);
}

// The log file's path; relative paths are taken from the current directory.
std::string LogFilePath(const std::string& log_file) {
  const bool absolute =
      log_file.size() >= 2 && (log_file[1] == ':' || log_file.substr(0, 2) == "\\\\");
  if (absolute) return log_file;
  if (!log_file.empty() && log_file[0] == '\\')
    return platform::CurrentDirectory().substr(0, 2) + log_file;
  return platform::CurrentDirectory() + "\\" + log_file;
}

void PauseWhileMonitorAsks(platform::WindowHandle monitor) {
  const std::vector<platform::WindowHandle> windows = platform::VisibleProgramWindows();
  for (platform::WindowHandle window : windows) platform::EnableWindow(window, false);
  while (platform::SendWindowMessage(monitor, kMonitorPauseMessage, 1, 0) != 0) {
    platform::PumpMessages();
    if (platform::SendWindowMessage(monitor, kMonitorPauseMessage, 2, 0) != 0) break;
  }
  for (platform::WindowHandle window : windows) platform::EnableWindow(window, true);
}

// One detail line: from the second print zone on, the label and the value
// in the zone after it.
std::string Detail(const std::string& label, const std::string& value) {
  std::string line(kPrintZone, ' ');
  line += label;
  line.append(kPrintZone - label.size() % kPrintZone, ' ');
  return line + value + kCrLf;
}

std::string DetailText(const std::string& text) {
  return std::string(kPrintZone, ' ') + text + kCrLf;
}

// A call-stack entry as the call tree shows it: no level prefix, tabs as
// blanks, no leading blanks.
std::string CallTreeText(const std::string& entry) {
  const size_t prefix = entry.find(" : ");
  std::string text = prefix == std::string::npos ? entry : entry.substr(prefix + 3);
  for (char& c : text) {
    if (c == '\t') c = ' ';
  }
  return text.substr(std::min(text.find_first_not_of(' '), text.size()));
}

// " n : Call", the start of call-tree line n. Built up in steps: GCC 12
// warns falsely (bug 105329) on a literal added to a temporary string.
std::string CallTreeLabel(int number, const char* kind) {
  std::string label = " ";
  label += std::to_string(number);
  label += " : ";
  label += kind;
  return label;
}

std::string UpToChain(const std::string& text) { return text.substr(0, text.find(" << ")); }

std::string ErrorInformation(const SnareState& snare) {
  std::string block = pfMsg(27) + kCrLf;
  for (int level = 0; level <= snare.forwarded_levels; ++level) {
    const ErrorLevel& error = snare.context[level];
    block += "Error " + std::to_string(level) + kCrLf;
    block += Detail(pfMsg(38), error.category);
    block += Detail(pfMsg(61), error.source);
    block += Detail(pfMsg(19), error.module);
    block += Detail(pfMsg(30), error.procedure);
    block += Detail(pfMsg(35), error.line);
    block += Detail(pfMsg(36), std::to_string(error.number));
    block += Detail(pfMsg(37), error.description);
    block += kCrLf;
  }
  return block;
}

std::string RuntimeErrorText(const ErrorLevel& error) {
  return "Runtime error " + std::to_string(error.number) + ", " + error.description;
}

// The innermost snapshot entry that holds the erring module and procedure
// (without their forwarded chains); 0 when none does.
size_t ErringEntry(const SnareState& snare) {
  const std::string module = UpToChain(snare.context[0].module);
  const std::string procedure = UpToChain(snare.context[0].procedure);
  for (size_t k = snare.snapshot.size(); k-- > 1;) {
    const std::string& entry = snare.snapshot[k];
    if (entry.find(module) != std::string::npos && entry.find(procedure) != std::string::npos) {
      return k;
    }
  }
  return 0;
}

void AddForwardedTraps(const SnareState& snare, const std::string& indent,
                       std::vector<std::string>* lines) {
  for (int level = 1; level <= snare.forwarded_levels; ++level) {
    const ErrorLevel& forwarded = snare.context[level];
    std::string text = RuntimeErrorText(forwarded);
    if (std::atoi(forwarded.line.c_str()) > 0) text += " on line " + forwarded.line;
    lines->push_back(CallTreeLabel(static_cast<int>(lines->size()) + 1, "Trap") + indent + text);
  }
}

std::string CallTree(const SnareState& snare) {
  std::string block = std::string(kCrLf) + pfMsg(28) + kCrLf;
  for (const std::string& line : CallTreeLines(snare)) block += DetailText(line);
  return block;
}

}  // namespace

std::vector<std::string> CallTreeLines(const SnareState& snare) {
  std::vector<std::string> lines;
  const size_t erring = snare.forwarded_levels > 0 ? ErringEntry(snare) : 0;
  std::string indent = "\t";
  for (size_t k = 1; k < snare.snapshot.size(); ++k) {
    indent.assign(k, '\t');
    lines.push_back(CallTreeLabel(static_cast<int>(lines.size()) + 1, "Call") + indent +
                    CallTreeText(snare.snapshot[k]));
    if (k == erring) AddForwardedTraps(snare, indent, &lines);
  }
  lines.push_back(CallTreeLabel(static_cast<int>(lines.size()) + 1, "Error") + indent +
                  RuntimeErrorText(snare.context[0]));
  return lines;
}

int64_t ElapsedMilliseconds() {
  return static_cast<uint32_t>(platform::TimerMilliseconds() - Snare().start_ms);
}

std::string pfTimeStamp(int64_t milliseconds) {
  // Formatted without the locale, so the separator is "." whatever it says.
  const int64_t magnitude = milliseconds < 0 ? -milliseconds : milliseconds;
  std::string stamp = milliseconds < 0 ? "-" : "";
  stamp += Digits(magnitude / 1000, 5);
  stamp += '.';
  stamp += Digits(magnitude % 1000, 3);
  return stamp;
}

std::string pfTrace(int64_t correction, TraceDirection direction, std::string_view entry) {
  SnareState& snare = Snare();
  const int64_t stamp = ElapsedMilliseconds() - correction;
  if (snare.level <= kMaxLevel) snare.timers[snare.level] = stamp;
  std::string line = snare.trace_prefix + "[" + Digits(snare.trace_counter, 5) + "] [" +
                     pfTimeStamp(stamp) + "]" +
                     (direction == TraceDirection::kEntry ? "->" : "<-") + std::string(entry);
  if (!snare.settings.arguments()) line = WithoutArguments(std::move(line));
  line += ResourceParts(snare.settings);
  // The user value of this program is empty.
  if (snare.settings.include_user != 0) line += " : ";
  return line + kCrLf;
}

void pfOut(const std::string& text) {
  const SnareState& snare = Snare();
  if (snare.settings.capture_to_disk) pfLogLine(text);
  if (!snare.monitor_present) return;
  if (platform::SendWindowText(snare.monitor, text) == kMonitorSaysPause) {
    PauseWhileMonitorAsks(snare.monitor);
  }
}

void pfLogLine(const std::string& text) {
  const SnareState& snare = Snare();
  if (!snare.settings.write_to_disk) return;
  AppendToFile(LogFilePath(snare.settings.log_file), text + kCrLf);
}

void pfLog() {
  SnareState& snare = Snare();
  if (snare.settings.log_file.empty()) snare.settings.log_file = "snerror.log";
  std::string block = pfMsg(20) + kCrLf;
  block += std::string(65, '*') + kCrLf;
  block += pfMsg(62) + kCrLf;
  block += ErrorInformation(snare);
  block += CallTree(snare);
  block += std::string(kCrLf) + pfMsg(29) + kCrLf + snare.system_text + kCrLf;
  block += std::string("User Said") + kCrLf + DetailText(snare.user_text);
  block += pfMsg(31) + kCrLf;
  AppendToFile(LogFilePath(snare.settings.log_file), block);
}

}  // namespace nox
