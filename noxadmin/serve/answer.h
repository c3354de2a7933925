// The page's answer to a command the server ran: the HTTP status and the
// JSON body follow from the command's outcome as data (the kind of problem
// and its field), never from the words of its messages.
#pragma once

#include <string>
#include <vector>

#include "noxadmin/cli.h"

namespace nox::admin {

// One run of a command for the page: what it gave, in the command line's
// output encoding.
struct CommandRun {
  CommandOutcome outcome;
  std::string out;
  std::string err;
  std::vector<std::string> notes;
};

struct Answer {
  int status = 200;
  std::string json;
};

// 422 refused, 409 conflict (the page shows the user anew), 404 not found,
// 400 bad request.
int HttpStatusOf(ProblemKind kind);

// {"ok":false,"error":...,"field":null} for a problem the server found
// itself, or found outside a command.
Answer ErrorAnswer(int status, const std::string& utf8_message);

// The answer to a change: {"ok":true,"message":...,"notes":[...]} when it
// was made, else the problem with its field, the refused rows of an import
// and the notes.
Answer AnswerTo(const CommandRun& run);

}  // namespace nox::admin
