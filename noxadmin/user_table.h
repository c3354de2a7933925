// USER.TBL as noxadmin edits it: every whole record of the file in order
// (the "EOF" record and anything behind it included, so that nothing of the
// file is lost), the users being the records before the first "EOF".
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "explorer/records.h"

namespace nox::admin {

class UserTable {
 public:
  // Splits the file into records. A length that is not a multiple of the
  // record size leaves a fragment, which Encode refuses to write back.
  static UserTable Decode(std::string bytes);

  // The whole file. Refusal when the file had a fragment: editing would
  // either drop it or keep a record the login program reads half.
  std::string Encode() const;

  bool has_fragment() const { return !fragment_.empty(); }
  size_t fragment_size() const { return fragment_.size(); }
  // Records in the file, the "EOF" record and those behind it included.
  int record_count() const { return static_cast<int>(records_.size()); }
  // Users: the records before the first "EOF" record.
  int user_count() const { return user_count_; }

  // Record n, 1-based (1 to record_count()).
  const UserRecord& record(int n) const { return Decoded(n); }
  UserRecord& record(int n) { return Decoded(n); }

  // The number of the user whose trimmed name matches `ansi_name` without
  // regard to letter case (the first such, as the login program finds it).
  std::optional<int> Find(std::string_view ansi_name) const;

  // Inserts a user after the last one, before any "EOF" record; returns its
  // number.
  int Add(const UserRecord& record);
  void Remove(int n);
  // Moves user n to position `to` (both 1 to user_count()).
  void Move(int n, int to);

  // For each record of the table now, the number it had when decoded (0 for
  // an added one).
  const std::vector<int>& origin() const { return origin_; }
  bool Reordered() const;
  int decoded_record_count() const { return decoded_count_; }

 private:
  // A record as read from the file (its place in bytes_), decoded only once
  // it is asked for: an edit of one user of thousands then decodes and
  // encodes just that one, the others are written back as they were read.
  struct Slot {
    size_t offset = 0;
    mutable std::unique_ptr<UserRecord> decoded;
  };

  UserRecord& Decoded(int n) const;
  std::string TrimmedNameOf(int n) const;
  void CountUsers();

  std::string bytes_;
  std::vector<Slot> records_;
  std::vector<int> origin_;
  std::string fragment_;
  int user_count_ = 0;
  int decoded_count_ = 0;
};

}  // namespace nox::admin
