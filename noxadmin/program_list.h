// The per-user program list file n.TBL, in the layout the login program
// reads item by item (items separated by commas and line ends, text items
// in double quotes):
//
//   "noxadmin","1"                      two items, not read by the login program
//   CD MATHS2000                        program list count whole lines: disc
//   CD ATLAS                            labels, compared from the 4th character
//   "word.exe","False","",""            allowed program count records of four
//   "excel.exe","False","",""           items: name, flag, two more
//
// A first record whose flag is "True" lifts the program restriction.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace nox::admin {

struct ProgramEntry {
  std::string name;
  std::string flag = "False";
  std::string third;
  std::string fourth;
};

struct ProgramList {
  std::string head_first = "noxadmin";
  std::string head_second = "1";
  std::vector<std::string> lines;  // the first section, whole lines
  std::vector<ProgramEntry> programs;

  // The disc labels of the first section: each line from its 4th character.
  std::vector<std::string> DiscLabels() const;
  void SetDiscLabels(const std::vector<std::string>& labels);
};

// Reads the file as the login program does, with the counts of the user's
// record. `complete` is set to false when the text ends before everything
// the counts ask for was read (what was read is kept).
ProgramList ParseProgramList(std::string_view text, int line_count, int program_count,
                             bool* complete);

// The file's text, lines ended by CR LF.
std::string FormatProgramList(const ProgramList& list);

// Why `label` cannot be a disc label line, or nothing when it can.
std::optional<std::string> DiscLabelProblem(std::string_view label);
// Why `name` cannot be an allowed program, or nothing when it can.
std::optional<std::string> ProgramNameProblem(std::string_view name);

}  // namespace nox::admin
