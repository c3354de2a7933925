// The trap's entry points: procedure entry and exit, error capture.
#include "clearway/snare/snare.h"

#include <algorithm>
#include <cmath>
#include <exception>

#include "clearway/snare/snare_internal.h"
#include "common/ansi_text.h"
#include "common/runtime_error.h"
#include "common/vb_number.h"

namespace nox {

namespace {

constexpr int32_t kObjectErrorBase = 2147221504;
constexpr int32_t kLevelLimit = 32767;

void WaitWhileBusy() {
  while (Snare().busy) platform::PumpMessages();
}

// " n", a level as the call-stack table writes it. Built up in steps: GCC
// 12 warns falsely (bug 105329) on a literal added to a temporary string.
std::string LevelText(int32_t level) {
  std::string text = " ";
  text += std::to_string(level);
  return text;
}

std::string Tabs(int32_t count) { return std::string(std::max(count, 0), '\t'); }

std::string UpperTrimmed(std::string text) {
  text = TrimBlanks(text);
  for (char& c : text) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return text;
}

// The time the first traced entry or exit spent handing its line to the
// monitor is kept out of the later stamps of that direction.
void StartOfCall(uint32_t first_counter) {
  SnareState& snare = Snare();
  if (snare.trace_counter == first_counter && snare.monitor_present) {
    snare.overhead = ElapsedMilliseconds();
  }
}

void EndOfCall(int64_t* correction) {
  SnareState& snare = Snare();
  if (snare.overhead == 0) return;
  *correction = ElapsedMilliseconds() - snare.overhead;
  snare.overhead = 0;
}

bool Tracing() {
  const SnareState& snare = Snare();
  return snare.settings.capture_to_disk || snare.monitor_present;
}

void Push(const std::string& module, const std::string& procedure, const std::string& arguments) {
  SnareState& snare = Snare();
  snSTART();
  StartOfCall(0);
  WaitWhileBusy();
  snare.level = std::min(snare.level + 1, kLevelLimit);
  const std::string entry = Tabs(snare.level - 1) + module + " : " + procedure + " : " + arguments;
  const bool recorded = snare.level <= kMaxLevel;
  if (Tracing()) {
    if (recorded) snare.code_pointers[snare.level] = 0;
    ++snare.trace_counter;
    pfOut(pfTrace(snare.entry_correction, TraceDirection::kEntry, entry));
  }
  if (recorded) snare.call_stack[snare.level] = LevelText(snare.level) + " : " + entry;
  platform::SuppressSystemErrorBoxes();
  EndOfCall(&snare.entry_correction);
}

void ReportUnbalancedExit(const std::string& module, const std::string& procedure) {
  const ErrorLevel& last = Snare().context[0];
  if (last.module.find(" << ") != std::string::npos &&
      last.procedure.find(" << ") != std::string::npos) {
    return;
  }
  const std::string text = pfMsg(19) + "\t" + module + "\r\n" + pfMsg(30) + "\t" + procedure +
                           "\r\n\r\n" + pfMsg(48) + "\r\n\r\n" + pfMsg(49) + "\r\n\r\n" +
                           pfMsg(50) + "\r\n" + pfMsg(51);
  if (platform::MessageBox(text, pfMsg(53), platform::kMbOkCancel | platform::kMbIconExclamation) ==
      platform::kIdOk) {
    platform::BreakIntoDebugger();
  }
}

void Pop(const std::string& module, const std::string& procedure, const std::string& arguments) {
  SnareState& snare = Snare();
  snSTART();
  StartOfCall(1);
  WaitWhileBusy();
  if (snare.level > kMaxLevel) {
    // No cell to check against: the exit of an unrecorded level is taken as given.
    if (Tracing()) {
      ++snare.trace_counter;
      const std::string entry =
          Tabs(snare.level - 1) + module + " : " + procedure + " : " + arguments;
      pfOut(pfTrace(snare.exit_correction, TraceDirection::kExit, entry));
    }
    --snare.level;
    EndOfCall(&snare.exit_correction);
    return;
  }
  const std::string& stored = snare.call_stack[std::max(snare.level, 0)];
  if (snare.level < 1 || stored.find(module + " : " + procedure) == std::string::npos) {
    snare.level = 0;
    if (snare.in_development_environment) ReportUnbalancedExit(module, procedure);
    snare.context[0].module.clear();
    snare.context[0].procedure.clear();
    return;
  }
  if (Tracing()) {
    ++snare.trace_counter;
    pfOut(pfTrace(snare.exit_correction, TraceDirection::kExit,
                  stored.substr(stored.find(" : ") + 3)));
  }
  snare.call_stack[snare.level].clear();
  snare.code_pointers[snare.level] = 0;
  --snare.level;
  EndOfCall(&snare.exit_correction);
}

// Module and procedure of the innermost announced routine.
void InnermostAnnounced(std::string* module, std::string* procedure) {
  const SnareState& snare = Snare();
  for (int32_t level = std::min(snare.level, kMaxLevel); level >= 1; --level) {
    const std::string& stored = snare.call_stack[level];
    if (stored.empty()) continue;
    std::string entry = stored.substr(std::min(stored.find(" : ") + 3, stored.size()));
    entry.erase(std::remove(entry.begin(), entry.end(), '\t'), entry.end());
    const size_t first = entry.find(" : ");
    *module = entry.substr(0, first);
    if (first == std::string::npos) return;
    const size_t second = entry.find(" : ", first + 3);
    *procedure = entry.substr(first + 3, second == std::string::npos ? second : second - first - 3);
    return;
  }
}

// The announced name, or the trapping routine's name + " << " + the
// announced one when they differ.
std::string TrappedName(const std::string& argument, const std::string& announced) {
  if (announced.empty() || UpperTrimmed(argument) == UpperTrimmed(announced)) {
    return announced.empty() ? argument : announced;
  }
  return argument + " << " + announced;
}

void RecordForwardedLevels(const std::string& source) {
  SnareState& snare = Snare();
  const std::vector<ForwardedLevel> levels = ParseForwardedSource(source);
  snare.forwarded_levels = static_cast<int16_t>(levels.size());
  ErrorLevel& handover = snare.context[0];
  handover.description = "Remote " + StandardErrorText(kErrAutomation);
  handover.category = pfCategoryName(pfCategory(kErrAutomation));
  handover.source = snare.project_name + " (local)";
  handover.number = kErrAutomation;
  for (size_t k = 1; k <= levels.size(); ++k) {
    const ForwardedLevel& from = levels[k - 1];
    ErrorLevel& level = snare.context[k];
    level.source = from.source + " (remote)";
    level.module = from.module;
    level.procedure = from.procedure;
    level.line = from.line;
    level.number = from.number;
    level.description = StandardErrorText(from.number);
    level.help_file.clear();
    level.help_context = 0;
  }
  for (int k = static_cast<int>(levels.size()) - 1; k >= 0; --k) {
    ErrorLevel& level = snare.context[k];
    const ErrorLevel& next = snare.context[k + 1];
    level.source += " << " + next.source;
    level.module += " << " + next.module;
    level.procedure += " << " + next.procedure;
  }
}

void TakeSnapshot() {
  SnareState& snare = Snare();
  const int32_t recorded = std::min(snare.level, kMaxLevel);
  snare.snapshot.assign(1, LevelText(snare.level));
  for (int32_t level = 1; level <= recorded; ++level) {
    snare.snapshot.push_back(snare.call_stack[level]);
  }
}

void CaptureError(const std::string& module, const std::string& procedure,
                  const TrappedError& error, int16_t* result) {
  SnareState& snare = Snare();
  // Started first: the project name tells local errors from remote ones.
  WaitWhileBusy();
  snSTART();
  const std::string source = error.source.empty() ? snare.project_name : error.source;
  ErrorLevel& level0 = snare.context[0];
  level0 = ErrorLevel{};
  level0.source = source + (source == snare.project_name ? " (local)" : " (remote)");
  snare.current_code_pointer = snare.code_pointers[std::clamp(snare.level, 0, kMaxLevel)];
  level0.category = pfCategoryName(pfCategory(error.number)) + pfMsg(16);
  std::string announced_module;
  std::string announced_procedure;
  InnermostAnnounced(&announced_module, &announced_procedure);
  level0.module = TrappedName(module, announced_module);
  level0.procedure = TrappedName(procedure, announced_procedure);
  level0.line = std::to_string(error.line);
  level0.number = error.number;
  for (ErrorLevel& level : snare.context) level.description.clear();
  snare.forwarded_levels = 0;
  if (level0.source.find('!') != std::string::npos) {
    RecordForwardedLevels(source);
  } else {
    level0.help_file = error.help_file;
    level0.help_context = error.help_context;
    level0.description = StandardErrorText(error.number);
  }
  if (level0.number < 0) {
    level0.number += kObjectErrorBase;
    level0.description = StandardErrorText(level0.number) + " : " + level0.description;
  }
  pfOut(snare.trace_prefix + "ERROR " + std::to_string(level0.number) + " at " + level0.module +
        " : " + level0.procedure + " : Line " + level0.line + " : " + level0.description);
  TakeSnapshot();
  if (!snare.settings.silent()) {
    *result = pfDialog();
    if (!snare.settings.write_to_disk) pfLog();
  }
  if (!snare.settings.email_address.empty()) pfMail();
  if (snare.settings.write_to_disk) pfLog();
}

}  // namespace

SnareState& Snare() {
  static SnareState snare;
  return snare;
}

void ResetSnare() { Snare() = SnareState{}; }

void pfErr(int32_t number, const std::string& routine) {
  const std::string text = routine + " " + pfMsg(23) + " " + std::to_string(number) + ", '" +
                           StandardErrorText(number) + "', inside SNARE\r\n";
  if (platform::MessageBox(text, "Snare" + pfMsg(24), platform::kMbIconStop) == 0) {
    platform::MessageBox(pfMsg(25) + std::to_string(number) + pfMsg(26) + "0", "", platform::kMbOk);
  }
}

std::vector<ForwardedLevel> ParseForwardedSource(std::string_view source) {
  std::vector<std::string> fields(1);
  for (char c : source) {
    if (c == '!') {
      fields.emplace_back();
    } else {
      fields.back().push_back(c);
    }
  }
  const double count_value = ReadLeadingNumber(fields[0]);
  const int count = count_value >= 1 ? static_cast<int>(std::min(count_value, 10.0)) : 0;
  std::vector<ForwardedLevel> levels(count);
  size_t next = 1;
  auto field = [&]() { return next < fields.size() ? fields[next++] : std::string(); };
  for (int level = count; level >= 1; --level) {
    ForwardedLevel& forwarded = levels[level - 1];
    forwarded.source = field();
    forwarded.module = field();
    forwarded.procedure = field();
    const double line = ReadLeadingNumber(field());
    forwarded.line = line >= 1 && line <= 2147483647.0 ? std::to_string(static_cast<int32_t>(line))
                                                       : "<unknown>";
    const double number = ReadLeadingNumber(field());
    forwarded.number = std::isfinite(number) && std::fabs(number) <= 2147483647.0
                           ? static_cast<int32_t>(number)
                           : 0;
  }
  return levels;
}

void snPUSH(const std::string& module, const std::string& procedure, const std::string& arguments) {
  try {
    Push(module, procedure, arguments);
  } catch (const std::exception&) {
    // The trap never fails its caller: a failing step is skipped.
  }
}

void snPOP(const std::string& module, const std::string& procedure, const std::string& arguments) {
  try {
    Pop(module, procedure, arguments);
  } catch (const std::exception&) {
  }
}

int16_t snERROR(const std::string& module, const std::string& procedure,
                const TrappedError& error) {
  int16_t result = 0;
  try {
    CaptureError(module, procedure, error, &result);
  } catch (const RuntimeError& failure) {
    pfErr(failure.number(), "snERROR()");
  } catch (const std::exception&) {
  }
  Snare().busy = false;
  return result;
}

}  // namespace nox
