// A local time written out field by field, for tests of the clock's users.
#pragma once

#include "platform/platform.h"

namespace nox::testing_support {

inline platform::LocalTime At(int year, int month, int day, int hour = 0, int minute = 0,
                              int second = 0, int millisecond = 0) {
  platform::LocalTime t;
  t.year = year;
  t.month = month;
  t.day = day;
  t.hour = hour;
  t.minute = minute;
  t.second = second;
  t.millisecond = millisecond;
  return t;
}

}  // namespace nox::testing_support
