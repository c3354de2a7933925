#include "explorer/user_table_scan.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "explorer/login_test_support.h"
#include "platform/fake/fake_control.h"

namespace nox {
namespace {

using namespace testing_support;
namespace fake = platform::fake;

// The scan must see every record exactly as ReadUserRecord does.
TEST(UserTableScanTest, ReadsEveryRecordAsReadUserRecordDoes) {
  const std::string table =
      TableBytes({MakeUser("alice", "a"), MakeUser("bob", "b"), MakeUser("carol", "c")});
  const size_t lengths[] = {0, 1, 2, 2688, 2689, 2690, 2691, 5378, 5379, 5380, 8067};
  for (size_t length : lengths) {
    SCOPED_TRACE(length);
    ResetMachine();
    fake::PutFile(kUserTablePath, table.substr(0, length));
    UserTableScan scan;
    for (int32_t n = 0; n <= 5; ++n) {
      SCOPED_TRACE(n);
      const UserRecordBytes expected = EncodeUserRecord(ReadUserRecord(n));
      const UserRecordBytes actual = EncodeUserRecord(scan.Record(n));
      EXPECT_EQ(std::string(actual.data(), actual.size()),
                std::string(expected.data(), expected.size()));
    }
  }
}

// A table longer than the scan's window, cut at and around the window's
// edges, read forwards and then backwards.
TEST(UserTableScanTest, ReadsAcrossAndBackOverItsWindow) {
  const int32_t count = static_cast<int32_t>(2 * UserTableScan::kWindowRecords + 3);
  std::vector<UserRecord> users;
  for (int32_t i = 1; i <= count; ++i) {
    users.push_back(MakeUser("user" + std::to_string(i), "pw" + std::to_string(i)));
  }
  const std::string table = TableBytes(users);
  const size_t window_bytes = UserTableScan::kWindowRecords * UserRecord::kSize;
  const size_t lengths[] = {table.size(), window_bytes, window_bytes + 1, window_bytes + 2,
                            window_bytes + 1000, 2 * window_bytes - 5};
  for (size_t length : lengths) {
    SCOPED_TRACE(length);
    ResetMachine();
    fake::PutFile(kUserTablePath, table.substr(0, length));
    UserTableScan scan;
    std::vector<int32_t> order;
    for (int32_t n = 1; n <= count + 1; ++n) order.push_back(n);
    for (int32_t n = count + 1; n >= 1; --n) order.push_back(n);
    for (int32_t n : order) {
      const UserRecordBytes expected = EncodeUserRecord(ReadUserRecord(n));
      const UserRecordBytes actual = EncodeUserRecord(scan.Record(n));
      ASSERT_EQ(std::string(actual.data(), actual.size()),
                std::string(expected.data(), expected.size()))
          << "record " << n;
    }
  }
}

TEST(UserTableScanTest, AMissingTableIsLeftBehindEmpty) {
  ResetMachine();
  UserTableScan scan;
  EXPECT_EQ(scan.Record(1).TrimmedName(), "EOF");
  EXPECT_EQ(fake::FileBytes(kUserTablePath), "");
}

}  // namespace
}  // namespace nox
