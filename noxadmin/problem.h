// How a command of noxadmin fails, as data. The command line prints the
// message; the page's server answers by the kind and shows the message beside
// the field, so rewording a message never changes what the page does.
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

namespace nox::admin {

enum class ProblemKind {
  kRefused,     // the value or the tables do not allow it
  kConflict,    // what the edit was prepared on was changed meanwhile
  kNotFound,    // no such user
  kBadRequest,  // a wrong command line
};

// One refused row of a CSV import.
struct RowProblem {
  int line = 0;  // where the row starts in the file, 1-based
  std::string message;
};

// A command that failed (exit status 1).
class Failure : public std::runtime_error {
 public:
  // `field`: the field of the page's forms the problem concerns ("minutes",
  // "position", "master-folder"), empty for none.
  explicit Failure(const std::string& message, ProblemKind kind = ProblemKind::kRefused,
                   std::string field = {})
      : std::runtime_error(message), kind_(kind), field_(std::move(field)) {}

  ProblemKind kind() const { return kind_; }
  const std::string& field() const { return field_; }

 private:
  ProblemKind kind_;
  std::string field_;
};

// A command refused before anything was changed.
class Refusal : public Failure {
 public:
  using Failure::Failure;

  // The value of `field` refused: "LABEL: WHY", LABEL being how the command
  // line names it ("--name", "POSITION"; the field itself when empty).
  static Refusal OfField(const std::string& field, const std::string& why,
                         const std::string& label = {}) {
    return Refusal((label.empty() ? field : label) + ": " + why, ProblemKind::kRefused, field);
  }
};

// A file whose contents were refused: "FILE: WHY" on the command line;
// `reason()` alone for the page, which sent the file itself. `rows` are the
// refused rows of a CSV file.
class FileRefusal : public Refusal {
 public:
  FileRefusal(const std::string& file, const std::string& reason, std::vector<RowProblem> rows = {})
      : Refusal(file + ": " + reason), reason_(reason), rows_(std::move(rows)) {}

  const std::string& reason() const { return reason_; }
  const std::vector<RowProblem>& rows() const { return rows_; }

 private:
  std::string reason_;
  std::vector<RowProblem> rows_;
};

// What a failed command reports, for a caller other than the console.
struct Problem {
  ProblemKind kind = ProblemKind::kRefused;
  std::string field;    // empty: none
  std::string message;  // as the command line prints it after "noxadmin: "
  std::vector<RowProblem> rows;
};

}  // namespace nox::admin
