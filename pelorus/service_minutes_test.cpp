// pelorus.exe's side of the minutes when the service keeps them.
#include "pelorus/service_minutes.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/service_protocol.h"
#include "explorer/session_budget.h"
#include "platform/fake/fake_control.h"

namespace nox {
namespace {

namespace fake = platform::fake;

class ServiceMinutesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fake::Reset();
    platform::ScopedRegKey key;
    platform::RegCreateKey(platform::kLocalMachine, kServiceKey, key.receive());
    fake::SetService([this](std::string_view request) {
      requests_.emplace_back(request);
      return answers_.empty() ? std::string() : answers_[requests_.size() - 1];
    });
  }

  std::vector<std::string> answers_;
  std::vector<std::string> requests_;
  std::vector<std::string> notices_;
  ServiceMinutes watcher_{[this](const std::string& text) { notices_.push_back(text); }};
};

std::string Minutes(const char* detail) {
  return std::string("NoxService 1\nresult minutes ") + detail + "\n";
}

TEST_F(ServiceMinutesTest, NoticesAtFiveAndOneOnceEachAndTheMessageAtNone) {
  answers_ = {Minutes("6"), Minutes("5"), Minutes("5"), Minutes("2"), Minutes("1"), Minutes("0")};
  ASSERT_EQ(watcher_.Start(), ServiceMinutes::Watch::kMinutes);
  for (int i = 0; i < 4; ++i) EXPECT_TRUE(watcher_.Poll());
  EXPECT_EQ(notices_, (std::vector<std::string>{"5 minutes left today", "1 minute left today"}));
  EXPECT_TRUE(fake::MessageBoxes().empty());
  EXPECT_FALSE(watcher_.Poll());
  ASSERT_EQ(fake::MessageBoxes().size(), 1u);
  EXPECT_EQ(fake::MessageBoxes()[0].text, kExpiredMessage);
  EXPECT_EQ(requests_.front(), "NoxService 1\nminutes\n");
  // pelorus never logs off or writes the table itself: the service does.
  EXPECT_TRUE(fake::ExitWindowsCalls().empty());
  EXPECT_TRUE(fake::AllFiles().empty());
}

TEST_F(ServiceMinutesTest, WhoKeepsTheMinutes) {
  struct Case {
    bool installed;
    bool answering;
    std::string answer;
    ServiceMinutes::Watch watch;
  } cases[] = {
      {false, true, Minutes("9"), ServiceMinutes::Watch::kNoService},
      {true, false, "", ServiceMinutes::Watch::kNoService},
      {true, true, Minutes("none"), ServiceMinutes::Watch::kNothing},
      {true, true, "garbage", ServiceMinutes::Watch::kNothing},
      {true, true, Minutes("-3"), ServiceMinutes::Watch::kNothing},
      {true, true, Minutes("9"), ServiceMinutes::Watch::kMinutes},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(i);
    SetUp();
    if (!cases[i].installed) platform::RegDeleteKey(platform::kLocalMachine, kServiceKey);
    if (!cases[i].answering) fake::SetService(nullptr);
    answers_ = {cases[i].answer};
    requests_.clear();
    EXPECT_EQ(watcher_.Start(), cases[i].watch);
  }
}

}  // namespace
}  // namespace nox
