#include "noxadmin/serve/answer.h"

#include <sstream>

#include "noxadmin/serve/json.h"
#include "noxadmin/text.h"

namespace nox::admin {
namespace {

// The non-empty lines of the command line's output, as UTF-8.
std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream stream(OutputToUtf8(text));
  for (std::string line; std::getline(stream, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty()) lines.push_back(line);
  }
  return lines;
}

std::string Notes(const std::vector<std::string>& notes) {
  std::vector<std::string> items;
  for (const std::string& note : notes) items.push_back(JsonString(OutputToUtf8(note)));
  return JsonArray(items);
}

std::string Rows(const std::vector<RowProblem>& rows) {
  std::vector<std::string> items;
  for (const RowProblem& row : rows) {
    items.push_back(
        JsonObject().Number("line", row.line).Text("error", OutputToUtf8(row.message)).Done());
  }
  return JsonArray(items);
}

}  // namespace

int HttpStatusOf(ProblemKind kind) {
  switch (kind) {
    case ProblemKind::kConflict:
      return 409;
    case ProblemKind::kNotFound:
      return 404;
    case ProblemKind::kBadRequest:
      return 400;
    case ProblemKind::kRefused:
      break;
  }
  return 422;
}

Answer ErrorAnswer(int status, const std::string& utf8_message) {
  return {status,
          JsonObject().Flag("ok", false).Text("error", utf8_message).Raw("field", "null").Done()};
}

Answer AnswerTo(const CommandRun& run) {
  if (run.outcome.exit == kExitOk) {
    std::string message;
    for (const std::string& line : Lines(run.out)) message += (message.empty() ? "" : "\n") + line;
    return {200, JsonObject()
                     .Flag("ok", true)
                     .Text("message", message)
                     .Raw("notes", Notes(run.notes))
                     .Done()};
  }
  const Problem problem = run.outcome.problem.value_or(
      Problem{run.outcome.exit == kExitUsage ? ProblemKind::kBadRequest : ProblemKind::kRefused,
              "",
              "refused",
              {}});
  const std::optional<std::string_view> field =
      problem.field.empty() ? std::nullopt : std::optional<std::string_view>(problem.field);
  return {HttpStatusOf(problem.kind), JsonObject()
                                          .Flag("ok", false)
                                          .Text("error", OutputToUtf8(problem.message))
                                          .MaybeText("field", field)
                                          .Raw("rows", Rows(problem.rows))
                                          .Raw("notes", Notes(run.notes))
                                          .Flag("conflict", problem.kind == ProblemKind::kConflict)
                                          .Done()};
}

}  // namespace nox::admin
