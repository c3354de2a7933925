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
#include <map>
#include <string>
#include <vector>

#include "common/service_protocol.h"
#include "platform/win32/scoped_handles.h"
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

// The service's state, 0 when it cannot be asked.
DWORD ServiceState() {
  platform::win32::ScopedServiceHandle manager(
      OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
  platform::win32::ScopedServiceHandle service(
      OpenServiceA(manager.get(), "NoxService", SERVICE_QUERY_STATUS));
  SERVICE_STATUS status = {};
  if (service.get() == nullptr || !QueryServiceStatus(service.get(), &status)) return 0;
  return status.dwCurrentState;
}

bool WaitForServiceState(DWORD wanted) {
  for (int i = 0; i < 200; ++i) {
    if (ServiceState() == wanted) return true;
    Sleep(50);
  }
  return false;
}

// Every value under the key and its subkeys: "sub\\key|name" -> type:data.
void Dump(HKEY root, const std::string& path, std::map<std::string, std::string>* out) {
  platform::win32::ScopedKey key;
  if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, key.receive()) != ERROR_SUCCESS) return;
  char name[256];
  BYTE data[4096];
  for (DWORD i = 0;; ++i) {
    DWORD name_size = sizeof name, data_size = sizeof data, type = 0;
    if (RegEnumValueA(key.get(), i, name, &name_size, nullptr, &type, data, &data_size) !=
        ERROR_SUCCESS) {
      break;
    }
    (*out)[path + "|" + name] =
        std::to_string(type) + ":" + std::string(reinterpret_cast<char*>(data), data_size);
  }
  std::vector<std::string> subkeys;
  for (DWORD i = 0;; ++i) {
    DWORD name_size = sizeof name;
    if (RegEnumKeyExA(key.get(), i, name, &name_size, nullptr, nullptr, nullptr, nullptr) !=
        ERROR_SUCCESS) {
      break;
    }
    subkeys.emplace_back(name, name_size);
  }
  key.Reset();
  for (const std::string& sub : subkeys) Dump(root, path + "\\" + sub, out);
}

// What a login writes: the user's policies, Internet settings and shell
// folders, and the machine's values of the login.
std::map<std::string, std::string> LoginValues() {
  std::map<std::string, std::string> values;
  for (const char* key :
       {kPolicies, "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings",
        "Software\\Microsoft\\Internet Explorer\\Main",
        "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders",
        "Software\\Policies"}) {
    Dump(HKEY_CURRENT_USER, key, &values);
  }
  Dump(HKEY_LOCAL_MACHINE, kNetsieve, &values);
  return values;
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
    platform::win32::ScopedKey key;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, kServiceSettings, 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, key.receive(), nullptr),
              ERROR_SUCCESS);
    const DWORD one_second = 1;
    RegSetValueExA(key.get(), "MinuteSeconds", 0, REG_DWORD,
                   reinterpret_cast<const BYTE*>(&one_second), sizeof one_second);
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
    platform::win32::ScopedServiceHandle manager(
        OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
    platform::win32::ScopedServiceHandle service(
        OpenServiceA(manager.get(), "NoxService", SERVICE_START));
    ASSERT_NE(service.get(), nullptr);
    ASSERT_TRUE(::StartServiceA(service.get(), 0, nullptr));
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

// Automatic login A: the caller's account name (Wine names it after the
// USER of the asking process, here the services', which tests/wine/server
// starts as the tests' logon name) is a user of the table.
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
  EXPECT_EQ(ReadDword(HKEY_CURRENT_USER, Key("WinOldApp"), "Disabled"), 1u);
  EXPECT_EQ(machine_.ReadSystemFile("123456789.123"), "panel");
}

// The same login twice: directly (through CLASPS.dll, no service) and
// through the service (no CLASPS.dll), from the same start: the same values.
TEST_F(ServiceLoginE2eTest, TheServiceWritesEveryValueTheDirectLoginWrites) {
  const std::string hook_library = std::string(kProgramDir) + "\\CLASPS.dll";
  const auto prepare = [&] {
    machine_.WriteUserTable({MakeUser(".Default", "", "53520,268433679,3670493")});
    machine_.WriteSystemFile("Timedate.cpl", "panel");
    DeleteFileA((machine_.SystemDir() + "123456789.123").c_str());
    DeleteRegTree(HKEY_CURRENT_USER, kPolicies);
    DeleteRegTree(HKEY_CURRENT_USER, "Software\\Policies");
    DeleteRegTree(HKEY_LOCAL_MACHINE, kNetsieve);
  };
  prepare();
  ASSERT_TRUE(CopyFileA((OwnDirectory() + "\\CLASPS.dll").c_str(), hook_library.c_str(), FALSE));
  ASSERT_TRUE(machine_.StartExplorer());
  ASSERT_TRUE(machine_.WaitForExit()) << machine_.Diagnose();
  ExpectShellAndPelorusStarted();
  const std::map<std::string, std::string> direct = LoginValues();

  prepare();
  DeleteFileA(hook_library.c_str());
  StartService();
  ASSERT_TRUE(machine_.StartExplorer());
  ASSERT_TRUE(machine_.WaitForExit()) << machine_.Diagnose();
  machine_.WaitForStarts(4);
  const std::map<std::string, std::string> through_service = LoginValues();
  EXPECT_GT(direct.size(), 60u);
  EXPECT_EQ(through_service, direct);
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
  ASSERT_TRUE(seen) << machine_.Diagnose();
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
  UserRecord pupil = MakeUser(".Default", "", kBudgetTriple);
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
