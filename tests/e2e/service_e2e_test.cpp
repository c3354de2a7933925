// NoxService.exe end to end in the Wine prefix: registered with /install,
// started by the service control manager, asked over its pipe, stopped and
// removed with /uninstall. (Wine runs every service as the prefix's user.)
#include <gtest/gtest.h>

#include <string>

#include "platform/platform.h"
#include "platform/win32/scoped_handles.h"
#include "tests/e2e/e2e_helpers.h"

namespace nox::e2e {
namespace {

using platform::win32::ScopedServiceHandle;

constexpr DWORD kServiceWaitMs = 20000;
constexpr DWORD kPollMs = 100;

std::string ServiceProgram() { return OwnDirectory() + "\\NoxService.exe"; }

DWORD RunService(const std::string& arguments) {
  return RunProgramAndWait(ServiceProgram(), arguments, kServiceWaitMs);
}

ScopedServiceHandle OpenNoxService(DWORD access) {
  ScopedServiceHandle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
  return ScopedServiceHandle(OpenServiceA(manager.get(), "NoxService", access));
}

bool WaitForState(SC_HANDLE service, DWORD state) {
  SERVICE_STATUS status = {};
  for (DWORD waited = 0; waited < kServiceWaitMs; waited += kPollMs) {
    if (QueryServiceStatus(service, &status) && status.dwCurrentState == state) return true;
    Sleep(kPollMs);
  }
  return false;
}

void CheckConfigStartAndAsk() {
  ScopedServiceHandle service(
      OpenNoxService(SERVICE_QUERY_CONFIG | SERVICE_QUERY_STATUS | SERVICE_START));
  ASSERT_TRUE(service.valid());
  char buffer[8192] = {};
  auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGA*>(buffer);
  DWORD needed = 0;
  ASSERT_TRUE(QueryServiceConfigA(service.get(), config, sizeof buffer, &needed));
  EXPECT_EQ(config->dwServiceType, static_cast<DWORD>(SERVICE_WIN32_OWN_PROCESS));
  EXPECT_EQ(config->dwStartType, static_cast<DWORD>(SERVICE_AUTO_START));
  std::string quoted_program = '"' + ServiceProgram();
  quoted_program += '"';
  EXPECT_EQ(config->lpBinaryPathName, quoted_program);
  EXPECT_STREQ(config->lpDisplayName, "Nox session service");
  EXPECT_STREQ(config->lpServiceStartName, "LocalSystem");

  ASSERT_TRUE(StartServiceA(service.get(), 0, nullptr));
  ASSERT_TRUE(WaitForState(service.get(), SERVICE_RUNNING));
  std::string answer;
  EXPECT_TRUE(platform::AskService("minutes", 5000, &answer));
  EXPECT_FALSE(answer.empty());

  // Removal stops it first.
  EXPECT_EQ(RunService("/uninstall"), 0u);
  EXPECT_TRUE(WaitForState(service.get(), SERVICE_STOPPED));
}

class ServiceE2eTest : public testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(RunService("/uninstall"), 0u); }
  void TearDown() override { RunService("/uninstall"); }
};

TEST_F(ServiceE2eTest, CommandLineIsChecked) {
  EXPECT_EQ(RunService("/bogus"), 2u);
  EXPECT_EQ(RunService("/install /uninstall"), 2u);
  // Not started by the service control manager: it says so and fails.
  EXPECT_EQ(RunService(""), 1u);
  // Nothing installed: removing it is done at once.
  EXPECT_EQ(RunService("/uninstall"), 0u);
}

TEST_F(ServiceE2eTest, InstalledServiceStartsAnswersAndIsRemoved) {
  ASSERT_EQ(RunService("/install"), 0u);
  // Installing again keeps one service, pointed at this program.
  ASSERT_EQ(RunService("/install"), 0u);
  CheckConfigStartAndAsk();
  // It is gone once the last handle to it has closed.
  EXPECT_FALSE(OpenNoxService(SERVICE_QUERY_STATUS).valid());
  std::string answer;
  EXPECT_FALSE(platform::AskService("minutes", 5000, &answer));
}

}  // namespace
}  // namespace nox::e2e
