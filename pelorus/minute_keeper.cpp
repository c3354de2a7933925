#include "pelorus/minute_keeper.h"

#include <algorithm>
#include <limits>

#include "common/ansi_text.h"
#include "common/ole_date.h"
#include "common/product_registry.h"
#include "common/regpath.h"
#include "common/runtime_error.h"
#include "common/session_budget.h"
#include "pelorus/lab_usage.h"

namespace nox {
namespace {

constexpr uint32_t kLogOffForced = 4;  // EWX_LOGOFF | EWX_FORCE

// A record number written as plain decimal digits; 0 for anything else.
int32_t RecordNumber(const std::string& text) {
  if (text.empty() || text.size() > 10 ||
      !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    return 0;
  }
  const int64_t n = std::stoll(text);
  return n <= std::numeric_limits<int32_t>::max() ? static_cast<int32_t>(n) : 0;
}

bool RecordComplete(int32_t n) {
  uint64_t length = 0;
  return platform::FileLength(SystemDirectoryWithSlash() + kUserTable, &length) ==
             platform::kSuccess &&
         length >= static_cast<uint64_t>(n) * UserRecord::kSize;
}

}  // namespace

MinuteKeeper::MinuteKeeper(KeeperHooks hooks)
    : hooks_(std::move(hooks)), log_off_("Tessel.dll", "LogOff") {}

bool MinuteKeeper::Start() {
  return Start(RecordNumber(RegReadTrimmed(kLoggedOnRecordValue)),
               RegReadTrimmed(kLoggedOnNameValue));
}

bool MinuteKeeper::Start(int32_t record_number, const std::string& user_name) {
  record_number_ = record_number;
  user_name_ = user_name;
  if (record_number_ < 1 || user_name_.empty()) return false;
  const std::optional<UserRecord> record = ReadKeptRecord();
  if (!record) return false;
  lab_folder_ = LabUsageFolder();
  usage_file_ = UsageFileName(platform::ComputerName());
  if (usage_file_.empty()) lab_folder_.reset();
  const platform::LocalTime now = platform::Now();
  minutes_left_ = MinutesLeft(*record, now);
  WarnOrEnd();
  return true;
}

bool MinuteKeeper::CountMinute() {
  std::optional<UserRecord> record = ReadKeptRecord();
  if (!record) return false;
  const platform::LocalTime now = platform::Now();
  if (IsNewBudgetDayOrNoDate(record->last_use_date, now)) record->used_minutes = 0;
  record->used_minutes = record->used_minutes == std::numeric_limits<int32_t>::max()
                             ? record->used_minutes
                             : record->used_minutes + 1;
  record->last_use_date = ToOleDate(now);
  try {
    WriteUserRecord(record_number_, *record);
  } catch (const RuntimeError&) {
    // A locked table loses this minute on disk; the count goes on.
  }
  if (lab_folder_) AddLabMinute(now);
  minutes_left_ = MinutesLeft(*record, now);
  WarnOrEnd();
  return true;
}

std::optional<UserRecord> MinuteKeeper::ReadKeptRecord() const {
  if (!RecordComplete(record_number_)) return std::nullopt;
  UserRecord record = ReadUserRecord(record_number_);
  if (record.TrimmedName() != user_name_ ||
      !MinuteBudgetOnIfReadable(FieldText(record.level_triple))) {
    return std::nullopt;
  }
  return record;
}

int64_t MinuteKeeper::MinutesLeft(const UserRecord& record, const platform::LocalTime& now) {
  const int64_t allowed = record.allowed_minutes;
  if (lab_folder_) {
    if (const std::optional<int64_t> lab = LabMinutes(*lab_folder_, user_name_, DayNumber(now))) {
      return allowed - *lab - unsaved_lab_minutes_;
    }
  }
  return MinutesLeftToday(record.allowed_minutes, record.used_minutes, record.last_use_date, now);
}

void MinuteKeeper::AddLabMinute(const platform::LocalTime& now) {
  // Minutes of an earlier day that never reached the share no longer count.
  if (unsaved_lab_day_ != DayNumber(now)) unsaved_lab_minutes_ = 0;
  unsaved_lab_day_ = DayNumber(now);
  ++unsaved_lab_minutes_;
  if (AddOwnUsage(*lab_folder_, usage_file_, user_name_, now, unsaved_lab_minutes_)) {
    unsaved_lab_minutes_ = 0;
  }
}

void MinuteKeeper::WarnOrEnd() {
  if (minutes_left_ <= 0) return EndSession();
  if (minutes_left_ == 5) hooks_.show_notice(kFiveMinutesLeft);
  if (minutes_left_ == 1) hooks_.show_notice(kOneMinuteLeft);
}

void MinuteKeeper::EndSession() {
  if (hooks_.end_session) return hooks_.end_session();
  if (hooks_.expiring) hooks_.expiring();
  platform::MessageBox(kExpiredMessage, kMessageTitle, platform::kMbOk | platform::kMbIconStop);
  ForceLogOff();
}

void MinuteKeeper::ForceLogOff() {
  try {
    log_off_();
  } catch (const RuntimeError&) {
    platform::ExitWindows(kLogOffForced, 0);
  }
  platform::EndProgram(0);
}

}  // namespace nox
