// USER.TBL read a stretch of records at a time for a scan through them.
//
// The scans of the login (the logon-name match, the credential check) look
// at every record from the first on; reading the file in large stretches
// instead of once a record keeps a table of thousands of users nearly as
// quick as a short one, and a bounded window keeps it from holding the whole
// table in memory. A record reads exactly as ReadUserRecord would read it
// from the same file.
#pragma once

#include <cstdint>
#include <string>

#include "explorer/records.h"

namespace nox {

class UserTableScan {
 public:
  // Records read together: about 344 KB, below the size at which Windows'
  // heap maps every allocation afresh, so one buffer's pages serve the scan.
  static constexpr uint64_t kWindowRecords = 128;

  // Opens the table of the system directory (creating a missing one empty,
  // as ReadUserRecord does); an unreadable table reads as empty.
  UserTableScan();

  // Record n (1-based); the "EOF" record past the end of the table, or
  // where the table can no longer be read.
  UserRecord Record(int32_t n);

 private:
  // Makes the window hold the `size` bytes from `position`; false when the
  // file could not be read.
  bool Cover(uint64_t position, uint64_t size);

  std::string path_;
  uint64_t length_ = 0;
  uint64_t window_start_ = 0;  // file offset of window_'s first byte
  std::string window_;
};

}  // namespace nox
