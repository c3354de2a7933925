// The login through NoxService end to end in the Wine prefix: the service
// installed and started as Windows starts it, explorer.exe as the shell.
//
// The proof that the login program itself writes no policy value: on NT
// every registry write of the login program goes through CLASPS.dll, and
// this machine has none. A login program that wrote anything itself would
// stop at error 53 ("File not found") before starting the shell; the
// service writes with its own rights and needs no CLASPS.dll.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "common/service_protocol.h"
#include "tests/e2e/e2e_helpers.h"
#include "tests/e2e/e2e_machine.h"

namespace nox::e2e {
namespace {

constexpr const char* kPolicies = "Software\\Microsoft\\Windows\\CurrentVersion\\Policies";
constexpr const char* kNetsieve = "Software\\Quillon\\Netsieve\\CurrentVersion";
constexpr const char* kServiceSettings = "Software\\Quillon\\Nox\\Service";
constexpr const char* kEducationHigh = "53520,63759,3670485";
constexpr const char* kBudgetTriple = "0,0,33554432";

std::string Key(const char* sub) { return std::string(kPolicies) + "\\" + sub; }

struct ServiceHandle {
  SC_HANDLE handle = nullptr;
  ~ServiceHandle() {
    if (handle != nullptr) CloseServiceHandle(handle);
  }
};

// The service's state, 0 when it cannot be asked.
DWORD ServiceState() {
  ServiceHandle manager{OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT)};
  ServiceHandle service{OpenServiceA(manager.handle, "NoxService", SERVICE_QUERY_STATUS)};
  SERVICE_STATUS status = {};
  if (service.handle == nullptr || !QueryServiceStatus(service.handle, &status)) return 0;
  return status.dwCurrentState;
}

bool WaitForServiceState(DWORD wanted) {
  for (int i = 0; i < 200; ++i) {
    if (ServiceState() == wanted) return true;
    Sleep(50);
  }
  return false;
}

class ServiceLoginE2eTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(LogonName(), "pupil") << "run with USER=pupil (as ctest does)";
    machine_.SetUp();
    const std::string dir = kProgramDir;
    DeleteFileA((dir + "\\CLASPS.dll").c_str());
    ASSERT_TRUE(CopyFileA((OwnDirectory() + "\\NoxService.exe").c_str(),
                          (dir + "\\NoxService.exe").c_str(), FALSE));
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, kServiceSettings, 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &key, nullptr),
              ERROR_SUCCESS);
    const DWORD one_second = 1;
    RegSetValueExA(key, "MinuteSeconds", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one_second),
                   sizeof one_second);
    RegCloseKey(key);
  }

  void TearDown() override {
    RunService("/uninstall");
    DeleteRegTree(HKEY_LOCAL_MACHINE, kServiceSettings);
    machine_.TearDown();
  }

  // NoxService.exe with `arguments`, to its end; its exit code.
  DWORD RunService(const std::string& arguments) {
    if (!machine_.StartProgram("NoxService.exe", arguments) || !machine_.WaitForExit()) return 99;
    return machine_.ExitCode();
  }

  // Installs the service and starts it as Windows would at boot.
  void StartService() {
    ASSERT_EQ(RunService("/install"), 0u);
    ServiceHandle manager{OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT)};
    ServiceHandle service{OpenServiceA(manager.handle, "NoxService", SERVICE_START)};
    ASSERT_NE(service.handle, nullptr);
    ASSERT_TRUE(::StartServiceA(service.handle, 0, nullptr));
    ASSERT_TRUE(WaitForServiceState(SERVICE_RUNNING));
  }

  void ExpectShellAndPelorusStarted() {
    std::vector<StartRecord> starts = machine_.WaitForStarts(2);
    ASSERT_EQ(starts.size(), 2u) << machine_.Diagnose();
    std::sort(starts.begin(), starts.end(),
              [](const StartRecord& a, const StartRecord& b) { return a.program < b.program; });
    EXPECT_EQ(starts[0].command_line, machine_.WindowsDir() + "\\explorer.exe");
    EXPECT_EQ(starts[0].show, SW_SHOWMAXIMIZED);
    EXPECT_EQ(starts[1].command_line, std::string(kProgramDir) + "\\pelorus.exe");
    EXPECT_EQ(starts[1].show, SW_SHOWMINIMIZED);
  }

  Machine machine_;
};

TEST_F(ServiceLoginE2eTest, AutomaticLoginWritesEveryValueWithoutTheHookLibrary) {
  machine_.WriteUserTable(
      {MakeUser("teacher", "t", "0,0,0"), MakeUser("Pupil", "x", kEducationHigh)});
  machine_.WriteSystemFile("Timedate.cpl", "panel");
  StartService();
  ASSERT_TRUE(machine_.StartExplorer());
  ASSERT_TRUE(machine_.WaitForExit()) << "explorer.exe did not end: " << machine_.Diagnose();
  HWND box = nullptr;
  EXPECT_FALSE(machine_.WaitForMessageBox(&box, 500)) << "the login said something";
  ExpectShellAndPelorusStarted();
  EXPECT_EQ(ReadText(HKEY_LOCAL_MACHINE, kNetsieve, "User"), "2");
  EXPECT_EQ(ReadText(HKEY_LOCAL_MACHINE, kNetsieve, "UserName"), "Pupil" + std::string(35, ' '));
  EXPECT_EQ(ReadDword(HKEY_CURRENT_USER, Key("System"), "DisableRegistryTools"), 1u);
  EXPECT_EQ(ReadDword(HKEY_CURRENT_USER, Key("System"), "NoAdminPage"), 0u);
  EXPECT_EQ(ReadDword(HKEY_CURRENT_USER, Key("Explorer"), "NoRun"), 1u);
  EXPECT_EQ(ReadDword(HKEY_CURRENT_USER, Key("Explorer"), "RestrictRun"), 1u);
  EXPECT_EQ(ReadDword(HKEY_CURRENT_USER, Key("WinOldApp"), "Disabled"), 1u);
  EXPECT_EQ(machine_.ReadSystemFile("123456789.123"), "panel");
}

TEST_F(ServiceLoginE2eTest, WindowLoginAsksTheServiceForTheCheck) {
  machine_.WriteUserTable({MakeUser("alice", "secret", "4096,32776,4")});
  StartService();
  ASSERT_TRUE(machine_.StartExplorer());
  HWND window = machine_.WaitForLoginWindow();
  ASSERT_NE(window, nullptr) << "no login window: " << machine_.Diagnose();
  SetWindowTextOf(LoginEdit(window, 0), "Alice");
  SetWindowTextOf(LoginEdit(window, 1), "Secret");
  Click(GetDlgItem(window, IDOK));
  HWND box = nullptr;
  const auto seen = machine_.WaitForMessageBox(&box);
  ASSERT_TRUE(seen);
  EXPECT_EQ(seen->text, "Sorry, your password does not verify. Please check it and try again.");
  machine_.DismissMessageBox(box);
  SetWindowTextOf(LoginEdit(window, 1), "secret");
  Click(GetDlgItem(window, IDOK));
  ASSERT_TRUE(machine_.WaitForExit()) << "explorer.exe did not end: " << machine_.Diagnose();
  ExpectShellAndPelorusStarted();
  EXPECT_EQ(ReadText(HKEY_LOCAL_MACHINE, kNetsieve, "User"), "1");
  EXPECT_EQ(ReadDword(HKEY_CURRENT_USER, Key("Explorer"), "NoSetFolders"), 1u);
  EXPECT_TRUE(machine_.SystemFileExists("user.cur"));
}

TEST_F(ServiceLoginE2eTest, TheServiceCountsTheMinutesWithoutPelorus) {
  UserRecord pupil = MakeUser("pupil", "", kBudgetTriple);
  pupil.allowed_minutes = 600;
  pupil.last_use_date = OleNow();
  machine_.WriteUserTable({pupil});
  StartService();
  ASSERT_TRUE(machine_.StartExplorer());
  ASSERT_TRUE(machine_.WaitForExit()) << "explorer.exe did not end: " << machine_.Diagnose();
  ExpectShellAndPelorusStarted();  // the stub stands in for pelorus.exe: nothing of it runs

  auto used = [&] {
    const std::optional<std::string> table = machine_.ReadSystemFile("USER.TBL");
    return table && table->size() >= UserRecord::kSize ? DecodeUserRecord(*table).used_minutes : -1;
  };
  int32_t counted = 0;
  for (int i = 0; i < 100 && (counted = used()) < 2; ++i) Sleep(100);
  EXPECT_GE(counted, 2) << "the service counted no minutes";

  std::string answer;
  ASSERT_TRUE(platform::AskService(EncodeServiceRequest({ServiceRequestKind::kMinutes, "", ""}),
                                   kServiceConnectMs, &answer));
  const auto parsed = ParseServiceAnswer(answer);
  ASSERT_TRUE(parsed) << answer;
  EXPECT_EQ(parsed->result, "minutes");
  EXPECT_LE(std::stoi(parsed->detail), 600 - counted);
}

}  // namespace
}  // namespace nox::e2e
