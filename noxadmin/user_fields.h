// The fields an administrator sets on a user, by the names used both as
// command options (--password) and as CSV columns (password): checking a
// value, storing it into the record and its program list, and showing it.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/session_budget.h"
#include "explorer/records.h"
#include "noxadmin/program_list.h"
#include "platform/platform.h"

namespace nox::admin {

// A user being edited: its record and program list file.
struct UserDraft {
  UserRecord record = UserRecord::Blank();
  ProgramList programs;
  // Whether `programs` holds everything the record's counts ask for (false
  // for a missing or short file).
  bool programs_complete = true;
  // Which sections of the file an edit replaced.
  bool discs_set = false;
  bool programs_set = false;
};

struct FieldInfo {
  const char* name;
  const char* value_help;  // what the value looks like
  const char* help;
};

// Every field, in the order of the CSV export; "name" first.
extern const std::vector<FieldInfo> kFields;
// "drive" (one letter, command line only) is not a CSV column.
bool IsField(std::string_view name);

// Where a value comes from: typed by an administrator, or a stored field
// as export wrote it (a hashed password is then taken as it is).
enum class FieldSource { kTyped, kStored };

// Stores `value` (in the tables' code page) into the field. Raises Refusal
// naming the field when the value does not fit or means nothing; the draft
// is unchanged then.
void ApplyField(UserDraft& draft, std::string_view field, std::string_view value,
                FieldSource source = FieldSource::kTyped);

// Refusal when an edit replaced one section of a missing or short program
// list file and the other section, which the file cannot supply, is needed.
void CheckProgramListEdit(const UserDraft& draft);

// Why `name` cannot be a user name, or nothing when it can (uniqueness is
// the table's business).
std::optional<std::string> UserNameProblem(std::string_view name);

// What an administrator may see of the password: "not set", "set" (stored
// one-way) or "set, in plain text" (anyone can read it in USER.TBL).
std::string PasswordState(const UserRecord& record);

// The field's value as ApplyField takes it back (the CSV cell of export).
std::string FieldValue(const UserDraft& draft, std::string_view field);

// The level for an administrator: the name of the named level whose triple
// the masks equal (the daily budget bit set aside), else "Custom"; "Invalid"
// when the triple cannot be read.
std::string LevelName(const UserRecord& record);
// Whether the login program counts the user's minutes (the budget switch as
// it reads it; off for a triple it cannot read).
bool BudgetOn(const UserRecord& record);
// The minutes left today as the login program and pelorus.exe count them.
int64_t MinutesLeftToday(const UserRecord& record, const platform::LocalTime& now);

// Gives `minutes` extra minutes today (the day of `now`): the used minutes
// go down, after the new-day reset the login program would do first.
// Refusal when the user has no daily budget or the count would overflow.
void GrantMinutes(UserRecord& record, int32_t minutes, const platform::LocalTime& now);

// "C=08:00-17:00": drive letter, start and end. Nothing when the entry is
// not in force.
struct DriveSchedule {
  char letter;
  std::string start;
  std::string end;
};
std::optional<DriveSchedule> ScheduleOf(const UserRecord& record, int letter_index);

// "HH:MM" with hours 0-23 and minutes 0-59 (one or two digits each side
// accepted) as two-digit "HH:MM"; nothing when it is not a time of day.
std::optional<std::string> NormalTime(std::string_view text);

}  // namespace nox::admin
