// The daily minute budget: ComputeSessionMinutes, CheckSessionAllowance and
// the forced log-off at automatic logins.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "common/ole_date.h"
#include "explorer/frm_login.h"
#include "explorer/login_test_support.h"
#include "platform/fake/fake_control.h"

namespace nox {
namespace {

using namespace testing_support;
namespace fake = platform::fake;

constexpr const char* kExpired =
    "Your allocated session minutes have expired.\r\nYour windows session will now terminate.";

class SessionClockTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetMachine();
    fake::SetLocalTime(At(2024, 3, 1, 12, 0));
  }

  // Automatic login A of the first record through the whole load handling.
  bool LoadAs(const std::string& logon_name) {
    fake::SetLogonUserName(logon_name);
    return Ends([&] { form_.Form_Load(""); });
  }

  void ExpectLoggedOff() {
    ASSERT_EQ(fake::MessageBoxes().size(), 1u);
    EXPECT_EQ(fake::MessageBoxes()[0].text, kExpired);
    EXPECT_EQ(fake::MessageBoxes()[0].title, "Nox Message");
    EXPECT_EQ(fake::MessageBoxes()[0].flags, platform::kMbOk | platform::kMbIconStop);
    ASSERT_EQ(fake::ExitWindowsCalls().size(), 1u);
    EXPECT_EQ(fake::ExitWindowsCalls()[0].flags, 4u);
    EXPECT_EQ(fake::ExitWindowsCalls()[0].reserved, 0xFFFFFFFFu);
    EXPECT_TRUE(fake::ProgramEndCode().has_value());
    EXPECT_FALSE(ShellStarted());
  }

  frmLogin form_;
};

TEST_F(SessionClockTest, BudgetBitClearMeansNoLimit) {
  const char* triples[] = {"0,0,0", "5,6", "0,0,33554431", "0,0,67108864", "", "0,0,&H1000000"};
  for (const char* triple : triples) {
    SCOPED_TRACE(triple);
    UserRecord record = MakeBudgetUser("kid", 0, 100, At(2024, 3, 1));
    SetFieldText(record.level_triple, triple);
    PutUserTable({record});
    form_.remaining_minutes = 7;
    form_.ComputeSessionMinutes(1);
    EXPECT_EQ(form_.remaining_minutes, -1);
  }
  form_.CheckSessionAllowance();
  EXPECT_TRUE(fake::MessageBoxes().empty());
}

TEST_F(SessionClockTest, TheThirdPartIsReadAsANumberWithBlanksSkipped) {
  const char* triples[] = {"5, 0, 33554432",  " 0 , 0 , 3355 4432 ", "0,0,&H2000000",
                           "0,0,&O200000000", "0,0,33554431.5",      "0,0,3.3554432E7",
                           "0,0,-1",          "0,0,33554432xyz"};
  for (const char* triple : triples) {
    SCOPED_TRACE(triple);
    UserRecord record = MakeBudgetUser("kid", 60, 20, At(2024, 3, 1, 9));
    SetFieldText(record.level_triple, triple);
    PutUserTable({record});
    form_.remaining_minutes = 7;
    form_.ComputeSessionMinutes(1);
    EXPECT_EQ(form_.remaining_minutes, 40);
  }
  EXPECT_TRUE(fake::MessageBoxes().empty());
}

TEST_F(SessionClockTest, SameDayBudgetIsAllowedMinusUsed) {
  struct Case {
    int32_t allowed, used, remaining;
  } cases[] = {{60, 60, 0}, {60, 75, -15}, {0, 0, 0}, {90, 30, 60}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.allowed << "/" << c.used);
    PutUserTable({MakeBudgetUser("kid", c.allowed, c.used, At(2024, 3, 1, 0, 0))});
    form_.ComputeSessionMinutes(1);
    EXPECT_EQ(form_.remaining_minutes, c.remaining);
    EXPECT_EQ(StoredUser(1).used_minutes, c.used);
  }
}

TEST_F(SessionClockTest, FirstLoadOfANewDayResetsAndSavesTheRecord) {
  fake::SetLocalTime(At(2024, 3, 2, 0, 0, 5));
  UserRecord record = MakeBudgetUser("kid", 60, 60, At(2024, 3, 1, 23, 59));
  record.reserved_389.fill('R');
  PutUserTable({MakeUser("first", ""), record});
  form_.ComputeSessionMinutes(2);
  EXPECT_EQ(form_.remaining_minutes, 60);
  UserRecord stored = StoredUser(2);
  EXPECT_EQ(stored.used_minutes, 0);
  EXPECT_DOUBLE_EQ(stored.last_use_date, ToOleDate(At(2024, 3, 2, 0, 0, 5)));
  EXPECT_EQ(stored.allowed_minutes, 60);
  EXPECT_EQ(FieldText(stored.reserved_389), std::string(200, 'R'));
  EXPECT_EQ(StoredUser(1).TrimmedName(), "first");
  EXPECT_EQ(form_.current_user.used_minutes, 0);
}

TEST_F(SessionClockTest, TwentyFourHoursWithinOneDayAreNoNewDay) {
  fake::SetLocalTime(At(2024, 3, 1, 23, 59, 59));
  PutUserTable({MakeBudgetUser("kid", 60, 50, At(2024, 3, 1, 0, 0, 0))});
  form_.ComputeSessionMinutes(1);
  EXPECT_EQ(form_.remaining_minutes, 10);
}

TEST_F(SessionClockTest, ALastUseDateInTheFutureIsNoNewDay) {
  PutUserTable({MakeBudgetUser("kid", 60, 45, At(2024, 3, 8, 10))});
  form_.ComputeSessionMinutes(1);
  EXPECT_EQ(form_.remaining_minutes, 15);
  EXPECT_EQ(StoredUser(1).used_minutes, 45);
}

TEST_F(SessionClockTest, AutomaticLoginWithTheBudgetUsedUpLogsOff) {
  PutUserTable({MakeBudgetUser("kid", 60, 60, At(2024, 3, 1, 8))});
  EXPECT_TRUE(LoadAs("kid"));
  ExpectLoggedOff();
  // The login was recorded before the check.
  EXPECT_EQ(RegText(platform::kLocalMachine, kNetsieveKey, "User"), "1");
}

TEST_F(SessionClockTest, AutomaticLoginOverTheBudgetOrWithoutOneLogsOff) {
  const int32_t allowed_used[][2] = {{60, 75}, {0, 0}};
  for (const auto& pair : allowed_used) {
    SCOPED_TRACE(pair[0]);
    ResetMachine();
    fake::SetLocalTime(At(2024, 3, 1, 12, 0));
    form_ = frmLogin();
    PutUserTable({MakeBudgetUser("kid", pair[0], pair[1], At(2024, 3, 1, 8))});
    EXPECT_TRUE(LoadAs("kid"));
    ExpectLoggedOff();
  }
}

TEST_F(SessionClockTest, YesterdaysSpentBudgetLetsTheLoginGoOn) {
  fake::SetLocalTime(At(2024, 3, 2, 0, 0));
  PutUserTable({MakeBudgetUser("kid", 60, 60, At(2024, 3, 1, 23, 59))});
  LoadAs("kid");
  EXPECT_TRUE(fake::ExitWindowsCalls().empty());
  EXPECT_TRUE(ShellStarted());
  EXPECT_EQ(StoredUser(1).used_minutes, 0);
}

TEST_F(SessionClockTest, TheScanResetsEveryBudgetedRecordUpToTheMatch) {
  fake::SetLocalTime(At(2024, 3, 2, 7, 30));
  PutUserTable({MakeBudgetUser("a", 60, 10, At(2024, 3, 1, 9)),
                MakeBudgetUser("b", 60, 20, At(2024, 3, 1, 9)),
                MakeBudgetUser("c", 60, 30, At(2024, 3, 1, 9))});
  LoadAs("b");
  EXPECT_EQ(StoredUser(1).used_minutes, 0);
  EXPECT_EQ(StoredUser(2).used_minutes, 0);
  EXPECT_EQ(StoredUser(3).used_minutes, 30);
}

TEST_F(SessionClockTest, AMinuteBoundaryAcrossMidnightCountsAsElapsed) {
  fake::SetLocalTime(At(2024, 3, 1, 23, 59, 30));
  form_.remaining_minutes = 1;
  form_.session_start = platform::Now();
  fake::SetLocalTime(At(2024, 3, 2, 0, 0, 10));
  EXPECT_TRUE(Ends([&] { form_.CheckSessionAllowance(); }));
  EXPECT_EQ(form_.elapsed_minutes, 1);
  ExpectLoggedOff();
}

TEST_F(SessionClockTest, FiftyNineSecondsWithinAMinuteAreNotElapsed) {
  fake::SetLocalTime(At(2024, 3, 1, 12, 0, 0));
  form_.remaining_minutes = 1;
  form_.session_start = platform::Now();
  fake::SetLocalTime(At(2024, 3, 1, 12, 0, 59));
  EXPECT_FALSE(Ends([&] { form_.CheckSessionAllowance(); }));
  EXPECT_EQ(form_.elapsed_minutes, 0);
  EXPECT_TRUE(fake::ExitWindowsCalls().empty());
}

TEST_F(SessionClockTest, AClockSetBackDuringTheLoginAddsMinutes) {
  form_.remaining_minutes = 0;
  form_.session_start = platform::Now();
  fake::AdvanceMinutes(-2);
  EXPECT_FALSE(Ends([&] { form_.CheckSessionAllowance(); }));
  EXPECT_EQ(form_.elapsed_minutes, -2);
  EXPECT_TRUE(fake::MessageBoxes().empty());
}

TEST_F(SessionClockTest, NoLimitNeverLogsOff) {
  form_.remaining_minutes = -1;
  form_.session_start = At(1990, 1, 1);
  EXPECT_FALSE(Ends([&] { form_.CheckSessionAllowance(); }));
  EXPECT_TRUE(fake::ExitWindowsCalls().empty());
}

TEST_F(SessionClockTest, ErrorsAreShownAndTheRemainingMinutesKeepTheirValue) {
  struct Case {
    const char* triple;
    double last_use;
    int32_t allowed, used;
    const char* message;
  } cases[] = {
      {"1,2,33554432,4", 0, 60, 0, "9: Subscript out of range"},
      {"1,2,99999999999", 0, 60, 0, "6: Overflow"},
      {"0,0,&H80000000", 0, 60, 0, "6: Overflow"},
      {"0,0,33554432", std::nan(""), 60, 0, "5: Invalid procedure call or argument"},
      {"0,0,33554432", ToOleDate(At(2024, 3, 1)), INT32_MIN, 1, "6: Overflow"},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(i);
    ResetMachine();
    fake::SetLocalTime(At(2024, 3, 1, 12, 0));
    UserRecord record = MakeUser("kid", "", cases[i].triple);
    record.last_use_date = cases[i].last_use;
    record.allowed_minutes = cases[i].allowed;
    record.used_minutes = cases[i].used;
    PutUserTable({record});
    form_.remaining_minutes = 17;
    EXPECT_FALSE(Ends([&] { form_.ComputeSessionMinutes(1); }));
    EXPECT_EQ(form_.remaining_minutes, 17);
    EXPECT_EQ(form_.current_user.TrimmedName(), "kid");
    ASSERT_EQ(fake::MessageBoxes().size(), 1u);
    EXPECT_EQ(fake::MessageBoxes()[0].text, cases[i].message);
    EXPECT_EQ(fake::MessageBoxes()[0].title, "Nox Message");
    EXPECT_EQ(fake::MessageBoxes()[0].flags, platform::kMbOk | platform::kMbIconStop);
  }
}

TEST_F(SessionClockTest, ACheckThatOverflowsIsShownAndTheLoginGoesOn) {
  form_.remaining_minutes = INT32_MAX;
  form_.session_start = platform::Now();
  fake::AdvanceMinutes(-5);
  EXPECT_FALSE(Ends([&] { form_.CheckSessionAllowance(); }));
  ASSERT_EQ(fake::MessageBoxes().size(), 1u);
  EXPECT_EQ(fake::MessageBoxes()[0].text, "6: Overflow");
  EXPECT_TRUE(fake::ExitWindowsCalls().empty());
}

TEST_F(SessionClockTest, ForceLogOffEndsEvenWhenTheLogOffIsRefused) {
  fake::SetExitWindowsResult(false);
  EXPECT_TRUE(Ends([&] { form_.ForceLogOff(); }));
  ASSERT_EQ(fake::ExitWindowsCalls().size(), 1u);
  EXPECT_EQ(fake::ExitWindowsCalls()[0].flags, 4u);
}

}  // namespace
}  // namespace nox
