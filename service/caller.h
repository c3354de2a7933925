// Who asks the service: taken from the pipe client's token, never from the
// request.
#pragma once

#include <cstdint>
#include <string>

namespace nox::service {

struct Caller {
  std::string sid;           // "S-1-5-21-...-1001": the caller's hive is HKEY_USERS\<sid>
  std::string account_name;  // the Windows logon name, without the domain
  uint32_t session_id = 0;   // the Windows session the caller runs in
};

}  // namespace nox::service
