// The login through the service on the fake platform: the client runs as a
// standard account, which Windows' default protections would refuse every
// protected access, and the service as SYSTEM.
#include "service/session_service.h"

#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "common/catalogue.h"
#include "common/session_budget.h"
#include "explorer/login_test_support.h"
#include "platform/fake/fake_control.h"

namespace nox::service {
namespace {

using namespace testing_support;
namespace fake = platform::fake;

constexpr const char* kSid = "S-1-5-21-1-2-3-1001";
const Caller kPupil{kSid, "pupil", 3};

Snapshot Machine(platform::RegKey user_root, const std::string& user_path) {
  Snapshot snapshot;
  CollectRegistry(user_root, user_path, "USER", &snapshot);
  CollectRegistry(platform::kLocalMachine, "Software", "HKLM\\Software", &snapshot);
  for (const std::string& file : fake::AllFiles())
    snapshot["file " + file] = *fake::FileBytes(file);
  return snapshot;
}

// The service keeps the user's undo journal out of the pupil's reach, the
// direct login in the user's own hive: moved there, it must be the same.
void MoveServiceJournalIntoHive(Snapshot* snapshot) {
  const std::string service_journal = std::string("HKLM\\Software\\Quillon\\Nox\\Journal\\") + kSid;
  auto entries = snapshot->extract(service_journal + "|Entries");
  snapshot->erase(service_journal + "\\");
  if (entries.empty()) return;
  entries.key() = "USER\\Software\\Quillon\\Nox\\Journal|Entries";
  snapshot->insert(std::move(entries));
  for (const char* key : {"USER\\Software\\Quillon\\", "USER\\Software\\Quillon\\Nox\\",
                          "USER\\Software\\Quillon\\Nox\\Journal\\"}) {
    (*snapshot)[key] = "key";
  }
}

class ServiceLoginTest : public ::testing::Test {
 protected:
  void SetUp() override { ResetMachine(); }

  // Runs the login program as today: an administrator, no service.
  Snapshot DirectLogin(const std::string& logon_name) {
    fake::SetLogonUserName(logon_name);
    frmLogin form;
    EXPECT_TRUE(Ends([&] { form.Form_Load(""); }));
    starts_ = fake::ProgramStarts().size();
    return Machine(platform::kCurrentUser, "");
  }

  // Installs the service, loads the caller's hive and makes the caller a
  // standard account whose requests go to the service.
  void InstallService(const Caller& caller = kPupil) {
    platform::ScopedRegKey key;
    platform::RegCreateKey(platform::kLocalMachine, kServiceKey, key.receive());
    platform::RegCreateKey(platform::kUsers, caller.sid, key.receive());
    key.Reset();
    service_.Start();
    fake::SetService(
        [this, caller](std::string_view request) { return service_.Answer(caller, request); });
    fake::SetLogonUserName(caller.account_name);
    fake::SetCaller(fake::Caller::kStandardAccount);
  }

  Snapshot LoginThroughService() {
    frmLogin form;
    EXPECT_TRUE(Ends([&] { form.Form_Load(""); }));
    EXPECT_TRUE(fake::RefusedAccesses().empty()) << fake::RefusedAccesses().front();
    return Machine(platform::kUsers, kSid);
  }

  SessionService service_;
  size_t starts_ = 0;
};

// Every named level, through the service as a standard account, leaves the
// machine exactly as the direct login leaves it, with the user's values in
// HKEY_USERS\<SID>: registry, tables (the service re-protects them) and the
// programs started.
TEST_F(ServiceLoginTest, EveryLevelWritesWhatTheDirectLoginWrites) {
  for (const SecurityLevel& level : kSecurityLevels) {
    SCOPED_TRACE(level.name);
    const auto arrange = [&] {
      ResetMachine();
      PutUserTable({MakeUser("pupil", "pw", level.triple)});
      fake::PutFile(std::string(kSystemDir) + "Timedate.cpl", "panel");
    };
    arrange();
    const Snapshot direct = DirectLogin("pupil");
    const auto direct_starts = fake::ProgramStarts();

    arrange();
    InstallService();
    Snapshot through = LoginThroughService();
    MoveServiceJournalIntoHive(&through);
    through.erase("HKLM\\Software\\");  // the service's own key lives under SYSTEM, not here
    Snapshot expected = direct;
    expected.erase("HKLM\\Software\\");
    EXPECT_EQ(through, expected);
    ASSERT_EQ(fake::ProgramStarts().size(), direct_starts.size());
    for (size_t i = 0; i < direct_starts.size(); ++i) {
      EXPECT_EQ(fake::ProgramStarts()[i].command_line, direct_starts[i].command_line);
      EXPECT_EQ(fake::ProgramStarts()[i].state, direct_starts[i].state);
    }
    EXPECT_TRUE(fake::FileRestricted(kUserTablePath));
  }
}

TEST_F(ServiceLoginTest, TheClientAloneIsRefusedWhatTheServiceDoes) {
  PutUserTable({MakeUser("pupil", "pw", "65535,65535,65535")});
  InstallService();
  fake::SetService(nullptr);  // installed, but not answering
  frmLogin form;
  Ends([&] { form.Form_Load(""); });
  // The login fell back to doing it itself and met the protections.
  EXPECT_FALSE(fake::RefusedAccesses().empty());
  EXPECT_EQ(fake::ServiceConnectTimeouts(), std::vector<uint32_t>{kServiceConnectMs});
}

TEST_F(ServiceLoginTest, NoServiceInstalledMeansNoQuestionAsked) {
  PutUserTable({MakeUser("pupil", "pw")});
  DirectLogin("pupil");
  EXPECT_TRUE(fake::ServiceConnectTimeouts().empty());
}

// Without a logon name the login program would honour and clear the
// one-shot "Restart" flag in HKLM; with the service it leaves it alone and
// asks the service, needing no protected access.
TEST_F(ServiceLoginTest, NoLogonNameTouchesNothingProtected) {
  PutUserTable({MakeUser(".Default", "", "0,0,0")});
  platform::ScopedRegKey key;
  platform::RegCreateKey(platform::kLocalMachine, "SOFTWARE\\Quillon\\Explorer\\CurrentVersion",
                         key.receive());
  platform::RegSetValue(key.get(), "Restart", platform::kRegSz, std::string("1\0", 2));
  key.Reset();
  InstallService();
  fake::FailLogonUserName();
  frmLogin form;
  EXPECT_TRUE(Ends([&] { form.Form_Load(""); }));
  EXPECT_TRUE(ShellStarted());
  EXPECT_TRUE(fake::RefusedAccesses().empty()) << fake::RefusedAccesses().front();
}

TEST_F(ServiceLoginTest, WindowLoginThroughTheService) {
  PutUserTable({MakeUser("teacher", "chalk", "1,0,0")});
  InstallService();
  frmLogin form;
  EXPECT_FALSE(Ends([&] { form.Form_Load(""); }));
  EXPECT_TRUE(form.visible);
  EXPECT_TRUE(form.through_service);
  EXPECT_EQ(form.Text1[0].text, "pupil");

  struct Try {
    const char* name;
    const char* password;
    const char* message;
  } tries[] = {
      {"nobody", "x", "Sorry, your name does not verify. Please check it and try again."},
      {"TEACHER", "Chalk", "Sorry, your password does not verify. Please check it and try again."}};
  for (const Try& attempt : tries) {
    form.Text1[0].text = attempt.name;
    form.Text1[1].text = attempt.password;
    EXPECT_FALSE(Ends([&] { form.cmdOK_Click(); }));
    ASSERT_FALSE(fake::MessageBoxes().empty());
    EXPECT_EQ(fake::MessageBoxes().back().text, attempt.message);
  }
  form.Text1[0].text = "TEACHER";
  form.Text1[1].text = "chalk";
  EXPECT_TRUE(Ends([&] { form.cmdOK_Click(); }));
  EXPECT_TRUE(ShellStarted());
  EXPECT_EQ(fake::FileBytes(std::string(kSystemDir) + "user.cur"), "TEACHER\r\n\r\n");
  EXPECT_TRUE(fake::FileRestricted(std::string(kSystemDir) + "user.cur"));
  EXPECT_EQ(RegText(platform::kLocalMachine, kNetsieveKey, "User"), "1");
  EXPECT_TRUE(fake::RefusedAccesses().empty());
}

TEST_F(ServiceLoginTest, ExpiredBudgetShowsTheMessageAndEndsTheSession) {
  fake::SetLocalTime({2026, 12, 7, 9, 0, 0, 0});
  PutUserTable({MakeBudgetUser("pupil", 30, 30, {2026, 12, 7, 8, 0, 0, 0})});
  InstallService();
  frmLogin form;
  EXPECT_TRUE(Ends([&] { form.Form_Load(""); }));
  ASSERT_EQ(fake::MessageBoxes().size(), 1u);
  EXPECT_EQ(fake::MessageBoxes()[0].text, kExpiredMessage);
  EXPECT_EQ(fake::MessageBoxes()[0].title, "Nox Message");
  ASSERT_EQ(fake::ExitWindowsCalls().size(), 1u);
  EXPECT_EQ(fake::ExitWindowsCalls()[0].flags, 4u);
  EXPECT_FALSE(ShellStarted());
  // A client killed before its own log-off cannot keep the session: the
  // service ends it a minute later.
  EXPECT_TRUE(fake::SessionLogOffs().empty());
  fake::AdvanceMinutes(1);
  service_.Tick();
  EXPECT_EQ(fake::SessionLogOffs(), std::vector<uint32_t>{kPupil.session_id});
}

TEST_F(ServiceLoginTest, TheServiceCountsTheMinutesAndLogsOffAtNone) {
  fake::SetLocalTime({2026, 12, 7, 9, 0, 0, 0});
  PutUserTable({MakeBudgetUser("pupil", 3, 1, {2026, 12, 7, 8, 0, 0, 0})});
  InstallService();
  frmLogin form;
  EXPECT_TRUE(Ends([&] { form.Form_Load(""); }));
  auto minutes = [](const Caller& caller, SessionService& service) {
    return service.Answer(caller, EncodeServiceRequest({ServiceRequestKind::kMinutes, "", ""}));
  };
  EXPECT_EQ(minutes(kPupil, service_), "NoxService 1\nresult minutes 2\n");
  // Another account in the same session number learns nothing.
  EXPECT_EQ(minutes({"S-1-5-21-9", "other", 3}, service_), "NoxService 1\nresult minutes none\n");
  fake::SetCaller(fake::Caller::kSystem);
  fake::AdvanceMinutes(1);
  service_.Tick();
  EXPECT_EQ(minutes(kPupil, service_), "NoxService 1\nresult minutes 1\n");
  EXPECT_EQ(StoredUser(1).used_minutes, 2);
  EXPECT_TRUE(fake::SessionLogOffs().empty());
  fake::AdvanceMinutes(1);
  service_.Tick();
  EXPECT_EQ(fake::SessionLogOffs(), std::vector<uint32_t>{kPupil.session_id});
  EXPECT_EQ(minutes(kPupil, service_), "NoxService 1\nresult minutes none\n");
}

// A missing, empty or damaged table answers as the login program reads
// it: nobody is found, the window is offered, the service stays up.
TEST_F(ServiceLoginTest, DamagedTablesAnswerAsTheLoginReadsThem) {
  const std::string one_user = TableBytes({MakeUser("pupil", "", "0,0,0")});
  const struct {
    const char* what;
    std::optional<std::string> table;
    const char* result;
  } cases[] = {
      {"missing", std::nullopt, "result window pupil"},
      {"empty", "", "result window pupil"},
      {"cut short in the name", one_user.substr(0, 3), "result window pupil"},
      {"cut short after the name", one_user.substr(0, 100), "result accepted pupil"},
      {"a record and a half", one_user + one_user.substr(0, 50), "result accepted pupil"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ResetMachine();
    if (c.table) fake::PutFile(kUserTablePath, *c.table);
    InstallService();
    fake::SetCaller(fake::Caller::kSystem);
    const std::string answer =
        service_.Answer(kPupil, EncodeServiceRequest({ServiceRequestKind::kLoginAuto, "", ""}));
    EXPECT_NE(answer.find(c.result), std::string::npos) << answer;
  }
}

TEST_F(ServiceLoginTest, RefusedRequestsChangeNothing) {
  PutUserTable({MakeUser("pupil", "")});
  InstallService();
  fake::SetCaller(fake::Caller::kSystem);
  const Snapshot before = Machine(platform::kUsers, kSid);
  const struct {
    Caller caller;
    std::string request;
    std::string answer;
  } cases[] = {
      {kPupil, "", "NoxService 1\nresult refused not a request of this service\n"},
      {kPupil, "NoxService 1\nlogin auto\nHKLM\\Software\n",
       "NoxService 1\nresult refused not a request of this service\n"},
      {{"", "pupil", 3},
       "NoxService 1\nlogin auto\n",
       "NoxService 1\nresult refused the caller is unknown\n"},
      {{"S-1-5-21-404", "pupil", 3},
       "NoxService 1\nlogin auto\n",
       "NoxService 1\nresult refused the caller's profile is not loaded\n"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(service_.Answer(c.caller, c.request), c.answer);
  }
  EXPECT_EQ(Machine(platform::kUsers, kSid), before);
}

}  // namespace
}  // namespace nox::service
