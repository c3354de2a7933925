#include "common/session_budget.h"

#include "common/ole_date.h"
#include "common/runtime_error.h"

namespace nox {

bool IsNewBudgetDay(double last_use_date, const platform::LocalTime& now) {
  return CalendarDaysBetween(FromOleDate(last_use_date), now) >= 1;
}

bool IsNewBudgetDayOrNoDate(double last_use_date, const platform::LocalTime& now) {
  try {
    return IsNewBudgetDay(last_use_date, now);
  } catch (const RuntimeError&) {
    return true;
  }
}

int64_t MinutesLeftToday(int32_t allowed_minutes, int32_t used_minutes, double last_use_date,
                         const platform::LocalTime& now) {
  const int64_t used = IsNewBudgetDayOrNoDate(last_use_date, now) ? 0 : used_minutes;
  return static_cast<int64_t>(allowed_minutes) - used;
}

}  // namespace nox
