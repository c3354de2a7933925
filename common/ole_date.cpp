#include "common/ole_date.h"

#include <cmath>

#include "common/runtime_error.h"

namespace nox {
namespace {

constexpr int64_t kMillisecondsPerDay = 86'400'000;
// DaysFromCivil(1899, 12, 30).
constexpr int64_t kOleEpochDays = -25569;
// 1 January 100 and 31 December 9999, the range Windows accepts for dates.
constexpr double kMinOleDate = -657434.0;
constexpr double kMaxOleDate = 2958466.0;

void CivilFromDays(int64_t days, int* year, int* month, int* day) {
  days += 719468;
  int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  int64_t doe = days - era * 146097;
  int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  int64_t mp = (5 * doy + 2) / 153;
  int64_t d = doy - (153 * mp + 2) / 5 + 1;
  int64_t m = mp < 10 ? mp + 3 : mp - 9;
  *year = static_cast<int>(yoe + era * 400 + (m <= 2 ? 1 : 0));
  *month = static_cast<int>(m);
  *day = static_cast<int>(d);
}

int64_t MillisecondOfDay(const platform::LocalTime& time) {
  return ((time.hour * 60LL + time.minute) * 60 + time.second) * 1000 + time.millisecond;
}

}  // namespace

int64_t DaysFromCivil(int year, int month, int day) {
  int64_t y = static_cast<int64_t>(year) - (month <= 2 ? 1 : 0);
  int64_t era = (y >= 0 ? y : y - 399) / 400;
  int64_t yoe = y - era * 400;
  int64_t mp = month > 2 ? month - 3 : month + 9;
  int64_t doy = (153 * mp + 2) / 5 + day - 1;
  int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

double ToOleDate(const platform::LocalTime& time) {
  double day = static_cast<double>(DaysFromCivil(time.year, time.month, time.day) - kOleEpochDays);
  double fraction = static_cast<double>(MillisecondOfDay(time)) / kMillisecondsPerDay;
  return day >= 0 ? day + fraction : day - fraction;
}

platform::LocalTime FromOleDate(double ole_date) {
  if (!std::isfinite(ole_date) || ole_date <= kMinOleDate - 1 || ole_date >= kMaxOleDate) {
    Raise(kErrInvalidCall);
  }
  double whole = std::trunc(ole_date);
  int64_t day = static_cast<int64_t>(whole);
  int64_t ms = std::llround(std::fabs(ole_date - whole) * kMillisecondsPerDay);
  if (ms >= kMillisecondsPerDay) {
    // Rounded up to the next midnight. The integer part numbers calendar days
    // on both sides of the epoch, so the next day is always one more.
    ms -= kMillisecondsPerDay;
    day += 1;
  }
  platform::LocalTime time;
  CivilFromDays(day + kOleEpochDays, &time.year, &time.month, &time.day);
  time.hour = static_cast<int>(ms / 3'600'000);
  time.minute = static_cast<int>(ms / 60'000 % 60);
  time.second = static_cast<int>(ms / 1000 % 60);
  time.millisecond = static_cast<int>(ms % 1000);
  return time;
}

int64_t CalendarDaysBetween(const platform::LocalTime& from, const platform::LocalTime& to) {
  return DaysFromCivil(to.year, to.month, to.day) - DaysFromCivil(from.year, from.month, from.day);
}

int64_t MinuteBoundariesBetween(const platform::LocalTime& from, const platform::LocalTime& to) {
  auto minutes = [](const platform::LocalTime& t) {
    return DaysFromCivil(t.year, t.month, t.day) * 1440 + t.hour * 60 + t.minute;
  };
  return minutes(to) - minutes(from);
}

}  // namespace nox
