#include "noxadmin/user_table.h"

#include "noxadmin/problem.h"
#include "noxadmin/text.h"

namespace nox::admin {

UserTable UserTable::Decode(std::string bytes) {
  UserTable table;
  const size_t whole = bytes.size() / UserRecord::kSize;
  table.fragment_ = bytes.substr(whole * UserRecord::kSize);
  bytes.resize(whole * UserRecord::kSize);
  table.bytes_ = std::move(bytes);  // tens of megabytes for thousands of users: not copied
  table.records_.resize(whole);
  table.origin_.reserve(whole + 1);  // room for one more user without moving them all
  for (size_t i = 0; i < whole; ++i) {
    table.records_[i].offset = i * UserRecord::kSize;
    table.origin_.push_back(static_cast<int>(i + 1));
  }
  table.decoded_count_ = static_cast<int>(whole);
  table.CountUsers();
  return table;
}

UserRecord& UserTable::Decoded(int n) const {
  const Slot& slot = records_[n - 1];
  if (!slot.decoded) {
    slot.decoded = std::make_unique<UserRecord>(
        DecodeUserRecord(std::string_view(bytes_).substr(slot.offset, UserRecord::kSize)));
  }
  return *slot.decoded;
}

std::string UserTable::TrimmedNameOf(int n) const {
  const Slot& slot = records_[n - 1];
  if (slot.decoded) return slot.decoded->TrimmedName();
  return TrimmedUserName(std::string_view(bytes_).substr(slot.offset, UserRecord::kSize));
}

std::string UserTable::Encode() const {
  if (has_fragment()) {
    throw Refusal("USER.TBL ends in a cut-off record (" + std::to_string(fragment_.size()) +
                  " bytes after the last whole record); it is left as it is. "
                  "Run \"noxadmin check\" and restore the file from a backup, or rebuild it "
                  "with export and import");
  }
  std::string bytes;
  bytes.reserve(records_.size() * UserRecord::kSize);
  for (const Slot& slot : records_) {
    if (slot.decoded) {
      const UserRecordBytes encoded = EncodeUserRecord(*slot.decoded);
      bytes.append(encoded.data(), encoded.size());
    } else {
      bytes.append(bytes_, slot.offset, UserRecord::kSize);
    }
  }
  return bytes;
}

void UserTable::CountUsers() {
  user_count_ = 0;
  while (user_count_ < record_count() && TrimmedNameOf(user_count_ + 1) != "EOF") {
    ++user_count_;
  }
}

std::optional<int> UserTable::Find(std::string_view ansi_name) const {
  const std::string wanted = FoldCase(TrimBlanks(ansi_name));
  for (int n = 1; n <= user_count_; ++n) {
    if (FoldCase(TrimmedNameOf(n)) == wanted) return n;
  }
  return std::nullopt;
}

int UserTable::Add(const UserRecord& record) {
  Slot added;
  added.decoded = std::make_unique<UserRecord>(record);
  records_.insert(records_.begin() + user_count_, std::move(added));
  origin_.insert(origin_.begin() + user_count_, 0);
  ++user_count_;
  return user_count_;
}

void UserTable::Remove(int n) {
  records_.erase(records_.begin() + (n - 1));
  origin_.erase(origin_.begin() + (n - 1));
  CountUsers();
}

void UserTable::Move(int n, int to) {
  Slot moved = std::move(records_[n - 1]);
  const int from_origin = origin_[n - 1];
  records_.erase(records_.begin() + (n - 1));
  origin_.erase(origin_.begin() + (n - 1));
  records_.insert(records_.begin() + (to - 1), std::move(moved));
  origin_.insert(origin_.begin() + (to - 1), from_origin);
}

bool UserTable::Reordered() const {
  if (static_cast<int>(origin_.size()) != decoded_count_) return true;
  for (size_t i = 0; i < origin_.size(); ++i) {
    if (origin_[i] != static_cast<int>(i + 1)) return true;
  }
  return false;
}

}  // namespace nox::admin
