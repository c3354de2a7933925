// When a minute of session has passed: at every change of the clock's
// minute, or, for demos and tests (/minute=SECONDS), every SECONDS counted
// from the program's start.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/platform.h"

namespace nox {

class MinuteTicker {
 public:
  // `seconds_per_minute` 0: real clock minutes.
  explicit MinuteTicker(uint32_t seconds_per_minute);
  // Whether a minute boundary passed since the last call (or the start).
  // Several boundaries passed at once (a suspended PC, a clock set forward)
  // count as one, so a jump of the clock never charges a user an hour.
  bool MinutePassed();

 private:
  uint32_t seconds_per_minute_;
  platform::LocalTime last_time_;
  uint32_t start_ms_;
  int64_t last_tick_ = 0;
};

// SECONDS of a "/minute=SECONDS" argument anywhere in the command line
// (letter case ignored); nullopt when absent, 0 or not a number.
std::optional<uint32_t> MinuteSwitch(const std::string& command_line);

}  // namespace nox
