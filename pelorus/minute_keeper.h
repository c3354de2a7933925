// pelorus.exe's logic: counts the minutes of the logged-in user's session
// into USER.TBL, warns when few are left and ends the session at none.
//
// The login program names the user in the registry ("User" = the record
// number, "UserName" = the record's name field) and starts pelorus.exe. Only
// a user with a daily budget is kept; for anyone else pelorus ends at once,
// changing nothing. Each counted minute re-reads the user's record, adds the
// minute (a new day starts the count afresh) and writes that record alone,
// so an administrator's edit made meanwhile counts and other records stay as
// they are. With a lab usage folder (lab_usage.h) the minutes left are the
// allowed ones less the user's minutes of today on every PC of the lab.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "common/library_binder.h"
#include "explorer/records.h"
#include "platform/platform.h"

namespace nox {

inline constexpr const char* kMessageTitle = "Nox Message";
inline constexpr const char* kFiveMinutesLeft = "5 minutes left today";
inline constexpr const char* kOneMinuteLeft = "1 minute left today";

// What the program around the keeper shows and does.
struct KeeperHooks {
  // Puts up the small notice with the given text.
  std::function<void(const std::string&)> show_notice;
  // Called just before the expired message, which waits for its OK: lets the
  // program log off anyway when nobody answers it.
  std::function<void()> expiring;
  // When set, ends the session at 0 minutes instead of the expired message
  // and the log-off through this program (the service's way: it has no
  // desktop to show a message on and must not end itself).
  std::function<void()> end_session;
};

class MinuteKeeper {
 public:
  explicit MinuteKeeper(KeeperHooks hooks);

  // Finds the logged-in user. False when there is nobody to keep (no budget,
  // no such record, a name that does not match): the program should end.
  // A user with no minutes left is logged off at once (does not return).
  bool Start();
  // The same for the user the service logged in: record `record_number`,
  // whose name field reads `user_name` (trimmed).
  bool Start(int32_t record_number, const std::string& user_name);
  // One minute of session has passed: counts it, warns at 5 and 1 minutes
  // left and ends the session at 0 (does not return then). False when the
  // user is no longer kept (the record changed hands or lost its budget).
  bool CountMinute();
  // The log-off through Tessel.dll's LogOff (ExitWindowsEx with 4 when the
  // library is missing); ends the program.
  [[noreturn]] void ForceLogOff();

  // The minutes left as last computed.
  int64_t minutes_left() const { return minutes_left_; }

 private:
  // The kept user's record, re-read; nullopt when it is cut short by the end
  // of USER.TBL, names someone else or has no (readable) budget.
  std::optional<UserRecord> ReadKeptRecord() const;
  // Allowed less used, or less the lab's minutes of today when they can be read.
  int64_t MinutesLeft(const UserRecord& record, const platform::LocalTime& now);
  void AddLabMinute(const platform::LocalTime& now);
  // The notices at 5 and 1; the expired message and the log-off at 0.
  void WarnOrEnd();
  // The expired message and the log-off, or the end_session hook.
  void EndSession();

  KeeperHooks hooks_;
  LibraryExport<int32_t(NOX_STDCALL*)()> log_off_;
  int32_t record_number_ = 0;
  std::string user_name_;  // trimmed
  std::optional<std::string> lab_folder_;
  std::string usage_file_;           // this PC's file in the lab folder
  int32_t unsaved_lab_minutes_ = 0;  // counted while the share was out of reach
  int32_t unsaved_lab_day_ = 0;      // the day they belong to
  int64_t minutes_left_ = 0;
};

}  // namespace nox
