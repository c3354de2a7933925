// password_verify, the two buttons and the completion of a login.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "explorer/frm_login.h"
#include "explorer/login_test_support.h"
#include "platform/fake/fake_control.h"

namespace nox {
namespace {

using namespace testing_support;
namespace fake = platform::fake;

class CredentialsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetMachine();
    form_.system_directory = kSystemDir;
    form_.visible = true;
  }
  frmLogin form_;
};

TEST_F(CredentialsTest, PasswordVerifyFindsTheFirstRecordWhosePasswordMatches) {
  // erin's field is the one-way form of "Teacher 1"; fay's is damaged.
  const std::string erin = "$N1$008000$FS/cFuqVM8Tg$TNuZ7rAaFNVTjRo5";
  const std::string fay = "$N1$999999$FS/cFuqVM8Tg$TNuZ7rAaFNVTjRo5";
  PutUserTable({MakeUser("alice", "one"), MakeUser("ALICE", "Two"), MakeUser("bob", ""),
                MakeUser("Alice", "three"), MakeUser("  carol  ", "  pw  "), MakeUser("erin", erin),
                MakeUser("fay", fay)});
  struct Case {
    const char* name;
    const char* password;
    const char* result;
    const char* record;  // current record number afterwards ("" unchanged)
  } cases[] = {
      {"alice", "one", "Correct_password", "1"},
      {"aLiCe", "Two", "Correct_password", "2"},
      {"alice", "three", "Correct_password", "4"},
      {"alice", "two", "password", ""},
      {"alice", "one ", "password", ""},
      {"alice ", "one", "name", ""},
      {" alice", "one", "name", ""},
      {"bob", "", "Correct_password", "3"},
      {"bob", " ", "password", ""},
      {"carol", "pw", "Correct_password", "5"},
      {"Erin", "Teacher 1", "Correct_password", "6"},
      {"erin", "teacher 1", "password", ""},
      {"erin", erin.c_str(), "password", ""},
      {"fay", fay.c_str(), "password", ""},
      {"dave", "", "name", ""},
      {"", "", "name", ""},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(testing::Message()
                 << "case " << i << ": " << cases[i].name << "/" << cases[i].password);
    form_.current_record_number.clear();
    EXPECT_EQ(form_.password_verify(cases[i].name, cases[i].password), cases[i].result);
    EXPECT_EQ(form_.current_record_number, cases[i].record);
    if (*cases[i].record != '\0') {
      EXPECT_EQ(form_.current_user.TrimmedName(),
                StoredUser(std::stoi(cases[i].record)).TrimmedName());
    }
  }
}

TEST_F(CredentialsTest, PasswordVerifyStopsAtTheEofRecord) {
  PutUserTable({MakeUser("alice", "one"), MakeUser("EOF", ""), MakeUser("bob", "b")});
  EXPECT_EQ(form_.password_verify("bob", "b"), "name");
}

TEST_F(CredentialsTest, WithoutUserTableEveryNameIsUnknown) {
  EXPECT_EQ(form_.password_verify(".Default", ""), "name");
  EXPECT_EQ(form_.password_verify("alice", "x"), "name");
}

TEST_F(CredentialsTest, OkWithEmptyNameLogsInTheDefaultAccount) {
  PutUserTable({MakeUser("alice", "a"), MakeUser(".Default", "")});
  Ends([&] { form_.cmdOK_Click(); });
  EXPECT_FALSE(form_.visible);
  EXPECT_EQ(fake::FileBytes(std::string(kSystemDir) + "user.cur"), ".Default\r\n\r\n");
  EXPECT_EQ(RegText(platform::kLocalMachine, kNetsieveKey, "User"), "2");
  EXPECT_FALSE(RegText(platform::kLocalMachine, kNetsieveKey, "UserName"));
  EXPECT_TRUE(ShellStarted());
}

TEST_F(CredentialsTest, OkKeepsTheUserNameOfTheLastAutomaticLogin) {
  PutUserTable({MakeUser("alice", "a")});
  nox::RegWrite("Local_Machine,Software\\Quillon\\Netsieve\\CurrentVersion\\,UserName", "earlier",
                platform::kRegSz);
  form_.Text1[0].text = "Alice";
  form_.Text1[1].text = "a";
  Ends([&] { form_.cmdOK_Click(); });
  EXPECT_EQ(fake::FileBytes(std::string(kSystemDir) + "user.cur"), "Alice\r\n\r\n");
  EXPECT_EQ(RegText(platform::kLocalMachine, kNetsieveKey, "UserName"), "earlier");
}

TEST_F(CredentialsTest, OkWithEmptyNameAndNoDefaultNamesTheWordName) {
  PutUserTable({MakeUser("alice", "a")});
  form_.Text1[1].text = "typed";
  EXPECT_FALSE(Ends([&] { form_.cmdOK_Click(); }));
  ASSERT_EQ(fake::MessageBoxes().size(), 1u);
  EXPECT_EQ(fake::MessageBoxes()[0].text,
            "Sorry, your name does not verify. Please check it and try again.");
  EXPECT_EQ(fake::MessageBoxes()[0].title, "Nox Message");
  EXPECT_EQ(fake::MessageBoxes()[0].flags, platform::kMbOk);
  EXPECT_EQ(form_.Text1[0].text, ".Default");
  EXPECT_EQ(form_.Text1[1].text, "typed");
  EXPECT_TRUE(form_.visible);
  EXPECT_FALSE(fake::FileExists(std::string(kSystemDir) + "user.cur"));
  EXPECT_FALSE(fake::RegGetValue(platform::kLocalMachine, kNetsieveKey, "User"));
}

TEST_F(CredentialsTest, WrongPasswordNamesTheWordPasswordAndCanBeRetried) {
  PutUserTable({MakeUser("alice", "Secret")});
  form_.Text1[0].text = "alice";
  form_.Text1[1].text = "secret";
  for (int attempt = 0; attempt < 3; ++attempt) form_.cmdOK_Click();
  ASSERT_EQ(fake::MessageBoxes().size(), 3u);
  EXPECT_EQ(fake::MessageBoxes()[2].text,
            "Sorry, your password does not verify. Please check it and try again.");
  form_.Text1[1].text = "Secret";
  Ends([&] { form_.cmdOK_Click(); });
  EXPECT_TRUE(ShellStarted());
}

TEST_F(CredentialsTest, SameNameWrongPasswordFirstThenTheRightOneLater) {
  PutUserTable({MakeUser("alice", "one"), MakeUser("bob", "b"), MakeUser("alice", "two")});
  form_.Text1[0].text = "alice";
  form_.Text1[1].text = "two";
  Ends([&] { form_.cmdOK_Click(); });
  EXPECT_EQ(RegText(platform::kLocalMachine, kNetsieveKey, "User"), "3");
}

TEST_F(CredentialsTest, OkDoesNotCheckTheMinuteBudget) {
  fake::SetLocalTime(At(2024, 3, 1, 12));
  UserRecord spent = MakeBudgetUser("kid", 60, 60, At(2024, 3, 1, 8));
  SetFieldText(spent.password, "k");
  PutUserTable({spent});
  form_.Text1[0].text = "kid";
  form_.Text1[1].text = "k";
  Ends([&] { form_.cmdOK_Click(); });
  EXPECT_TRUE(fake::ExitWindowsCalls().empty());
  EXPECT_TRUE(fake::MessageBoxes().empty());
  EXPECT_TRUE(ShellStarted());
}

TEST_F(CredentialsTest, OkWhenUserCurCannotBeWrittenReportsItAndWaits) {
  PutUserTable({MakeUser("alice", "a")});
  fake::MakeDirectories(std::string(kSystemDir) + "user.cur");
  form_.Text1[0].text = "alice";
  form_.Text1[1].text = "a";
  EXPECT_FALSE(Ends([&] { form_.cmdOK_Click(); }));
  ASSERT_EQ(fake::MessageBoxes().size(), 1u);
  EXPECT_EQ(fake::MessageBoxes()[0].title, "Nox Message");
  EXPECT_EQ(fake::MessageBoxes()[0].flags, platform::kMbOk | platform::kMbIconStop);
  EXPECT_EQ(fake::MessageBoxes()[0].text.substr(0, 4), "70: ");
  EXPECT_TRUE(form_.visible);
  EXPECT_FALSE(fake::RegGetValue(platform::kLocalMachine, kNetsieveKey, "User"));
  EXPECT_TRUE(fake::ProgramStarts().empty());
}

TEST_F(CredentialsTest, FailureOfTheRestrictionsIsShownWithNumberAndText) {
  // Both the Date/Time panel and its hidden name exist: on Windows 98 (NT
  // passes it over) hiding the panel fails.
  fake::SetOsVersion({platform::kPlatformWindows, 4, 10, 1998});
  fake::PutFile(std::string(kSystemDir) + "Timedate.cpl", "panel");
  fake::PutFile(std::string(kSystemDir) + "123456789.123", "hidden");
  PutUserTable({MakeUser("alice", "a", "16384,0,0")});
  form_.Text1[0].text = "alice";
  form_.Text1[1].text = "a";
  EXPECT_FALSE(Ends([&] { form_.cmdOK_Click(); }));
  ASSERT_EQ(fake::MessageBoxes().size(), 1u);
  EXPECT_EQ(fake::MessageBoxes()[0].title, "Nox Message");
  EXPECT_EQ(fake::MessageBoxes()[0].text, "58: File already exists");
  EXPECT_TRUE(form_.visible);
  EXPECT_FALSE(ShellStarted());
}

TEST_F(CredentialsTest, CancelLogsOffWithoutWritingAnything) {
  PutUserTable({MakeUser("alice", "a")});
  const auto files_before = fake::AllFiles();
  EXPECT_TRUE(Ends([&] { form_.cmdCancel_Click(); }));
  ASSERT_EQ(fake::ExitWindowsCalls().size(), 1u);
  EXPECT_EQ(fake::ExitWindowsCalls()[0].flags, 0u);
  EXPECT_EQ(fake::ExitWindowsCalls()[0].reserved, 6u);
  EXPECT_EQ(fake::AllFiles(), files_before);
  EXPECT_FALSE(fake::RegKeyExists(platform::kLocalMachine, "Software\\Quillon"));
}

TEST_F(CredentialsTest, CancelEndsEvenWhenTheLogOffIsRefused) {
  fake::SetExitWindowsResult(false);
  EXPECT_TRUE(Ends([&] { form_.cmdCancel_Click(); }));
}

}  // namespace
}  // namespace nox
