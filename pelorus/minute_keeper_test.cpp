// pelorus's minute keeping on the fake platform: finding the user, counting
// across minute and day boundaries, the notices, the log-off, and the
// lab-wide sum.
#include "pelorus/minute_keeper.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "explorer/login_test_support.h"
#include "pelorus/lab_usage.h"
#include "pelorus/minute_ticker.h"

namespace nox {
namespace {

using namespace testing_support;
namespace fake = platform::fake;

constexpr const char* kExpired =
    "Your allocated session minutes have expired.\r\nYour windows session will now terminate.";
constexpr const char* kUsageDir = "C:\\MASTER\\usage\\";

int log_off_calls = 0;
int32_t NOX_STDCALL CountingLogOff() {
  ++log_off_calls;
  return -1;
}

class MinuteKeeperTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetMachine();
    log_off_calls = 0;
    fake::RegisterLibraryExport("Tessel.dll", "LogOff", reinterpret_cast<void*>(&CountingLogOff));
    fake::SetLocalTime(At(2024, 3, 1, 12, 0, 30));
  }

  // The login's registry values for record n.
  void LoggedInAs(const std::string& number, const std::string& stored_name) {
    RegWrite(std::string("Local_Machine,") + kNetsieveKey + "\\,User", number, 1);
    RegWrite(std::string("Local_Machine,") + kNetsieveKey + "\\,UserName", stored_name, 1);
  }

  // Two other users around the kept one (record 2), who logged in.
  void ThreeUsers(int32_t allowed, int32_t used, const platform::LocalTime& last_use) {
    PutUserTable({MakeBudgetUser("anna", 30, 3, At(2024, 3, 1)),
                  MakeBudgetUser("kid", allowed, used, last_use), MakeUser("teacher", "chalk")});
    LoggedInAs("2", "kid                                     ");
  }

  // Starts the keeper; true when it ended the program (logged off).
  bool StartEnds(bool* kept = nullptr) {
    return Ends([&] {
      const bool started = keeper_.Start();
      if (kept) *kept = started;
    });
  }
  bool MinuteEnds() {
    return Ends([&] { keeper_.CountMinute(); });
  }

  void ExpectLoggedOff() {
    ASSERT_EQ(fake::MessageBoxes().size(), 1u);
    EXPECT_EQ(fake::MessageBoxes()[0].text, kExpired);
    EXPECT_EQ(fake::MessageBoxes()[0].title, "Nox Message");
    EXPECT_EQ(fake::MessageBoxes()[0].flags, platform::kMbOk | platform::kMbIconStop);
    EXPECT_EQ(expiring_, 1);
    EXPECT_EQ(log_off_calls, 1);
    EXPECT_EQ(fake::ProgramEndCode(), 0);
  }

  std::vector<std::string> notices_;
  int expiring_ = 0;
  MinuteKeeper keeper_{{[this](const std::string& text) { notices_.push_back(text); },
                        [this] { ++expiring_; }, nullptr}};
};

TEST_F(MinuteKeeperTest, NobodyToKeepChangesNothing) {
  struct Case {
    const char* number;
    const char* user_name;
    const char* triple;
  } cases[] = {
      {"2", "kid", "0,0,0"},            // no budget
      {"2", "kid", "0,0,1,4"},          // a triple the login cannot read
      {"2", "kid", "0,0,99999999999"},  // third part beyond 32 bits
      {"2", "Kid", kBudgetTriple},      // the name must match exactly
      {"2", "anna", kBudgetTriple},     // someone else's record
      {"7", "kid", kBudgetTriple},      // no such record
      {"0", "kid", kBudgetTriple},      // no record number
      {"2x", "kid", kBudgetTriple},     // not a number
      {"-2", "kid", kBudgetTriple},     // not a number
      {"2", "", kBudgetTriple},         // no name
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.number + std::string("|") + c.user_name + "|" + c.triple);
    ResetMachine();
    UserRecord kid = MakeBudgetUser("kid", 60, 10, At(2024, 3, 1));
    SetFieldText(kid.level_triple, c.triple);
    PutUserTable({MakeBudgetUser("anna", 30, 3, At(2024, 3, 1)), kid});
    LoggedInAs(c.number, c.user_name);
    const std::string before = *fake::FileBytes(kUserTablePath);
    bool kept = true;
    EXPECT_FALSE(StartEnds(&kept));
    EXPECT_FALSE(kept);
    EXPECT_EQ(*fake::FileBytes(kUserTablePath), before);
    EXPECT_TRUE(fake::MessageBoxes().empty());
  }
}

TEST_F(MinuteKeeperTest, TableCutShortIsNobodyAndStaysAsItWas) {
  ThreeUsers(60, 10, At(2024, 3, 1));
  const std::string cut = fake::FileBytes(kUserTablePath)->substr(0, 2 * UserRecord::kSize - 1);
  fake::PutFile(kUserTablePath, cut);
  bool kept = true;
  EXPECT_FALSE(StartEnds(&kept));
  EXPECT_FALSE(kept);
  EXPECT_EQ(*fake::FileBytes(kUserTablePath), cut);
}

TEST_F(MinuteKeeperTest, CountsOneMinuteAtATimeIntoThatRecordOnly) {
  ThreeUsers(60, 10, At(2024, 3, 1, 8, 0));
  ASSERT_TRUE(keeper_.Start());
  EXPECT_EQ(keeper_.minutes_left(), 50);
  const std::string before = *fake::FileBytes(kUserTablePath);
  for (int minute = 1; minute <= 3; ++minute) {
    fake::AdvanceMinutes(1);
    ASSERT_TRUE(keeper_.CountMinute());
    EXPECT_EQ(StoredUser(2).used_minutes, 10 + minute);
    EXPECT_EQ(StoredUser(2).last_use_date, ToOleDate(At(2024, 3, 1, 12, minute, 30)));
    EXPECT_EQ(keeper_.minutes_left(), 50 - minute);
  }
  // Every byte outside the two counters of record 2 is as it was.
  const std::string after = *fake::FileBytes(kUserTablePath);
  ASSERT_EQ(after.size(), before.size());
  const size_t counters = UserRecord::kSize + 2675;
  EXPECT_EQ(after.substr(0, counters), before.substr(0, counters));
  EXPECT_EQ(after.substr(counters + 12), before.substr(counters + 12));
}

TEST_F(MinuteKeeperTest, EditsMadeMeanwhileCount) {
  ThreeUsers(60, 10, At(2024, 3, 1));
  ASSERT_TRUE(keeper_.Start());
  // An administrator grants 20 minutes to kid and renames anna meanwhile.
  UserRecord kid = StoredUser(2);
  kid.used_minutes -= 20;
  UserRecord anna = StoredUser(1);
  SetFieldText(anna.user_name, "hanna");
  PutUserTable({anna, kid, StoredUser(3)});
  ASSERT_TRUE(keeper_.CountMinute());
  EXPECT_EQ(StoredUser(2).used_minutes, -9);
  EXPECT_EQ(keeper_.minutes_left(), 69);
  EXPECT_EQ(StoredUser(1).TrimmedName(), "hanna");
}

TEST_F(MinuteKeeperTest, RecordThatChangesHandsOrLosesItsBudgetEndsTheKeeping) {
  for (const char* change : {"name", "budget"}) {
    SCOPED_TRACE(change);
    ThreeUsers(60, 10, At(2024, 3, 1));
    ASSERT_TRUE(keeper_.Start());
    UserRecord kid = StoredUser(2);
    if (std::string(change) == "name") {
      SetFieldText(kid.user_name, "anna");
    } else {
      SetFieldText(kid.level_triple, "0,0,0");
    }
    PutUserTable({StoredUser(1), kid, StoredUser(3)});
    const std::string before = *fake::FileBytes(kUserTablePath);
    EXPECT_FALSE(keeper_.CountMinute());
    EXPECT_EQ(*fake::FileBytes(kUserTablePath), before);
  }
}

TEST_F(MinuteKeeperTest, NewDayDuringTheSessionStartsTheCountAgain) {
  fake::SetLocalTime(At(2024, 3, 1, 23, 58, 10));
  ThreeUsers(60, 40, At(2024, 3, 1, 23, 0));
  ASSERT_TRUE(keeper_.Start());
  EXPECT_EQ(keeper_.minutes_left(), 20);
  fake::AdvanceMinutes(1);  // 23:59
  ASSERT_TRUE(keeper_.CountMinute());
  EXPECT_EQ(StoredUser(2).used_minutes, 41);
  fake::AdvanceMinutes(1);  // 00:00 of the next day
  ASSERT_TRUE(keeper_.CountMinute());
  EXPECT_EQ(StoredUser(2).used_minutes, 1);
  EXPECT_EQ(StoredUser(2).last_use_date, ToOleDate(At(2024, 3, 2, 0, 0, 10)));
  EXPECT_EQ(keeper_.minutes_left(), 59);
}

TEST_F(MinuteKeeperTest, StartOnANewDayCountsTheWholeBudget) {
  ThreeUsers(60, 60, At(2024, 2, 29, 23, 59));
  ASSERT_TRUE(keeper_.Start());
  EXPECT_EQ(keeper_.minutes_left(), 60);
  ASSERT_TRUE(keeper_.CountMinute());
  EXPECT_EQ(StoredUser(2).used_minutes, 1);
}

TEST_F(MinuteKeeperTest, WarnsAtFiveAndOneThenLogsOffAtZero) {
  ThreeUsers(60, 53, At(2024, 3, 1));
  ASSERT_TRUE(keeper_.Start());  // 7 left
  std::vector<std::vector<std::string>> expected = {
      {},
      {"5 minutes left today"},
      {"5 minutes left today"},
      {"5 minutes left today"},
      {"5 minutes left today"},
      {"5 minutes left today", "1 minute left today"}};
  for (size_t minute = 0; minute < expected.size(); ++minute) {
    SCOPED_TRACE(minute);
    ASSERT_FALSE(MinuteEnds());
    EXPECT_EQ(notices_, expected[minute]);
    EXPECT_TRUE(fake::MessageBoxes().empty());
  }
  EXPECT_TRUE(MinuteEnds());
  EXPECT_EQ(StoredUser(2).used_minutes, 60);
  ExpectLoggedOff();
}

TEST_F(MinuteKeeperTest, UserWithoutMinutesAtStartIsLoggedOffAtOnce) {
  struct Case {
    int32_t allowed, used;
  } cases[] = {{60, 60}, {60, 75}, {0, 0}, {-5, 0}, {INT32_MIN, INT32_MAX}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.allowed) + " " + std::to_string(c.used));
    SetUp();
    expiring_ = 0;
    ThreeUsers(c.allowed, c.used, At(2024, 3, 1, 9, 0));
    const std::string before = *fake::FileBytes(kUserTablePath);
    EXPECT_TRUE(StartEnds());
    ExpectLoggedOff();
    EXPECT_EQ(*fake::FileBytes(kUserTablePath), before);
  }
}

TEST_F(MinuteKeeperTest, HugeBudgetCountsWithoutOverflow) {
  ThreeUsers(INT32_MAX, INT32_MAX - 100, At(2024, 3, 1));
  ASSERT_TRUE(keeper_.Start());
  ASSERT_TRUE(keeper_.CountMinute());
  EXPECT_EQ(keeper_.minutes_left(), 99);
  ThreeUsers(INT32_MAX, INT32_MAX, At(2024, 3, 1));
  EXPECT_TRUE(MinuteEnds());
  EXPECT_EQ(StoredUser(2).used_minutes, INT32_MAX);
}

TEST_F(MinuteKeeperTest, WithoutTesselItLogsOffThroughExitWindows) {
  ResetMachine();  // Tessel.dll missing
  fake::SetLocalTime(At(2024, 3, 1, 12, 0));
  ThreeUsers(5, 5, At(2024, 3, 1));
  EXPECT_TRUE(StartEnds());
  ASSERT_EQ(fake::ExitWindowsCalls().size(), 1u);
  EXPECT_EQ(fake::ExitWindowsCalls()[0].flags, 4u);
  EXPECT_EQ(fake::ProgramEndCode(), 0);
}

// ------------------------------------------------------------ lab-wide
class LabBudgetTest : public MinuteKeeperTest {
 protected:
  void SetUp() override {
    MinuteKeeperTest::SetUp();
    SettingsRecord settings = DefaultSettingsRecord();
    SetFieldText(settings.master_path, "C:\\MASTER\\USER.TBL");
    settings.copy_from_master = 1;
    const SettingsRecordBytes bytes = EncodeSettingsRecord(settings);
    fake::PutFile(std::string(kSystemDir) + kSettingsTable,
                  std::string(bytes.data(), bytes.size()));
    fake::MakeDirectories(kUsageDir);
  }
  void PutUsage(const std::string& file, const std::vector<UsageEntry>& entries) {
    fake::PutFile(kUsageDir + file, EncodeUsageFile(entries));
  }
  std::vector<UsageEntry> OwnUsage(const std::string& file = "PC1.tbl") {
    return DecodeUsageFile(*fake::FileBytes(kUsageDir + file)).value_or(std::vector<UsageEntry>{});
  }
};

TEST_F(LabBudgetTest, SumsEveryReadablePcFileOfToday) {
  ThreeUsers(60, 4, At(2024, 3, 1));
  PutUsage("PC2.tbl", {{"kid", 20240301, 15}, {"KID", 20240229, 50}, {"anna", 20240301, 9}});
  PutUsage("PC3.tbl", {{"Kid", 20240301, 20}});
  std::string half = EncodeUsageFile({{"kid", 20240301, 30}, {"anna", 20240301, 1}});
  fake::PutFile(std::string(kUsageDir) + "PC4.tbl", half.substr(0, half.size() - 10));
  fake::PutFile(std::string(kUsageDir) + "PC5.tbl", "garbage of another kind");
  fake::MakeDirectories(std::string(kUsageDir) + "PC6.tbl");  // no file to read
  fake::PutFile(std::string(kUsageDir) + "NOTES.txt", EncodeUsageFile({{"kid", 20240301, 30}}));
  PutUsage("PC1.tbl", {{"kid", 20240301, 4}, {"anna", 20240225, 7}});
  ASSERT_TRUE(keeper_.Start());
  EXPECT_EQ(keeper_.minutes_left(), 60 - 15 - 20 - 4);
  ASSERT_TRUE(keeper_.CountMinute());
  EXPECT_EQ(keeper_.minutes_left(), 60 - 15 - 20 - 5);
  EXPECT_EQ(StoredUser(2).used_minutes, 5);
  EXPECT_EQ(OwnUsage(), (std::vector<UsageEntry>{{"kid", 20240301, 5}, {"anna", 20240225, 7}}));
  EXPECT_FALSE(fake::FileExists(std::string(kUsageDir) + "PC1.tmp"));
}

TEST_F(LabBudgetTest, ReachesTheLimitTogetherWithTheOtherPcs) {
  ThreeUsers(30, 0, At(2024, 3, 1));
  PutUsage("PC2.tbl", {{"kid", 20240301, 27}});
  ASSERT_TRUE(keeper_.Start());
  EXPECT_EQ(keeper_.minutes_left(), 3);
  ASSERT_FALSE(MinuteEnds());
  PutUsage("PC2.tbl", {{"kid", 20240301, 28}});  // counted there meanwhile
  EXPECT_TRUE(MinuteEnds());
  ExpectLoggedOff();
  EXPECT_EQ(OwnUsage(), (std::vector<UsageEntry>{{"kid", 20240301, 2}}));
}

TEST_F(LabBudgetTest, MissingShareFallsBackToTheLocalCountAndCatchesUpLater) {
  ThreeUsers(60, 10, At(2024, 3, 1));
  PutUsage("PC2.tbl", {{"kid", 20240301, 30}});
  ASSERT_TRUE(keeper_.Start());
  EXPECT_EQ(keeper_.minutes_left(), 30);
  const std::string pc2 = *fake::FileBytes(std::string(kUsageDir) + "PC2.tbl");
  ASSERT_EQ(platform::DeleteFile(std::string(kUsageDir) + "PC2.tbl"), platform::kSuccess);
  ASSERT_EQ(platform::RemoveDirectory("C:\\MASTER\\usage"), platform::kSuccess);
  ASSERT_TRUE(keeper_.CountMinute());
  EXPECT_EQ(StoredUser(2).used_minutes, 11);
  EXPECT_EQ(keeper_.minutes_left(), 49);
  fake::MakeDirectories(kUsageDir);
  fake::PutFile(std::string(kUsageDir) + "PC2.tbl", pc2);
  ASSERT_TRUE(keeper_.CountMinute());
  EXPECT_EQ(OwnUsage(), (std::vector<UsageEntry>{{"kid", 20240301, 2}}));
  EXPECT_EQ(keeper_.minutes_left(), 60 - 30 - 2);
}

TEST_F(LabBudgetTest, MinutesThatMissedTheShareBeforeMidnightAreDropped) {
  fake::SetLocalTime(At(2024, 3, 1, 23, 59, 30));
  ThreeUsers(60, 10, At(2024, 3, 1));
  ASSERT_TRUE(keeper_.Start());
  ASSERT_EQ(platform::RemoveDirectory("C:\\MASTER\\usage"), platform::kSuccess);
  ASSERT_TRUE(keeper_.CountMinute());  // 23:59, the share out of reach
  fake::MakeDirectories(kUsageDir);
  fake::AdvanceMinutes(1);
  ASSERT_TRUE(keeper_.CountMinute());  // 00:00
  EXPECT_EQ(OwnUsage(), (std::vector<UsageEntry>{{"kid", 20240302, 1}}));
  EXPECT_EQ(keeper_.minutes_left(), 59);
}

TEST_F(LabBudgetTest, OffWithoutComputerNameOrUsageFolder) {
  for (const char* off : {"computer name", "folder"}) {
    SCOPED_TRACE(off);
    SetUp();
    if (std::string(off) == "folder") {
      ASSERT_EQ(platform::RemoveDirectory("C:\\MASTER\\usage"), platform::kSuccess);
    } else {
      fake::SetComputerName("");
    }
    ThreeUsers(60, 10, At(2024, 3, 1));
    ASSERT_TRUE(keeper_.Start());
    ASSERT_TRUE(keeper_.CountMinute());
    EXPECT_EQ(keeper_.minutes_left(), 49);
    EXPECT_EQ(fake::AllFiles().size(), 2u);  // USER.TBL and NoxSettings.TBL alone
  }
}

TEST_F(LabBudgetTest, ComputerNameBecomesASafeFileName) {
  fake::SetComputerName("LAB:1/A*B?");
  ThreeUsers(60, 10, At(2024, 3, 1));
  ASSERT_TRUE(keeper_.Start());
  ASSERT_TRUE(keeper_.CountMinute());
  EXPECT_EQ(OwnUsage("LAB_1_A_B_.tbl"), (std::vector<UsageEntry>{{"kid", 20240301, 1}}));
}

// ------------------------------------------------------------ the ticker
TEST(MinuteTickerTest, RealMinutesTickAtEachChangeOfTheClocksMinute) {
  fake::Reset();
  fake::SetLocalTime(At(2024, 3, 1, 12, 0, 58));
  MinuteTicker ticker(0);
  EXPECT_FALSE(ticker.MinutePassed());
  fake::SetLocalTime(At(2024, 3, 1, 12, 0, 59));
  EXPECT_FALSE(ticker.MinutePassed());
  fake::SetLocalTime(At(2024, 3, 1, 12, 1, 0));
  EXPECT_TRUE(ticker.MinutePassed());
  EXPECT_FALSE(ticker.MinutePassed());
  fake::AdvanceMinutes(90);  // a suspended PC: one minute, not ninety
  EXPECT_TRUE(ticker.MinutePassed());
  EXPECT_FALSE(ticker.MinutePassed());
}

TEST(MinuteTickerTest, ShortMinutesCountFromTheStart) {
  fake::Reset();
  fake::SetTimerMilliseconds(0xFFFFF000u);  // across the timer's wrap
  MinuteTicker ticker(2);
  const std::pair<uint32_t, bool> steps[] = {{1999, false}, {1, true}, {1000, false},
                                             {999, false},  {1, true}, {6000, true}};
  for (const auto& [advance, passed] : steps) {
    fake::AdvanceTimer(advance);
    EXPECT_EQ(ticker.MinutePassed(), passed) << advance;
  }
}

TEST(MinuteTickerTest, MinuteSwitch) {
  const std::pair<const char*, std::optional<uint32_t>> cases[] = {
      {"", std::nullopt},
      {"/minute=1", 1u},
      {"/MINUTE=30", 30u},
      {"x /minute=5 y", 5u},
      {"/minute=", std::nullopt},
      {"/minute=0", std::nullopt},
      {"/minute=abc", std::nullopt},
      {"/minute=99999999999999", std::nullopt}};
  for (const auto& [text, seconds] : cases) EXPECT_EQ(MinuteSwitch(text), seconds) << text;
}

}  // namespace
}  // namespace nox
