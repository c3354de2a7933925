#include "pelorus/service_minutes.h"

#include <charconv>

#include "common/service_protocol.h"
#include "explorer/session_budget.h"
#include "pelorus/minute_keeper.h"
#include "platform/platform.h"

namespace nox {

ServiceMinutes::ServiceMinutes(std::function<void(const std::string&)> show_notice)
    : show_notice_(std::move(show_notice)) {}

ServiceMinutes::Watch ServiceMinutes::Start() {
  if (!ServiceInstalled()) return Watch::kNoService;
  bool answered = false;
  const std::optional<int64_t> minutes = Ask(&answered);
  if (!answered) return Watch::kNoService;
  return minutes && Warn(*minutes) ? Watch::kMinutes : Watch::kNothing;
}

bool ServiceMinutes::Poll() {
  bool answered = false;
  const std::optional<int64_t> minutes = Ask(&answered);
  // A service that stopped answering for a moment is asked again next minute.
  if (!answered) return true;
  return minutes && Warn(*minutes);
}

std::optional<int64_t> ServiceMinutes::Ask(bool* answered) {
  std::string bytes;
  *answered = platform::AskService(EncodeServiceRequest({ServiceRequestKind::kMinutes, "", ""}),
                                   kServiceConnectMs, &bytes);
  if (!*answered) return std::nullopt;
  const std::optional<ServiceAnswer> answer = ParseServiceAnswer(bytes);
  if (!answer || answer->result != "minutes") return std::nullopt;
  int64_t minutes = 0;
  const std::string& text = answer->detail;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), minutes);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return minutes;
}

bool ServiceMinutes::Warn(int64_t minutes) {
  if (minutes <= 0) {
    // The service ends the session; the message says why meanwhile.
    platform::MessageBox(kExpiredMessage, kMessageTitle, platform::kMbOk | platform::kMbIconStop);
    return false;
  }
  if (minutes != last_warned_ && (minutes == 5 || minutes == 1)) {
    show_notice_(minutes == 5 ? kFiveMinutesLeft : kOneMinuteLeft);
    last_warned_ = minutes;
  }
  return true;
}

}  // namespace nox
