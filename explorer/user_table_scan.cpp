#include "explorer/user_table_scan.h"

#include <string_view>

#include "platform/platform.h"

namespace nox {

UserTableScan::UserTableScan() {
  const std::string path = SystemDirectoryWithSlash() + kUserTable;
  if (platform::CreateFileIfMissing(path) != platform::kSuccess ||
      platform::ReadWholeFile(path, &bytes_) != platform::kSuccess) {
    bytes_.clear();
  }
}

UserRecord UserTableScan::Record(int32_t n) const {
  if (n < 1) return UserRecord::EndOfTable();
  // A record starts at byte position (n - 1) * 2689 + 1, counted from 1, and
  // exists only when that position lies before the last byte of the file.
  const uint64_t position = static_cast<uint64_t>(n - 1) * UserRecord::kSize + 1;
  if (position >= bytes_.size()) return UserRecord::EndOfTable();
  return DecodeUserRecord(std::string_view(bytes_).substr(position - 1, UserRecord::kSize));
}

}  // namespace nox
