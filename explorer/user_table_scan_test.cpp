#include "explorer/user_table_scan.h"

#include <gtest/gtest.h>

#include <string>

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

TEST(UserTableScanTest, AMissingTableIsLeftBehindEmpty) {
  ResetMachine();
  UserTableScan scan;
  EXPECT_EQ(scan.Record(1).TrimmedName(), "EOF");
  EXPECT_EQ(fake::FileBytes(kUserTablePath), "");
}

}  // namespace
}  // namespace nox
