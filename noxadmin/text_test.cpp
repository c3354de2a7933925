#include "noxadmin/text.h"

#include <gtest/gtest.h>

#include "noxadmin/program_list.h"

namespace nox::admin {
namespace {

struct CodePageCase {
  std::string utf8;
  std::string ansi;
};

TEST(AdminText, Utf8AndWindows1252MapBothWays) {
  const std::vector<CodePageCase> cases = {
      {"plain", "plain"},
      {"Zo\xC3\xAB", "Zo\xEB"},
      {"\xE2\x82\xAC", "\x80"},          // euro sign
      {"\xC5\xA0\xC5\x92", "\x8A\x8C"},  // S caron, OE
      {"\xC2\xA0\xC3\xBF", "\xA0\xFF"},  // no-break space, y diaeresis
      {"\xE2\x80\x9C\xE2\x80\x9D", "\x93\x94"},
  };
  for (size_t i = 0; i < cases.size(); ++i) {
    EXPECT_EQ(Utf8ToAnsi(cases[i].utf8), cases[i].ansi) << "case " << i;
    EXPECT_EQ(AnsiToUtf8(cases[i].ansi), cases[i].utf8) << "case " << i;
  }
}

TEST(AdminText, RefusesWhatTheCodePageLacksAndBrokenUtf8) {
  for (const std::string& bad :
       {std::string("\xE2\x98\x83"), std::string("\xC3"), std::string("\xC0\x80"),
        std::string("\xED\xA0\x80"), std::string("\xFF"), std::string("\xC2\x81")}) {
    EXPECT_FALSE(Utf8ToAnsi(bad).has_value()) << bad.size();
  }
  EXPECT_EQ(AnsiToUtf8("\x81"), "\xEF\xBF\xBD");
}

TEST(AdminText, SplitListTrimsAndDropsBlankText) {
  EXPECT_EQ(SplitList(" a ; b;;c ", ';'), (std::vector<std::string>{"a", "b", "", "c"}));
  EXPECT_TRUE(SplitList("   ", ';').empty());
}

TEST(AdminCsv, ParsesQuotesLineEndsAndTheByteOrderMark) {
  RowProblem error;
  const auto csv =
      ParseCsv("\xEF\xBB\xBFname,x\r\n\"a,b\",\"say \"\"hi\"\"\"\n\"two\nlines\",\rlast,", &error);
  ASSERT_TRUE(csv) << error.message;
  EXPECT_TRUE(csv->utf8_bom);
  EXPECT_EQ(csv->rows,
            (std::vector<std::vector<std::string>>{
                {"name", "x"}, {"a,b", "say \"hi\""}, {"two\nlines", ""}, {"last", ""}}));
  EXPECT_EQ(csv->row_lines, (std::vector<int>{1, 2, 3, 5}));
}

TEST(AdminCsv, RowsRoundTrip) {
  const std::vector<std::string> cells = {"", "plain", "a,b", "q\"q", " lead", "line\r\nbreak"};
  const std::string row = CsvRow(cells);
  EXPECT_EQ(row, ",plain,\"a,b\",\"q\"\"q\",\" lead\",\"line\r\nbreak\"\r\n");
  RowProblem error;
  const auto csv = ParseCsv(row, &error);
  ASSERT_TRUE(csv);
  EXPECT_EQ(csv->rows, std::vector<std::vector<std::string>>{cells});
}

TEST(AdminCsv, ReportsTheLineOfABrokenCell) {
  RowProblem error;
  EXPECT_FALSE(ParseCsv("a\r\nb\r\n\"open", &error));
  EXPECT_EQ(error.line, 3);
  EXPECT_EQ(error.message, "a quoted cell is never closed");
  EXPECT_FALSE(ParseCsv("\"x\"y", &error));
  EXPECT_EQ(error.line, 1);
  EXPECT_EQ(error.message, "text after the closing quote of a cell");
}

TEST(ProgramListFile, FormatReadsBackAsTheLoginProgramReadsIt) {
  ProgramList list;
  list.SetDiscLabels({"MATHS, VOL 1", "ATLAS"});
  ProgramEntry entry;
  entry.name = "C:\\Program Files\\a,b.exe";
  list.programs = {entry, entry};
  list.programs[1].name = "b.exe";
  const std::string text = FormatProgramList(list);
  bool complete = false;
  const ProgramList read = ParseProgramList(text, 2, 2, &complete);
  EXPECT_TRUE(complete);
  EXPECT_EQ(read.DiscLabels(), (std::vector<std::string>{"MATHS, VOL 1", "ATLAS"}));
  ASSERT_EQ(read.programs.size(), 2u);
  EXPECT_EQ(read.programs[0].name, "C:\\Program Files\\a,b.exe");
  EXPECT_EQ(read.programs[0].flag, "False");
  EXPECT_EQ(read.programs[1].name, "b.exe");
  EXPECT_EQ(FormatProgramList(read), text);

  ParseProgramList(text, 2, 3, &complete);
  EXPECT_FALSE(complete);
}

}  // namespace
}  // namespace nox::admin
