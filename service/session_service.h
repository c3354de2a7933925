// NoxService's logic: the login's protected work for the accounts that ask,
// and the minute budget of the sessions it logged in.
//
// A request runs the login program's own code (frmLogin: the table refresh,
// automatic logins A and B, the credential check, the budget, WriteSettings)
// with "Current_User" mapped to the caller's hive, HKEY_USERS\<SID>. What
// the login program would show or start in the session goes into the answer
// instead; the client shows it and starts the programs.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "common/service_protocol.h"
#include "pelorus/minute_ticker.h"
#include "service/caller.h"

namespace nox::service {

// The service's own key; "MinuteSeconds" (REG_DWORD) there makes that many
// seconds one minute of the budget, for demos and tests.
inline constexpr const char* kServiceSettingsKey = "Software\\Quillon\\Nox\\Service";

class SessionService {
 public:
  SessionService();
  ~SessionService();
  SessionService(const SessionService&) = delete;
  SessionService& operator=(const SessionService&) = delete;

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

  ServiceAnswer LogIn(const Caller& caller, const ServiceRequest& request);
  ServiceAnswer MinutesLeft(const Caller& caller) const;
  // Starts counting the minutes of a budgeted user the service logged in.
  void Keep(const Caller& caller, int32_t record_number, const std::string& user_name);
  // Logs the session off one minute from now (the client says why first).
  void LogOffSoon(uint32_t session_id);

  uint32_t minute_seconds_ = 0;                            // 0: clock minutes
  std::map<uint32_t, std::unique_ptr<KeptSession>> kept_;  // by session id
  std::map<uint32_t, MinuteTicker> ending_;                // sessions to log off, by id
};

}  // namespace nox::service
