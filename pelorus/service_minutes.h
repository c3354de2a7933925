// pelorus.exe on a machine with NoxService: the service counts the
// session's minutes and ends the session at none; pelorus only asks how many
// are left, for the notices and the expired message. Ending pelorus ends
// only the notices.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace nox {

class ServiceMinutes {
 public:
  explicit ServiceMinutes(std::function<void(const std::string&)> show_notice);

  enum class Watch {
    kNoService,  // none installed, or none answers: pelorus keeps the minutes itself
    kNothing,    // the service keeps no minutes for this session (or none are left)
    kMinutes,    // the service keeps them: Poll each minute
  };
  Watch Start();
  // A minute has passed: asks again and warns at 5 and 1 minutes left; at
  // none shows the expired message. False when there is nothing more to
  // watch.
  bool Poll();

 private:
  // The minutes left as the service says; nullopt when it keeps none or
  // does not answer (*answered says which).
  std::optional<int64_t> Ask(bool* answered);
  // Shows what `minutes` calls for; false at none.
  bool Warn(int64_t minutes);

  std::function<void(const std::string&)> show_notice_;
  int64_t last_warned_ = -1;
};

}  // namespace nox
