#include "common/service_protocol.h"

#include <gtest/gtest.h>

#include "platform/fake/fake_control.h"

namespace nox {
namespace {

TEST(ServiceProtocol, RequestsAreExactBytesAndReadBack) {
  const std::string control_bytes("a\\b\rc\nd\0e", 9);
  struct Case {
    ServiceRequest request;
    std::string bytes;
  } cases[] = {
      {{ServiceRequestKind::kLoginAuto, "", ""}, "NoxService 1\nlogin auto\n"},
      {{ServiceRequestKind::kMinutes, "", ""}, "NoxService 1\nminutes\n"},
      {{ServiceRequestKind::kLoginWindow, "Pupil 1", " pw "},
       "NoxService 1\nlogin window\nPupil 1\n pw \n"},
      {{ServiceRequestKind::kLoginWindow, "", control_bytes},
       "NoxService 1\nlogin window\n\na\\\\b\\rc\\nd\\0e\n"},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(EncodeServiceRequest(cases[i].request), cases[i].bytes);
    const auto parsed = ParseServiceRequest(cases[i].bytes);
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->kind, cases[i].request.kind);
    EXPECT_EQ(parsed->name, cases[i].request.name);
    EXPECT_EQ(parsed->password, cases[i].request.password);
  }
}

TEST(ServiceProtocol, MalformedRequestsAreRefused) {
  const char* bad[] = {
      "",
      "NoxService 1\n",
      "NoxService 2\nlogin auto\n",
      "noxservice 1\nlogin auto\n",
      "NoxService 1\nlogin auto",
      "NoxService 1\nlogin auto\n\n",
      "NoxService 1\nLOGIN AUTO\n",
      "NoxService 1\nlogin auto\nextra\n",
      "NoxService 1\nlogin window\nname\n",
      "NoxService 1\nlogin window\nname\npw\nmore\n",
      "NoxService 1\nlogin window\nbad\\x\npw\n",
      "NoxService 1\nlogin window\ntrailing\\\npw\n",
      "NoxService 1\nminutes 5\n",
      "NoxService 1\r\nlogin auto\r\n",
      "NoxService 1\nlogin window\nname\rx\npw\n",
  };
  for (const char* bytes : bad) {
    EXPECT_FALSE(ParseServiceRequest(bytes)) << bytes;
  }
  // A raw NUL would be a second spelling of "\0".
  using std::string_view_literals::operator""sv;
  EXPECT_FALSE(ParseServiceRequest("NoxService 1\nlogin window\nna\0me\npw\n"sv));
  EXPECT_TRUE(ParseServiceRequest("NoxService 1\nlogin window\nna\\0me\npw\n"sv));
}

TEST(ServiceProtocol, AnswersCarryMessagesProgramsAndOneResult) {
  ServiceAnswer answer;
  answer.messages.push_back({16, "Your allocated session minutes have expired.\r\nBye"});
  answer.programs.emplace_back(platform::WindowState::kMaximizedFocus,
                               "\"C:\\Program Files\\x.exe\"");
  answer.result = "accepted";
  answer.detail = "pupil one";
  const std::string bytes =
      "NoxService 1\n"
      "message 16 Your allocated session minutes have expired.\\r\\nBye\n"
      "start 3 \"C:\\\\Program Files\\\\x.exe\"\n"
      "result accepted pupil one\n";
  EXPECT_EQ(EncodeServiceAnswer(answer), bytes);
  const auto parsed = ParseServiceAnswer(bytes);
  ASSERT_TRUE(parsed);
  EXPECT_EQ(parsed->messages[0].text, answer.messages[0].text);
  EXPECT_EQ(parsed->messages[0].flags, 16u);
  EXPECT_EQ(parsed->programs, answer.programs);
  EXPECT_EQ(parsed->result, "accepted");
  EXPECT_EQ(parsed->detail, "pupil one");

  EXPECT_EQ(EncodeServiceAnswer({{}, {}, "minutes", "none"}),
            "NoxService 1\nresult minutes none\n");
  for (const char* bad :
       {"NoxService 1\n", "NoxService 1\nresult\n", "NoxService 1\nresult x\nresult y\n",
        "NoxService 1\nresult x\nmessage 0 late\n", "NoxService 1\nstart 9 x\nresult x\n",
        "NoxService 1\nmessage -1 x\nresult x\n", "NoxService 1\nbeep 1 x\nresult x\n"}) {
    EXPECT_FALSE(ParseServiceAnswer(bad)) << bad;
  }
}

TEST(ServiceProtocol, InstalledWhenItsServiceKeyExists) {
  platform::fake::Reset();
  EXPECT_FALSE(ServiceInstalled());
  platform::ScopedRegKey key;
  platform::RegCreateKey(platform::kLocalMachine, kServiceKey, key.receive());
  EXPECT_TRUE(ServiceInstalled());
}

}  // namespace
}  // namespace nox
