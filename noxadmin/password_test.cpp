// "password set" and "password check" through Tessel.dll, on the registry of
// the machine (Win32 build, run under Wine).
#include <gtest/gtest.h>

#include "noxadmin/test_support.h"
#include "platform/win32/win32_api.h"

namespace nox::admin {
namespace {

using namespace testing_support;

constexpr const char* kWardkeepKey = "Software\\Quillon\\Nox\\CurrentVersion\\Wardkeep";

class NoxadminPassword : public ::testing::Test {
 protected:
  void SetUp() override { RegDeleteKeyA(HKEY_LOCAL_MACHINE, kWardkeepKey); }
  void TearDown() override { RegDeleteKeyA(HKEY_LOCAL_MACHINE, kWardkeepKey); }
  TempFolder folder_;
};

TEST_F(NoxadminPassword, SetThenCheck) {
  const RunResult none = RunIn(folder_, {"password", "check", "anything"});
  EXPECT_EQ(none.code, kExitFailed);
  EXPECT_NE(none.err.find("no administrator password is stored"), std::string::npos) << none.err;

  const RunResult set = RunIn(folder_, {"password", "set"}, "Lab-Admin 7\r\n");
  ASSERT_EQ(set.code, kExitOk) << set.err;
  EXPECT_EQ(RunIn(folder_, {"password", "check", "Lab-Admin 7"}).code, kExitOk);
  const RunResult wrong = RunIn(folder_, {"password", "check", "lab-admin 7"});
  EXPECT_EQ(wrong.code, kExitFailed);
  EXPECT_NE(wrong.err.find("does not match"), std::string::npos);
  EXPECT_EQ(RunIn(folder_, {"password", "check"}, "Lab-Admin 7\n").code, kExitOk);
}

TEST_F(NoxadminPassword, RefusesWhatTheStoreCannotHold) {
  EXPECT_EQ(RunIn(folder_, {"password", "set", ""}).code, kExitFailed);
  const RunResult long_one = RunIn(folder_, {"password", "set", std::string(81, 'x')});
  EXPECT_EQ(long_one.code, kExitFailed);
  EXPECT_NE(long_one.err.find("81 characters, at most 80"), std::string::npos);
  EXPECT_EQ(RunIn(folder_, {"password", "check", "x"}).code, kExitFailed);
}

}  // namespace
}  // namespace nox::admin
