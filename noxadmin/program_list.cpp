#include "noxadmin/program_list.h"

#include "common/gcc_false_positives.h"
#include "common/list_input.h"
#include "common/runtime_error.h"

namespace nox::admin {
namespace {

// What precedes a label in a line of the first section; the disc guard skips
// the first three characters.
constexpr std::string_view kLabelPrefix = "CD ";

// An item in double quotes; one read unquoted because it held a quote goes
// back unquoted (it holds no comma or line break then).
NOX_GCC12_BUG105329_BEGIN
std::string Quoted(std::string_view item) {
  if (item.find('"') != item.npos) return std::string(item);
  return "\"" + std::string(item) + "\"";
}
NOX_GCC12_BUG105329_END

bool HasLineBreak(std::string_view text) { return text.find_first_of("\r\n") != text.npos; }

}  // namespace

std::vector<std::string> ProgramList::DiscLabels() const {
  std::vector<std::string> labels;
  for (const std::string& line : lines) labels.push_back(line.size() > 3 ? line.substr(3) : "");
  return labels;
}

void ProgramList::SetDiscLabels(const std::vector<std::string>& labels) {
  lines.clear();
  for (const std::string& label : labels) lines.push_back(std::string(kLabelPrefix) + label);
}

ProgramList ParseProgramList(std::string_view text, int line_count, int program_count,
                             bool* complete) {
  ProgramList list;
  ListInput input{std::string(text)};
  *complete = false;
  try {
    list.head_first = input.ReadItem();
    list.head_second = input.ReadItem();
    for (int i = 0; i < line_count; ++i) list.lines.push_back(input.ReadLine());
    for (int i = 0; i < program_count; ++i) {
      ProgramEntry entry;
      entry.name = input.ReadItem();
      entry.flag = input.ReadItem();
      entry.third = input.ReadItem();
      entry.fourth = input.ReadItem();
      list.programs.push_back(entry);
    }
    *complete = true;
  } catch (const RuntimeError&) {
    // The text ended early; keep what was read.
  }
  return list;
}

std::string FormatProgramList(const ProgramList& list) {
  std::string text = Quoted(list.head_first) + "," + Quoted(list.head_second) + "\r\n";
  for (const std::string& line : list.lines) text += line + "\r\n";
  for (const ProgramEntry& entry : list.programs) {
    text += Quoted(entry.name) + "," + Quoted(entry.flag) + "," + Quoted(entry.third) + "," +
            Quoted(entry.fourth) + "\r\n";
  }
  return text;
}

std::optional<std::string> DiscLabelProblem(std::string_view label) {
  if (label.empty()) return "an empty disc label matches no disc";
  if (HasLineBreak(label)) return "a disc label cannot hold a line break";
  return std::nullopt;
}

std::optional<std::string> ProgramNameProblem(std::string_view name) {
  if (name.empty()) return "an empty program name";
  if (HasLineBreak(name)) return "a program name cannot hold a line break";
  if (name.find('"') != name.npos) return "a program name cannot hold a double quote";
  if (name.front() == ' ' || name.back() == ' ') {
    return "a program name cannot begin or end with a blank";
  }
  return std::nullopt;
}

}  // namespace nox::admin
