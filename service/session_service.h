// NoxService's logic: the login's protected work for the accounts that ask,
// and the minute budget of the sessions it logged in.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>

#include "service/caller.h"

namespace nox::service {

class SessionService {
 public:
  // Protects the table files and reads the service's settings.
  void Start();
  // The answer to one request of `caller`; a request it cannot read is
  // refused and changes nothing.
  std::string Answer(const Caller& caller, std::string_view request);
  // Called about once a second: counts the minutes of the kept sessions and
  // logs off those whose minutes are used up.
  void Tick();

 private:
  struct KeptSession;
  std::map<uint32_t, KeptSession*> kept_;
};

}  // namespace nox::service
