// "noxadmin serve" over real HTTP on 127.0.0.1: who is let in, and that the
// page's changes are the command line's changes.
#include "noxadmin/serve/server.h"

#include <httplib.h>

#include <thread>

#include "noxadmin/test_support.h"

namespace nox::admin {
namespace {

using testing_support::ReadBytes;
using testing_support::RunIn;
using testing_support::TempFolder;
using testing_support::TestNow;

// A server on a free port over the test's folder, stopped at the end.
class Served {
 public:
  explicit Served(const TempFolder& folder)
      : server_(ServeTarget{folder.str(), std::nullopt}, TestNow) {
    server_.Bind(0);
    const std::string url = server_.Url();
    base_ = url.substr(url.find('/', 7));  // "/TOKEN/"
    client_ = std::make_unique<httplib::Client>("127.0.0.1", server_.port());
    client_->set_keep_alive(true);
    thread_ = std::thread([this] { server_.Run(); });
    while (!client_->Get(base_ + "api/check")) std::this_thread::yield();
  }
  ~Served() {
    server_.Stop();
    thread_.join();
  }

  httplib::Client& client() { return *client_; }
  const std::string& base() const { return base_; }
  int port() const { return server_.port(); }
  AdminServer& server() { return server_; }

  httplib::Result Post(const std::string& route, const httplib::Params& params) {
    return client_->Post(base_ + route, params);
  }

 private:
  AdminServer server_;
  std::string base_;
  std::unique_ptr<httplib::Client> client_;
  std::thread thread_;
};

TEST(AdminServer, LetsInOnlyRequestsWithTheTokenAndALocalHost) {
  TempFolder folder;
  Served served(folder);
  const std::string port = std::to_string(served.port());
  struct Case {
    std::string path;
    std::string host;  // empty: the client's own "127.0.0.1:PORT"
    int status;
  };
  const std::string token_path = served.base();
  const std::vector<Case> cases = {
      {token_path + "api/state", "", 200},
      {token_path + "api/state", "localhost:" + port, 200},
      {"/api/state", "", 403},
      {"/", "", 403},
      {"/0123456789abcdef0123456789abcdef/api/state", "", 403},
      {token_path.substr(0, token_path.size() - 2) + "/api/state", "", 403},
      {"/api/state?token=" + token_path.substr(1, 32), "", 403},
      {token_path + "api/state", "evil.example:" + port, 403},
      {token_path + "api/state", "127.0.0.1:" + port + ".evil.example", 403},
      {token_path + "api/state", "127.0.0.1", 403},
      {token_path + "api/state", "localhost:1" + port, 403},
      {token_path + "api/nothing", "", 404},
      {token_path + "no-such-file.js", "", 404},
      {token_path.substr(0, token_path.size() - 1), "", 303},
  };
  for (const Case& c : cases) {
    httplib::Headers headers;
    if (!c.host.empty()) headers.emplace("Host", c.host);
    const httplib::Result result = served.client().Get(c.path, headers);
    ASSERT_TRUE(result) << c.path;
    EXPECT_EQ(result->status, c.status) << c.path << " Host " << c.host;
    const std::string policy = result->get_header_value("Content-Security-Policy");
    EXPECT_NE(policy.find("script-src 'self'"), std::string::npos) << c.path;
    EXPECT_EQ(policy.find("unsafe"), std::string::npos);
  }
  // A change posted by another site's page is refused by its Origin.
  httplib::Headers foreign = {{"Origin", "http://evil.example"}};
  const auto result =
      served.client().Post(token_path + "api/user/add", foreign, httplib::Params{{"name", "x"}});
  ASSERT_TRUE(result);
  EXPECT_EQ(result->status, 403);
  EXPECT_FALSE(std::filesystem::exists(folder / "USER.TBL"));
}

// Each change through the page gives what the same command line gives: the
// same message, the same tables, or the same refusal beside the same field
// with nothing written.
TEST(AdminServer, ChangesAndRefusalsAreTheCommandLines) {
  struct Case {
    std::string route;
    httplib::Params params;
    std::vector<std::string> command;
    int status;
    std::string field;  // of a refusal
  };
  const std::vector<Case> cases = {
      {"api/user/add",
       {{"name", "ann"}, {"level", "Education High"}, {"minutes", "30"}},
       {"user", "add", "ann", "--level", "Education High", "--minutes", "30"},
       200,
       ""},
      {"api/user/add",
       {{"name", "bob"}, {"minutes", "abc"}},
       {"user", "add", "bob", "--minutes", "abc"},
       422,
       "minutes"},
      {"api/user/add",
       {{"name",
         "x\xC3\xA9"
         "\xE2\x9C\x93"}},
       {"user", "add",
        "x\xC3\xA9"
        "\xE2\x9C\x93"},
       422,
       "name"},
      {"api/user/add",
       {{"name", "cy"}, {"network", "7"}},
       {"user", "add", "cy", "--network", "7"},
       422,
       "network"},
      {"api/user/add",
       {{"name", "dee"}, {"drives", "C=25:00-26:00"}},
       {"user", "add", "dee", "--drives", "C=25:00-26:00"},
       422,
       "drives"},
      {"api/user/add", {{"name", "old"}}, {"user", "add", "old"}, 422, "name"},
      {"api/user/rename",
       {{"name", "old"}, {"new", "young"}},
       {"user", "rename", "old", "young"},
       200,
       ""},
      {"api/user/move",
       {{"name", "young"}, {"position", "9"}},
       {"user", "move", "young", "9"},
       422,
       "position"},
      {"api/user/grant",
       {{"name", "young"}, {"minutes", "5"}},
       {"user", "grant", "young", "5"},
       422,
       ""},
      {"api/user/remove", {{"name", "nobody"}}, {"user", "remove", "nobody"}, 404, ""},
      {"api/settings",
       {{"lab-budget", "maybe"}},
       {"settings", "set", "--lab-budget", "maybe"},
       422,
       "lab-budget"},
      {"api/settings",
       {{"master-folder", "C:\\NOX"}},
       {"settings", "set", "--master-folder", "C:\\NOX"},
       200,
       ""},
  };
  TempFolder page_folder;
  TempFolder cli_folder;
  // "old" exists in both before the cases run.
  ASSERT_EQ(RunIn(page_folder, {"user", "add", "old"}).code, 0);
  ASSERT_EQ(RunIn(cli_folder, {"user", "add", "old"}).code, 0);
  Served served(page_folder);
  for (const Case& c : cases) {
    const std::string before = ReadBytes(page_folder / "USER.TBL");
    const httplib::Result result = served.Post(c.route, c.params);
    ASSERT_TRUE(result) << c.route;
    const testing_support::RunResult cli = RunIn(cli_folder, c.command);
    EXPECT_EQ(result->status, c.status) << c.route << ": " << result->body;
    EXPECT_EQ(cli.code, c.status == 200 ? 0 : 1) << cli.err;
    const std::string expected_text =
        c.status == 200 ? cli.out : cli.err.substr(10);  // "noxadmin: "
    const std::string json_text = c.status == 200 ? "\"message\":\"" : "\"error\":\"";
    std::string quoted = expected_text.substr(0, expected_text.find('\n'));
    for (size_t at = 0; (at = quoted.find('"', at)) != std::string::npos; at += 2)
      quoted.insert(at, "\\");
    EXPECT_NE(result->body.find(json_text + quoted), std::string::npos)
        << result->body << " vs " << quoted;
    if (c.status != 200) {
      EXPECT_EQ(ReadBytes(page_folder / "USER.TBL"), before) << c.route;
      EXPECT_NE(
          result->body.find(c.field.empty() ? "\"field\":null" : "\"field\":\"" + c.field + "\""),
          std::string::npos)
          << result->body;
    }
    EXPECT_EQ(ReadBytes(page_folder / "USER.TBL"), ReadBytes(cli_folder / "USER.TBL")) << c.route;
  }
  EXPECT_EQ(ReadBytes(page_folder / "NoxSettings.TBL"), ReadBytes(cli_folder / "NoxSettings.TBL"));
}

// A user changed elsewhere after the page loaded it: the page's other
// fields merge, its stale value of a changed field is refused.
TEST(AdminServer, EditsOfAUserChangedElsewhereMergeOrAreRefused) {
  TempFolder folder;
  ASSERT_EQ(RunIn(folder, {"user", "add", "ann", "--minutes", "30"}).code, 0);
  Served served(folder);
  ASSERT_EQ(RunIn(folder, {"user", "set", "ann", "--minutes", "50"}).code, 0);  // another noxadmin

  const auto stale =
      served.Post("api/user/set", {{"name", "ann"}, {"minutes", "40"}, {"was.minutes", "30"}});
  ASSERT_TRUE(stale);
  EXPECT_EQ(stale->status, 409);
  EXPECT_NE(stale->body.find("\"field\":\"minutes\""), std::string::npos);

  const auto merged =
      served.Post("api/user/set", {{"name", "ann"}, {"network", "2"}, {"was.network", "0"}});
  ASSERT_TRUE(merged);
  EXPECT_EQ(merged->status, 200) << merged->body;
  const std::string shown = RunIn(folder, {"user", "show", "ann"}).out;
  EXPECT_NE(shown.find("minutes       50 per day"), std::string::npos) << shown;
  EXPECT_NE(shown.find("network       2"), std::string::npos) << shown;

  ASSERT_EQ(RunIn(folder, {"user", "rename", "ann", "eve"}).code, 0);
  const auto gone =
      served.Post("api/user/set", {{"name", "ann"}, {"network", "3"}, {"was.network", "2"}});
  ASSERT_TRUE(gone);
  EXPECT_EQ(gone->status, 409);
  // A change without the value it replaces cannot be checked: refused.
  const auto unchecked = served.Post("api/user/set", {{"name", "eve"}, {"network", "3"}});
  ASSERT_TRUE(unchecked);
  EXPECT_EQ(unchecked->status, 400);
}

// The page learns whether a password is set, never the stored field, and
// sets a new one without knowing the old.
TEST(AdminServer, ThePageNeverSeesAStoredPassword) {
  TempFolder folder;
  ASSERT_EQ(RunIn(folder, {"user", "add", "ann", "--password", "old"}).code, 0);
  Served served(folder);
  const auto before = served.client().Get(served.base() + "api/user?name=ann");
  ASSERT_TRUE(before);
  EXPECT_NE(before->body.find("\"password\":\"set\""), std::string::npos) << before->body;
  EXPECT_NE(before->body.find("\"password\":\"\""), std::string::npos) << before->body;
  EXPECT_EQ(before->body.find("$N1$"), std::string::npos) << before->body;

  const auto set = served.Post("api/user/set", {{"name", "ann"}, {"password", "new"}});
  ASSERT_TRUE(set);
  EXPECT_EQ(set->status, 200) << set->body;
  const std::string table = ReadBytes(folder / "USER.TBL");
  EXPECT_EQ(MatchPassword(table.substr(40, 40), "new"), PasswordMatch::kMatch);
}

// Two browsers editing two users at once: neither loses the other's edits.
TEST(AdminServer, EditsOfTwoBrowsersAtOnceAreAllKept) {
  TempFolder folder;
  ASSERT_EQ(RunIn(folder, {"user", "add", "ann", "--minutes", "0"}).code, 0);
  ASSERT_EQ(RunIn(folder, {"user", "add", "bob", "--minutes", "0"}).code, 0);
  Served served(folder);
  const auto edit = [&](const std::string& name) {
    httplib::Client browser("127.0.0.1", served.port());
    for (int minutes = 1; minutes <= 15; ++minutes) {
      const auto result =
          browser.Post(served.base() + "api/user/set",
                       httplib::Params{{"name", name},
                                       {"minutes", std::to_string(minutes)},
                                       {"was.minutes", std::to_string(minutes - 1)}});
      EXPECT_TRUE(result && result->status == 200) << name << " " << minutes;
    }
  };
  std::thread first(edit, "ann");
  std::thread second(edit, "bob");
  first.join();
  second.join();
  const std::string csv = RunIn(folder, {"export"}).out;
  EXPECT_NE(csv.find("\r\nann,,None,15,"), std::string::npos) << csv;
  EXPECT_NE(csv.find("\r\nbob,,None,15,"), std::string::npos) << csv;
}

TEST(AdminServer, ImportIsAllOrNothingAndExportIsTheCommandLines) {
  TempFolder folder;
  ASSERT_EQ(RunIn(folder, {"user", "add", "ann"}).code, 0);
  Served served(folder);
  const std::string before = ReadBytes(folder / "USER.TBL");
  const auto bad = served.client().Post(
      served.base() + "api/import", "name,minutes\r\nbo,5\r\ncy,abc\r\n\r\ndi,x\r\n", "text/csv");
  ASSERT_TRUE(bad);
  EXPECT_EQ(bad->status, 422);
  EXPECT_NE(bad->body.find("\"error\":\"2 rows refused; nothing was imported\""), std::string::npos)
      << bad->body;
  EXPECT_NE(bad->body.find("{\"line\":3,\"error\":\"minutes: "), std::string::npos) << bad->body;
  EXPECT_NE(bad->body.find("{\"line\":5,"), std::string::npos) << bad->body;
  EXPECT_EQ(ReadBytes(folder / "USER.TBL"), before);

  const auto good =
      served.client().Post(served.base() + "api/import", "name,minutes\nbo,5\n", "text/csv");
  ASSERT_TRUE(good);
  EXPECT_EQ(good->status, 200) << good->body;
  const auto exported = served.client().Get(served.base() + "api/export");
  ASSERT_TRUE(exported);
  EXPECT_EQ(exported->body, RunIn(folder, {"export"}).out);
  EXPECT_EQ(exported->get_header_value("Content-Disposition"),
            "attachment; filename=\"users.csv\"");

  const auto reg = served.client().Get(served.base() + "api/plan?name=bo&format=reg&at=10:00");
  ASSERT_TRUE(reg);
  EXPECT_EQ(reg->body, RunIn(folder, {"plan", "bo", "--format", "reg", "--at", "10:00"}).out);
  EXPECT_EQ(reg->get_header_value("Content-Disposition"), "attachment; filename=\"bo.reg\"");
}

TEST(AdminServer, NamesReachThePageAsTextOnly) {
  TempFolder folder;
  ASSERT_EQ(RunIn(folder, {"user", "add", "<b>\"x\"&"}).code, 0);
  Served served(folder);
  const auto state = served.client().Get(served.base() + "api/state");
  ASSERT_TRUE(state);
  EXPECT_NE(state->body.find("\"name\":\"\\u003cb\\u003e\\\"x\\\"\\u0026\""), std::string::npos);
  EXPECT_EQ(state->get_header_value("Content-Type"), "application/json; charset=utf-8");
}

TEST(AdminServer, ServeRefusesAMissingFolderAndABusyPort) {
  TempFolder folder;
  const testing_support::RunResult missing =
      RunIn(folder, {"--dir", (folder / "missing").string(), "serve", "--port", "0"});
  EXPECT_EQ(missing.code, 1);
  EXPECT_NE(missing.err.find("no folder"), std::string::npos) << missing.err;

  Served served(folder);
  const std::string port = std::to_string(served.port());
  const testing_support::RunResult busy = RunIn(folder, {"serve", "--port", port});
  EXPECT_EQ(busy.code, 1);
  EXPECT_NE(busy.err.find("127.0.0.1:" + port), std::string::npos) << busy.err;
  EXPECT_EQ(RunIn(folder, {"serve", "--port", "65536"}).code, 2);
}

}  // namespace
}  // namespace nox::admin
