// The page's answers follow the command's problem as data: its kind gives
// the status, its field the field, whatever the message says.
#include "noxadmin/serve/answer.h"

#include <gtest/gtest.h>

namespace nox::admin {
namespace {

CommandRun Failed(ProblemKind kind, const std::string& field, const std::string& message,
                  std::vector<RowProblem> rows = {}) {
  return {{kExitFailed, Problem{kind, field, message, std::move(rows)}}, "", "", {}};
}

TEST(ServeAnswer, EachKindHasItsStatusAndKeepsItsField) {
  struct Case {
    ProblemKind kind;
    std::string field;
    int status;
    std::string field_json;
    bool conflict;
  };
  const std::vector<Case> cases = {
      {ProblemKind::kRefused, "minutes", 422, "\"field\":\"minutes\"", false},
      {ProblemKind::kRefused, "", 422, "\"field\":null", false},
      {ProblemKind::kConflict, "network", 409, "\"field\":\"network\"", true},
      {ProblemKind::kConflict, "", 409, "\"field\":null", true},
      {ProblemKind::kNotFound, "", 404, "\"field\":null", false},
      {ProblemKind::kBadRequest, "", 400, "\"field\":null", false},
      {ProblemKind::kRefused, "master-folder", 422, "\"field\":\"master-folder\"", false},
      {ProblemKind::kRefused, "position", 422, "\"field\":\"position\"", false},
  };
  for (const Case& c : cases) {
    const Answer answer = AnswerTo(Failed(c.kind, c.field, "refused for a reason"));
    EXPECT_EQ(answer.status, c.status) << c.field;
    EXPECT_EQ(HttpStatusOf(c.kind), c.status);
    EXPECT_NE(answer.json.find(c.field_json), std::string::npos) << answer.json;
    EXPECT_NE(answer.json.find(c.conflict ? "\"conflict\":true" : "\"conflict\":false"),
              std::string::npos)
        << answer.json;
  }
}

// Messages worded like other kinds' (or naming other fields) change neither
// the status nor the field.
TEST(ServeAnswer, TheMessageNeverChoosesTheStatusOrTheField) {
  const std::vector<std::string> messages = {
      "minutes: is now \"5\", not \"6\" as expected: changed meanwhile; nothing was written",
      "no user \"ann\"",
      "line 3: minutes: not a number",
      "POSITION: \"9\" is not a place from 1 to 2",
      "--name: holds a character the Windows code page (1252) cannot store",
      "usage: noxadmin user move NAME POSITION",
      "",
  };
  for (const ProblemKind kind : {ProblemKind::kRefused, ProblemKind::kConflict,
                                 ProblemKind::kNotFound, ProblemKind::kBadRequest}) {
    for (const std::string& message : messages) {
      const Answer answer = AnswerTo(Failed(kind, "level", message));
      EXPECT_EQ(answer.status, HttpStatusOf(kind)) << message;
      EXPECT_NE(answer.json.find("\"field\":\"level\""), std::string::npos) << answer.json;
      EXPECT_NE(answer.json.find("\"rows\":[]"), std::string::npos) << answer.json;
    }
  }
}

TEST(ServeAnswer, AFailureIsWrittenWholeWithItsRowsAndNotes) {
  CommandRun run = Failed(ProblemKind::kRefused, "", "2 rows refused; nothing was imported",
                          {{3, "minutes: \"abc\" is wrong"}, {5, "3 cells, the header has 2"}});
  run.notes = {"a note"};
  EXPECT_EQ(AnswerTo(run).json,
            "{\"ok\":false,\"error\":\"2 rows refused; nothing was imported\",\"field\":null,"
            "\"rows\":[{\"line\":3,\"error\":\"minutes: \\\"abc\\\" is wrong\"},"
            "{\"line\":5,\"error\":\"3 cells, the header has 2\"}],"
            "\"notes\":[\"a note\"],\"conflict\":false}");
}

TEST(ServeAnswer, ADoneChangeGivesItsOutputLinesAndNotes) {
  const CommandRun run{{kExitOk, std::nullopt}, "Added user 3: ann\r\n\r\nsecond\n", "", {"n1"}};
  const Answer answer = AnswerTo(run);
  EXPECT_EQ(answer.status, 200);
  EXPECT_EQ(answer.json,
            "{\"ok\":true,\"message\":\"Added user 3: ann\\u000asecond\",\"notes\":[\"n1\"]}");
}

// A failed run that reported no problem (none is raised for it) is still a
// refusal, or a bad request for a wrong command line.
TEST(ServeAnswer, AFailureWithoutAProblemIsRefused) {
  EXPECT_EQ(AnswerTo({{kExitFailed, std::nullopt}, "", "", {}}).status, 422);
  EXPECT_EQ(AnswerTo({{kExitUsage, std::nullopt}, "", "", {}}).status, 400);
}

}  // namespace
}  // namespace nox::admin
