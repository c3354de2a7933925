#include "explorer/user_table_scan.h"

#include <algorithm>
#include <string_view>

#include "platform/platform.h"

namespace nox {

UserTableScan::UserTableScan() : path_(SystemDirectoryWithSlash() + kUserTable) {
  if (platform::CreateFileIfMissing(path_) != platform::kSuccess ||
      platform::FileLength(path_, &length_) != platform::kSuccess) {
    length_ = 0;
  }
}

UserRecord UserTableScan::Record(int32_t n) {
  if (n < 1) return UserRecord::EndOfTable();
  // A record starts at byte position (n - 1) * 2689 + 1, counted from 1, and
  // exists only when that position lies before the last byte of the file.
  const uint64_t offset = static_cast<uint64_t>(n - 1) * UserRecord::kSize;
  if (offset + 1 >= length_) return UserRecord::EndOfTable();
  const uint64_t size = std::min<uint64_t>(UserRecord::kSize, length_ - offset);
  if (!Cover(offset, size)) return UserRecord::EndOfTable();
  return DecodeUserRecord(std::string_view(window_).substr(offset - window_start_, size));
}

bool UserTableScan::Cover(uint64_t position, uint64_t size) {
  if (position >= window_start_ && position + size <= window_start_ + window_.size()) return true;
  const uint64_t wanted = std::min(kWindowRecords * UserRecord::kSize, length_ - position);
  window_start_ = position;
  if (platform::ReadFileAt(path_, position, static_cast<size_t>(wanted), &window_) !=
      platform::kSuccess) {
    window_.clear();
    return false;
  }
  // A table cut shorter since it was opened reads as far as it goes now.
  return window_.size() >= size;
}

}  // namespace nox
