// OLE Automation dates: a day count from 30 December 1899, the time of day
// as the fraction. Before that day the integer part counts days backwards
// while the fraction still counts forwards from midnight (-1.25 is 29
// December 1899, 06:00).
#pragma once

#include <cstdint>

#include "platform/platform.h"

namespace nox {

// Days from 1 January 1970 to the civil date (proleptic Gregorian).
int64_t DaysFromCivil(int year, int month, int day);

double ToOleDate(const platform::LocalTime& time);

// Raises invalid-argument (5) for a value that is not a date Windows can
// show (NaN, infinity, before the year 100 or after 9999).
platform::LocalTime FromOleDate(double ole_date);

// Midnights passed from `from` to `to`: the difference of their calendar
// days, negative when `from` lies later. 23:59 to 00:00 is one.
int64_t CalendarDaysBetween(const platform::LocalTime& from, const platform::LocalTime& to);

// Changes of the clock's minute from `from` to `to`, counted the same way:
// 12:00:59 to 12:01:00 is one, 12:00:00 to 12:00:59 none.
int64_t MinuteBoundariesBetween(const platform::LocalTime& from, const platform::LocalTime& to);

}  // namespace nox
