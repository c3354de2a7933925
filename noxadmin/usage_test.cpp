// noxadmin and the lab-wide budget: switching the usage folder on and off,
// listing minutes per user and PC, and the lab's minutes in "user show".
#include <gtest/gtest.h>

#include "explorer/records.h"
#include "noxadmin/test_support.h"
#include "pelorus/lab_usage.h"

namespace nox::admin {
namespace {

using namespace testing_support;

class NoxadminUsageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(RunIn(folder_, {"user", "add", "kid", "--minutes", "60"}).code, kExitOk);
  }
  void PutUsage(const std::string& name, const std::vector<UsageEntry>& entries) {
    WriteBytes(folder_ / "usage" / name, EncodeUsageFile(entries));
  }
  TempFolder folder_;
};

TEST_F(NoxadminUsageTest, LabBudgetSwitchesTheUsageFolder) {
  EXPECT_EQ(RunIn(folder_, {"settings", "set", "--lab-budget", "maybe"}).code, kExitFailed);
  EXPECT_FALSE(fs::exists(folder_ / "usage"));
  ASSERT_EQ(RunIn(folder_, {"settings", "set", "--lab-budget", "on"}).code, kExitOk);
  EXPECT_TRUE(fs::is_directory(folder_ / "usage"));
  PutUsage("PC1.tbl", {{"kid", 20260310, 4}});
  WriteBytes(folder_ / "usage" / "PC1.tmp", "x");
  WriteBytes(folder_ / "usage" / "notes.txt", "keep me");
  EXPECT_EQ(RunIn(folder_, {"settings", "set", "--lab-budget", "off"}).code, kExitFailed);
  EXPECT_TRUE(fs::exists(folder_ / "usage" / "PC1.tbl"));
  fs::remove(folder_ / "usage" / "notes.txt");
  ASSERT_EQ(RunIn(folder_, {"settings", "set", "--lab-budget", "off"}).code, kExitOk);
  EXPECT_FALSE(fs::exists(folder_ / "usage"));
  EXPECT_EQ(folder_.Names(), (std::vector<std::string>{"USER.TBL"}));
}

TEST_F(NoxadminUsageTest, ListsMinutesPerUserAndPc) {
  EXPECT_EQ(RunIn(folder_, {"usage"}).code, kExitFailed);  // the lab-wide budget is off
  fs::create_directory(folder_ / "usage");
  PutUsage("PC1.tbl", {{"kid", 20260310, 4}, {"anna", 20260310, 7}, {"kid", 20260309, 50}});
  PutUsage("PC2.tbl", {{"kid", 20260310, 12}});
  WriteBytes(folder_ / "usage" / "PC3.tbl", EncodeUsageFile({{"kid", 20260310, 9}}).substr(0, 30));
  const RunResult today = RunIn(folder_, {"usage"});
  ASSERT_EQ(today.code, kExitOk) << today.err;
  EXPECT_EQ(today.out,
            "user  pc     minutes\n"
            "anna  PC1    7\n"
            "kid   PC1    4\n"
            "kid   PC2    12\n"
            "anna  (all)  7\n"
            "kid   (all)  16\n");
  EXPECT_EQ(today.err, "noxadmin: note: PC3.tbl is damaged or being written; left out\n");
  const RunResult earlier = RunIn(folder_, {"usage", "--day", "2026-03-09"});
  EXPECT_EQ(earlier.out,
            "user  pc     minutes\n"
            "kid   PC1    50\n"
            "kid   (all)  50\n");
  EXPECT_EQ(RunIn(folder_, {"usage", "--day", "2026-13-01"}).code, kExitFailed);
  EXPECT_EQ(RunIn(folder_, {"usage", "--day", "yesterday"}).code, kExitFailed);
}

TEST_F(NoxadminUsageTest, UserShowGivesTheLabMinutesOfToday) {
  EXPECT_EQ(RunIn(folder_, {"user", "show", "kid"}).out.find("lab minutes"), std::string::npos);
  fs::create_directory(folder_ / "usage");
  PutUsage("PC1.tbl", {{"KID", 20260310, 4}});
  PutUsage("PC2.tbl", {{"kid", 20260310, 12}, {"kid", 20260309, 30}});
  const RunResult shown = RunIn(folder_, {"user", "show", "kid"});
  EXPECT_NE(shown.out.find("lab minutes   16 used today on every PC; 44 left\n"), std::string::npos)
      << shown.out;
}

// A Wine prefix is read from Linux; its dosdevices links need a POSIX file system.
#if !defined(_WIN32)
TEST_F(NoxadminUsageTest, PrefixFindsTheMasterFolderThroughTheSettings) {
  TempFolder prefix;
  fs::create_directories(prefix / "drive_c" / "windows" / "system32");
  fs::create_directories(prefix / "drive_c" / "lab");
  fs::create_directories(prefix / "dosdevices");
  fs::create_directory_symlink("../drive_c", prefix / "dosdevices" / "c:");
  auto run = [&](std::vector<std::string> args) {
    args.insert(args.begin(), {"--prefix", prefix.str()});
    std::ostringstream out, err;
    std::istringstream in;
    AdminContext context{out, err, in, TestNow()};
    return RunNoxadmin(args, context);
  };
  EXPECT_EQ(run({"settings", "set", "--lab-budget", "on"}), kExitFailed);  // no master folder yet
  ASSERT_EQ(run({"settings", "set", "--master-folder", "C:\\lab", "--lab-budget", "on"}), kExitOk);
  EXPECT_TRUE(fs::is_directory(prefix / "drive_c" / "lab" / "usage"));
  ASSERT_EQ(run({"settings", "set", "--master-folder", "\\\\server\\nox"}), kExitOk);
  EXPECT_EQ(run({"usage"}), kExitFailed);  // a share Linux cannot reach
}
#endif

}  // namespace
}  // namespace nox::admin
