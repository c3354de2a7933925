#include "common/ole_date.h"

#include <gtest/gtest.h>

#include <cmath>

#include "common/local_time_test_support.h"
#include "common/runtime_error.h"

namespace nox {
namespace {

using testing_support::At;

void ExpectSameTime(const platform::LocalTime& a, const platform::LocalTime& b) {
  EXPECT_EQ(a.year, b.year);
  EXPECT_EQ(a.month, b.month);
  EXPECT_EQ(a.day, b.day);
  EXPECT_EQ(a.hour, b.hour);
  EXPECT_EQ(a.minute, b.minute);
  EXPECT_EQ(a.second, b.second);
  EXPECT_EQ(a.millisecond, b.millisecond);
}

struct OleCase {
  platform::LocalTime time;
  double ole;
};

// Values as Windows' VariantTimeToSystemTime documents them.
const OleCase kOleCases[] = {
    {At(1899, 12, 30), 0.0},       {At(1899, 12, 31), 1.0},         {At(1900, 1, 1), 2.0},
    {At(1899, 12, 29), -1.0},      {At(1899, 12, 29, 6), -1.25},    {At(1899, 12, 30, 12), 0.5},
    {At(2000, 1, 1), 36526.0},     {At(2000, 2, 29, 18), 36585.75}, {At(2024, 3, 1, 6), 45352.25},
    {At(9999, 12, 31), 2958465.0}, {At(100, 1, 1), -657434.0},
};

TEST(OleDateTest, ConvertsBothWays) {
  for (size_t i = 0; i < std::size(kOleCases); ++i) {
    SCOPED_TRACE(testing::Message() << "case " << i);
    EXPECT_DOUBLE_EQ(ToOleDate(kOleCases[i].time), kOleCases[i].ole);
    ExpectSameTime(FromOleDate(kOleCases[i].ole), kOleCases[i].time);
  }
}

TEST(OleDateTest, MinutesSurviveTheRoundTrip) {
  for (int minute = 0; minute < 1440; ++minute) {
    platform::LocalTime t = At(2023, 7, 14, minute / 60, minute % 60, 37, 250);
    ExpectSameTime(FromOleDate(ToOleDate(t)), t);
  }
}

TEST(OleDateTest, AFractionJustShortOfMidnightRoundsToTheNextDay) {
  ExpectSameTime(FromOleDate(36526.0 - 1e-10), At(2000, 1, 1));
  ExpectSameTime(FromOleDate(-1.0 - (1.0 - 1e-10)), At(1899, 12, 30));
}

TEST(OleDateTest, ValuesThatAreNoDateRaiseInvalidCall) {
  const double cases[] = {std::nan(""), HUGE_VAL, -HUGE_VAL, 2958466.0, -657435.0, 1e300};
  for (double value : cases) {
    SCOPED_TRACE(value);
    try {
      FromOleDate(value);
      ADD_FAILURE() << "no error raised";
    } catch (const RuntimeError& error) {
      EXPECT_EQ(error.number(), kErrInvalidCall);
    }
  }
}

TEST(CalendarDaysBetweenTest, CountsMidnightsNotElapsedDays) {
  EXPECT_EQ(CalendarDaysBetween(At(2024, 3, 1, 23, 59), At(2024, 3, 2, 0, 0)), 1);
  EXPECT_EQ(CalendarDaysBetween(At(2024, 3, 1, 0, 0), At(2024, 3, 1, 23, 59)), 0);
  EXPECT_EQ(CalendarDaysBetween(At(2024, 2, 28, 12), At(2024, 3, 1, 1)), 2);
  EXPECT_EQ(CalendarDaysBetween(At(2023, 12, 31, 23), At(2024, 1, 1, 1)), 1);
  EXPECT_EQ(CalendarDaysBetween(At(2024, 3, 8), At(2024, 3, 1)), -7);
}

TEST(MinuteBoundariesBetweenTest, CountsChangesOfTheMinute) {
  EXPECT_EQ(MinuteBoundariesBetween(At(2024, 3, 1, 12, 0, 59), At(2024, 3, 1, 12, 1, 0)), 1);
  EXPECT_EQ(MinuteBoundariesBetween(At(2024, 3, 1, 12, 0, 0), At(2024, 3, 1, 12, 0, 59)), 0);
  EXPECT_EQ(MinuteBoundariesBetween(At(2024, 3, 1, 23, 59, 30), At(2024, 3, 2, 0, 0, 10)), 1);
  EXPECT_EQ(MinuteBoundariesBetween(At(2024, 3, 1, 10, 0), At(2024, 3, 1, 9, 58)), -2);
  EXPECT_EQ(MinuteBoundariesBetween(At(2024, 3, 1, 0, 0), At(2024, 3, 2, 0, 0)), 1440);
}

}  // namespace
}  // namespace nox
