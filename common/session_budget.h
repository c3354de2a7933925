// The daily minute budget as every program counts it: the login program
// (which resets a new day and refuses a user without minutes), pelorus.exe
// (which counts the minutes a session uses) and noxadmin (which shows and
// grants them). The switch is bit 25 of the level triple (level_triple.h).
#pragma once

#include <cstdint>

#include "common/level_triple.h"
#include "platform/platform.h"

namespace nox {

// The login program's text when the day's minutes are used up.
inline constexpr const char* kExpiredMessage =
    "Your allocated session minutes have expired.\r\nYour windows session will now terminate.";

// Whether `now` lies on a later calendar day than the last-use date: the
// used minutes start again from 0. Raises invalid call (5) when the date is
// no date.
bool IsNewBudgetDay(double last_use_date, const platform::LocalTime& now);

// The same, with a last-use date that is no date counting as an earlier day
// (the login program stops with error 5 on such a record instead).
bool IsNewBudgetDayOrNoDate(double last_use_date, const platform::LocalTime& now);

// Minutes left of the day's budget at `now`: allowed minus used, the used
// minutes counting as 0 on a new day (IsNewBudgetDayOrNoDate).
int64_t MinutesLeftToday(int32_t allowed_minutes, int32_t used_minutes, double last_use_date,
                         const platform::LocalTime& now);

}  // namespace nox
