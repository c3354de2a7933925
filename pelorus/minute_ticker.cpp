#include "pelorus/minute_ticker.h"

#include <cctype>

#include "common/ole_date.h"

namespace nox {

MinuteTicker::MinuteTicker(uint32_t seconds_per_minute)
    : seconds_per_minute_(seconds_per_minute),
      last_time_(platform::Now()),
      start_ms_(platform::TimerMilliseconds()) {}

bool MinuteTicker::MinutePassed() {
  if (seconds_per_minute_ == 0) {
    const platform::LocalTime now = platform::Now();
    const bool passed = MinuteBoundariesBetween(last_time_, now) != 0;
    last_time_ = now;
    return passed;
  }
  // Unsigned difference: right across the timer's wrap at 2^32 ms.
  const uint32_t elapsed_ms = platform::TimerMilliseconds() - start_ms_;
  const int64_t tick = elapsed_ms / (int64_t{seconds_per_minute_} * 1000);
  const bool passed = tick != last_tick_;
  last_tick_ = tick;
  return passed;
}

std::optional<uint32_t> MinuteSwitch(const std::string& command_line) {
  static constexpr std::string_view kSwitch = "/minute=";
  std::string lower = command_line;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  const size_t at = lower.find(kSwitch);
  if (at == std::string::npos) return std::nullopt;
  uint64_t seconds = 0;
  size_t i = at + kSwitch.size();
  for (; i < lower.size() && std::isdigit(static_cast<unsigned char>(lower[i])); ++i) {
    seconds = seconds * 10 + static_cast<uint64_t>(lower[i] - '0');
    if (seconds > 86400) return std::nullopt;
  }
  if (seconds == 0) return std::nullopt;
  return static_cast<uint32_t>(seconds);
}

}  // namespace nox
