// USER.TBL read once for a scan through its records.
//
// The scans of the login (the logon-name match, the credential check) look
// at every record from the first on; reading the file once instead of once a
// record keeps a table of thousands of users as quick as a short one. A
// record reads exactly as ReadUserRecord would read it from the same file.
#pragma once

#include <cstdint>
#include <string>

#include "explorer/records.h"

namespace nox {

class UserTableScan {
 public:
  // Reads the table of the system directory (creating a missing one empty,
  // as ReadUserRecord does); an unreadable table reads as empty.
  UserTableScan();

  // Record n (1-based); the "EOF" record past the end of the table.
  UserRecord Record(int32_t n) const;

 private:
  std::string bytes_;
};

}  // namespace nox
