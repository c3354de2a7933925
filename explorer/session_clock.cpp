// The daily minute budget and the forced log-off.
#include <string>

#include "common/ole_date.h"
#include "common/runtime_error.h"
#include "common/vb_number.h"
#include "explorer/frm_login.h"
#include "explorer/session_budget.h"

namespace nox {
namespace {

constexpr int32_t kBudgetBit = 0x2000000;
constexpr uint32_t kLogOffForced = 4;  // EWX_LOGOFF | EWX_FORCE

// The third part of a level triple. Blanks are skipped and commas separate
// the parts; a character in a fourth part is a subscript error.
std::string ThirdPart(const TextField<30>& triple) {
  std::string parts[3];
  size_t part = 0;
  for (char c : triple) {
    if (c == ',') {
      ++part;
    } else if (c != ' ') {
      if (part >= 3) Raise(kErrSubscript);
      parts[part] += c;
    }
  }
  return parts[2];
}

// a - b as a 32-bit result; overflow (6) when it does not fit.
int32_t Subtract(int64_t a, int64_t b) {
  const int64_t difference = a - b;
  if (difference < INT32_MIN || difference > INT32_MAX) Raise(kErrOverflow);
  return static_cast<int32_t>(difference);
}

}  // namespace

bool MinuteBudgetOn(const TextField<30>& level_triple) {
  return (ReadInt32(ThirdPart(level_triple)) & kBudgetBit) != 0;
}

void frmLogin::ComputeSessionMinutes(int32_t n) { ComputeSessionMinutes(n, ReadUserRecord(n)); }

void frmLogin::ComputeSessionMinutes(int32_t n, const UserRecord& record) {
  try {
    current_user = record;
    if (!MinuteBudgetOn(current_user.level_triple)) {
      remaining_minutes = -1;
      return;
    }
    const platform::LocalTime now = platform::Now();
    const int64_t days = CalendarDaysBetween(FromOleDate(current_user.last_use_date), now);
    if (days >= 1) {
      current_user.used_minutes = 0;
      current_user.last_use_date = ToOleDate(now);
      WriteUserRecord(n, current_user);
    }
    remaining_minutes = Subtract(current_user.allowed_minutes, current_user.used_minutes);
  } catch (const RuntimeError& error) {
    ShowRuntimeError(error.number(), error.description());
  }
}

void frmLogin::CheckSessionAllowance() {
  try {
    if (remaining_minutes == -1) return;
    const int64_t elapsed = MinuteBoundariesBetween(session_start, platform::Now());
    if (elapsed < INT32_MIN || elapsed > INT32_MAX) Raise(kErrOverflow);
    elapsed_minutes = static_cast<int32_t>(elapsed);
    if (Subtract(remaining_minutes, elapsed_minutes) <= 0) {
      ShowMessage(kExpiredMessage, platform::kMbOk | platform::kMbIconStop);
      ForceLogOff();
    }
  } catch (const RuntimeError& error) {
    ShowRuntimeError(error.number(), error.description());
  }
}

void frmLogin::ForceLogOff() {
  if (outlet.log_off) outlet.log_off();
  platform::ExitWindows(kLogOffForced, 0xFFFFFFFF);
  platform::EndProgram(0);
}

}  // namespace nox
