// Nox-Setup.exe end to end in the Wine prefix, run as an administrator
// would: silent installs with their switches, the files, the uninstall entry,
// the shell value and the running NoxService they leave, a login through the
// installed programs, and the uninstaller with wrong, right and missing passwords. Every program
// is started with the exact command-line text (Wine would quote an argument
// with a blank, and NSIS ignores a quoted /D=).
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "platform/win32/scoped_handles.h"
#include "tessel/cipher_core.h"
#include "tessel/test_library.h"
#include "tests/e2e/e2e_helpers.h"
#include "tests/e2e/e2e_machine.h"

namespace nox::e2e {
namespace {

using nox::e2e::OwnDirectory;
using platform::win32::ScopedFile;
using platform::win32::ScopedHandle;
using platform::win32::ScopedKey;

constexpr const char* kUninstallKey =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Nox";
constexpr const char* kNoxKey = "Software\\Quillon\\Nox";
constexpr const char* kWardkeepKey = "Software\\Quillon\\Nox\\CurrentVersion\\Wardkeep";
constexpr const char* kWinlogonKey = "Software\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon";
constexpr const char* kExplorerPolicies =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer";
constexpr const char* kSessionManager = "SYSTEM\\CurrentControlSet\\Control\\Session Manager";
constexpr const char* kDefaultFolder = "C:\\Program Files\\Nox";
constexpr const char* kBlankFolder = "C:\\nox-e2e\\Lab PCs\\Nox";
constexpr const char* kPlainFolder = "C:\\nox-e2e\\Plain";
constexpr const char* kOriginalShell = "original-shell.exe";
constexpr DWORD kRunTimeoutMs = 120000;

const char* const kInstalledFiles[] = {"explorer.exe", "Clearway.exe",   "Tessel.dll",
                                       "CLASPS.dll",   "noxadmin.exe",   "pelorus.exe",
                                       "README.txt",   "NoxService.exe", "Uninstall.exe"};
// Files a test leaves in an install folder besides the installed ones.
const char* const kOtherFiles[] = {"UninstallCore.exe", "notes.txt"};
const char* const kFolders[] = {kDefaultFolder, kBlankFolder, kPlainFolder};

// The registered NoxService's program and whether it runs; nullopt when
// none is registered.
struct ServiceState {
  std::string binary;
  bool running;
};
std::optional<ServiceState> NoxServiceState() {
  platform::win32::ScopedServiceHandle manager(
      OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
  platform::win32::ScopedServiceHandle service(
      OpenServiceA(manager.get(), "NoxService", SERVICE_QUERY_CONFIG | SERVICE_QUERY_STATUS));
  if (!service.valid()) return std::nullopt;
  char buffer[8192] = {};
  auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGA*>(buffer);
  DWORD needed = 0;
  SERVICE_STATUS status = {};
  if (!QueryServiceConfigA(service.get(), config, sizeof buffer, &needed) ||
      !QueryServiceStatus(service.get(), &status)) {
    return std::nullopt;
  }
  return ServiceState{config->lpBinaryPathName, status.dwCurrentState == SERVICE_RUNNING};
}

bool Exists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void WriteTextFile(const std::string& path, const std::string& text) {
  const ScopedFile file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
  ASSERT_TRUE(file.valid()) << path;
  DWORD written = 0;
  WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

// Runs `program` with exactly `arguments` to its end; its exit code.
DWORD RunProgram(const std::string& program, const std::string& arguments) {
  DWORD code = RunProgramAndWait(program, arguments, kRunTimeoutMs);
  if (code == kNotFinished) ADD_FAILURE() << program << " " << arguments << " did not start or end";
  return code;
}

DWORD Install(const std::string& arguments) {
  return RunProgram(OwnDirectory() + "\\Nox-Setup.exe", arguments);
}

DWORD Uninstall(const std::string& folder, const std::string& arguments) {
  return RunProgram(folder + "\\Uninstall.exe", arguments);
}

// The password store's answer through the built Tessel.dll: -1 stored, 0
// other, -2 none stored.
int CheckStoredPassword(const std::string& candidate) {
  return tessel::testing::ExportAs<tessel::testing::PathExport>("CheckPassword")(candidate.c_str());
}

void StorePassword(std::string password) {
  password.resize(256, '\0');
  ASSERT_EQ(
      tessel::testing::ExportAs<tessel::testing::StringExport>("SetPassword")(password.data()), -1);
}

// A password whose cipher block has a zero byte, which the store cannot
// keep. The cipher adds a fixed keystream: a character equal to the
// keystream byte at its position ciphers to zero. Empty when the keystream
// has no printable byte.
std::string ShellValue() {
  return ReadText(HKEY_LOCAL_MACHINE, kWinlogonKey, "Shell").value_or("<none>");
}

// Removes what an install leaves, file by file (never a whole folder), and
// what a removal schedules for the next start.
void RemoveInstallations() {
  RunProgramAndWait(OwnDirectory() + "\\NoxService.exe", "/uninstall", kRunTimeoutMs);
  for (const char* folder : kFolders) {
    for (const char* file : kInstalledFiles)
      DeleteFileA((std::string(folder) + "\\" + file).c_str());
    for (const char* file : kOtherFiles) DeleteFileA((std::string(folder) + "\\" + file).c_str());
    RemoveDirectoryA(folder);
  }
  RemoveDirectoryA("C:\\nox-e2e\\Lab PCs");
  for (const char* file : {"Uninstall.exe", "UninstallCore.exe", "noxadmin.exe", "README.txt"}) {
    DeleteFileA((std::string(kProgramDir) + "\\" + file).c_str());
  }
  DeleteRegTree(HKEY_LOCAL_MACHINE, kUninstallKey);
  DeleteRegTree(HKEY_LOCAL_MACHINE, "Software\\Quillon");
  ScopedKey session;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_ALL_ACCESS, session.receive()) ==
      ERROR_SUCCESS) {
    RegDeleteValueA(session.get(), "PendingFileRenameOperations");
  }
}

// Whether a removal at the next start is scheduled for the file.
bool DeletionScheduled(const std::string& path) {
  auto pending = ReadRegValue(HKEY_LOCAL_MACHINE, kSessionManager, "PendingFileRenameOperations");
  return pending && pending->bytes.find(path) != std::string::npos;
}

class InstallerE2eTest : public ::testing::Test {
 protected:
  void SetUp() override {
    machine_.SetUp();
    saved_shell_ = ReadText(HKEY_LOCAL_MACHINE, kWinlogonKey, "Shell");
    RemoveInstallations();
    WriteRegText(HKEY_LOCAL_MACHINE, kWinlogonKey, "Shell", kOriginalShell);
  }
  void TearDown() override {
    RemoveInstallations();
    RestoreShellValue(saved_shell_);
    machine_.TearDown();
  }

  // The installed files, the uninstall entry value by value and the shell.
  void ExpectInstalled(const std::string& folder, const std::string& shell) {
    for (const char* file : kInstalledFiles) {
      EXPECT_TRUE(Exists(folder + "\\" + file)) << folder << "\\" << file;
    }
    const std::pair<const char*, std::string> entry[] = {
        {"DisplayName", "Nox"},
        {"Publisher", "Quillon"},
        {"DisplayVersion", NOX_VERSION},
        {"InstallLocation", folder},
        {"UninstallString", "\"" + folder + "\\Uninstall.exe\""},
        {"QuietUninstallString", "\"" + folder + "\\Uninstall.exe\" /S"},
    };
    for (const auto& [name, value] : entry) {
      EXPECT_EQ(ReadText(HKEY_LOCAL_MACHINE, kUninstallKey, name), value) << name;
    }
    EXPECT_EQ(ShellValue(), shell);
    std::optional<ServiceState> service = NoxServiceState();
    ASSERT_TRUE(service);
    EXPECT_EQ(service->binary, "\"" + folder + "\\NoxService.exe\"");
    EXPECT_TRUE(service->running);
  }

  // Every installed file and the entry gone; what else was there stays.
  void ExpectRemoved(const std::string& folder) {
    for (const char* file : kInstalledFiles) {
      const std::string path = folder + "\\" + file;
      EXPECT_TRUE(!Exists(path) || DeletionScheduled(path)) << path;
    }
    EXPECT_FALSE(ReadText(HKEY_LOCAL_MACHINE, kUninstallKey, "DisplayName"));
    EXPECT_FALSE(ReadText(HKEY_LOCAL_MACHINE, kNoxKey, "PreviousShell"));
    EXPECT_FALSE(NoxServiceState());
    EXPECT_FALSE(ReadText(HKEY_LOCAL_MACHINE, kWardkeepKey, "Verifier"));
  }

  // A user table and a restriction of an earlier login, which Clearway.exe
  // takes back.
  void PlantRestrictions() {
    machine_.WriteUserTable({MakeUser("pupil", "p1", "0,0,0")});
    ScopedKey explorer;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kExplorerPolicies, 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, explorer.receive(), nullptr),
              ERROR_SUCCESS);
    const DWORD on = 1;
    RegSetValueExA(explorer.get(), "NoRun", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&on),
                   sizeof on);
  }
  void ExpectRestrictionsInPlace() {
    EXPECT_TRUE(machine_.SystemFileExists("USER.TBL"));
    EXPECT_EQ(ReadDword(HKEY_CURRENT_USER, kExplorerPolicies, "NoRun"), 1u);
  }
  void ExpectRestrictionsTakenBack() {
    EXPECT_FALSE(machine_.SystemFileExists("USER.TBL"));
    EXPECT_EQ(ReadDword(HKEY_CURRENT_USER, kExplorerPolicies, "NoRun"), 0u);
  }

  // Writes the Winlogon shell value, or removes it (nullopt).
  static void RestoreShellValue(const std::optional<std::string>& value) {
    if (value) {
      WriteRegText(HKEY_LOCAL_MACHINE, kWinlogonKey, "Shell", *value);
      return;
    }
    ScopedKey winlogon;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kWinlogonKey, 0, KEY_ALL_ACCESS, winlogon.receive()) ==
        ERROR_SUCCESS) {
      RegDeleteValueA(winlogon.get(), "Shell");
    }
  }

  Machine machine_;
  std::optional<std::string> saved_shell_;
};

TEST_F(InstallerE2eTest, InstallReinstallAndUninstallWithThePassword) {
  ASSERT_EQ(Install("/S /PASSWORD=chalk-42"), 0u);
  const std::string shell = std::string("\"") + kDefaultFolder + "\\explorer.exe\"";
  ExpectInstalled(kDefaultFolder, shell);
  EXPECT_EQ(ReadText(HKEY_LOCAL_MACHINE, kNoxKey, "PreviousShell"), kOriginalShell);
  EXPECT_EQ(CheckStoredPassword("chalk-42"), -1);

  // Installing again keeps the original shell as the one to restore.
  ASSERT_EQ(Install("/S"), 0u);
  ExpectInstalled(kDefaultFolder, shell);
  EXPECT_EQ(ReadText(HKEY_LOCAL_MACHINE, kNoxKey, "PreviousShell"), kOriginalShell);
  EXPECT_EQ(CheckStoredPassword("chalk-42"), -1);

  PlantRestrictions();
  for (const char* refused : {"/S /PASSWORD=wrong", "/S", "/S /UNKNOWN"}) {
    SCOPED_TRACE(refused);
    EXPECT_EQ(Uninstall(kDefaultFolder, refused), 2u);
    ExpectInstalled(kDefaultFolder, shell);
    ExpectRestrictionsInPlace();
  }

  const std::string notes = std::string(kDefaultFolder) + "\\notes.txt";
  WriteTextFile(notes, "mine");
  ASSERT_EQ(Uninstall(kDefaultFolder, "/S /PASSWORD=chalk-42"), 0u);
  ExpectRestrictionsTakenBack();
  EXPECT_EQ(ShellValue(), kOriginalShell);
  ExpectRemoved(kDefaultFolder);
  EXPECT_TRUE(Exists(notes));
}

struct FolderCase {
  const char* arguments;
  const char* folder;
  const char* shell;  // nullptr: the shell stays as it was
};

TEST_F(InstallerE2eTest, FolderAndShellSwitches) {
  const FolderCase cases[] = {
      {"/S /NOPASSWORD /D=C:\\nox-e2e\\Lab PCs\\Nox", kBlankFolder,
       "\"C:\\nox-e2e\\Lab PCs\\Nox\\explorer.exe\""},
      {"/S /NOPASSWORD /D=C:\\nox-e2e\\Plain", kPlainFolder, "C:\\nox-e2e\\Plain\\explorer.exe"},
      {"/S /NOPASSWORD /SHELL=1 /D=C:\\nox-e2e\\Plain", kPlainFolder,
       "C:\\nox-e2e\\Plain\\explorer.exe"},
      {"/S /NOPASSWORD /SHELL=0 /D=C:\\nox-e2e\\Lab PCs\\Nox", kBlankFolder, nullptr},
  };
  for (const FolderCase& c : cases) {
    SCOPED_TRACE(c.arguments);
    ASSERT_EQ(Install(c.arguments), 0u);
    ExpectInstalled(c.folder, c.shell != nullptr ? c.shell : kOriginalShell);
    EXPECT_FALSE(Exists(std::string(kDefaultFolder) + "\\explorer.exe"));
    // An administrator's later shell choice survives the removal.
    if (c.shell == nullptr) WriteRegText(HKEY_LOCAL_MACHINE, kWinlogonKey, "Shell", "later.exe");
    // No password stored: Clearway runs all the same.
    PlantRestrictions();
    ASSERT_EQ(Uninstall(c.folder, "/S"), 0u);
    ExpectRestrictionsTakenBack();
    EXPECT_EQ(ShellValue(), c.shell != nullptr ? kOriginalShell : "later.exe");
    ExpectRemoved(c.folder);
    RemoveInstallations();
    WriteRegText(HKEY_LOCAL_MACHINE, kWinlogonKey, "Shell", kOriginalShell);
  }
}

TEST_F(InstallerE2eTest, RefusedCommandLinesInstallNothing) {
  StorePassword("stored-before");
  WriteTextFile("C:\\nox-e2e\\a-file", "x");
  const struct {
    std::string arguments;
    DWORD exit_code;
  } cases[] = {
      {"/S /PASSWORD=" + std::string(81, 'a') + " /D=C:\\nox-e2e\\Plain", 2},
      {"/S /PASSWORD= /D=C:\\nox-e2e\\Plain", 2},
      {"/S /MASTER= /D=C:\\nox-e2e\\Plain", 2},
      {"/S /SHELL=2 /D=C:\\nox-e2e\\Plain", 2},
      {"/S /bogus /D=C:\\nox-e2e\\Plain", 2},
      {"/S /PASSWORD=fine /D=C:\\nox-e2e\\a-file\\Nox", 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.arguments);
    EXPECT_EQ(Install(c.arguments), c.exit_code);
    EXPECT_FALSE(Exists(kPlainFolder));
    EXPECT_FALSE(Exists("C:\\nox-e2e\\a-file\\Nox"));
    EXPECT_FALSE(ReadText(HKEY_LOCAL_MACHINE, kUninstallKey, "DisplayName"));
    EXPECT_EQ(ShellValue(), kOriginalShell);
    EXPECT_EQ(CheckStoredPassword("stored-before"), -1);
  }
  DeleteFileA("C:\\nox-e2e\\a-file");
}

// Without a password any command line uninstalls: a silent install asks
// for /PASSWORD= or an explicit /NOPASSWORD.
TEST_F(InstallerE2eTest, SilentInstallWithoutAnyPasswordIsRefused) {
  EXPECT_EQ(Install("/S /D=C:\\nox-e2e\\Plain"), 2u);
  EXPECT_FALSE(Exists(kPlainFolder));
  EXPECT_FALSE(ReadText(HKEY_LOCAL_MACHINE, kUninstallKey, "DisplayName"));
  EXPECT_EQ(ShellValue(), kOriginalShell);
  ASSERT_EQ(Install("/S /PASSWORD=chalk /SHELL=0 /D=C:\\nox-e2e\\Plain"), 0u);
  EXPECT_TRUE(ReadText(HKEY_LOCAL_MACHINE, kWardkeepKey, "Verifier"));
  ASSERT_EQ(Uninstall(kPlainFolder, "/S /PASSWORD=chalk"), 0u);
  ExpectRemoved(kPlainFolder);
}

TEST_F(InstallerE2eTest, OneSetupAtATime) {
  ASSERT_EQ(Install("/S /NOPASSWORD /SHELL=0 /D=C:\\nox-e2e\\Plain"), 0u);
  // What a running installer or uninstaller holds.
  ScopedHandle running(CreateMutexA(nullptr, FALSE, "Global\\Quillon.Nox.Setup"));
  ASSERT_TRUE(running.valid());
  PlantRestrictions();
  EXPECT_EQ(Install("/S /NOPASSWORD /D=C:\\nox-e2e\\Lab PCs\\Nox"), 1u);
  EXPECT_EQ(Uninstall(kPlainFolder, "/S"), 1u);
  running.Reset();
  EXPECT_FALSE(Exists(kBlankFolder));
  ExpectInstalled(kPlainFolder, kOriginalShell);
  ExpectRestrictionsInPlace();
}

// The uninstaller carries what it needs, so a folder emptied by hand can
// still be taken back; a missing shell value counts as the Windows shell.
TEST_F(InstallerE2eTest, UninstallAfterTheFilesWereDeletedByHand) {
  RestoreShellValue(std::nullopt);
  ASSERT_EQ(Install("/S /PASSWORD=chalk /D=C:\\nox-e2e\\Plain"), 0u);
  EXPECT_EQ(ReadText(HKEY_LOCAL_MACHINE, kNoxKey, "PreviousShell"), "explorer.exe");
  for (const char* file : {"explorer.exe", "Clearway.exe", "Tessel.dll", "CLASPS.dll"}) {
    ASSERT_TRUE(DeleteFileA((std::string(kPlainFolder) + "\\" + file).c_str())) << file;
  }
  PlantRestrictions();
  ASSERT_EQ(Uninstall(kPlainFolder, "/S /PASSWORD=chalk"), 0u);
  ExpectRestrictionsTakenBack();
  EXPECT_EQ(ShellValue(), "explorer.exe");
  ExpectRemoved(kPlainFolder);
}

TEST_F(InstallerE2eTest, MasterFolderIsWrittenThroughTheInstalledNoxadmin) {
  ASSERT_EQ(
      Install("/S /NOPASSWORD /SHELL=0 \"/MASTER=\\\\server\\nox share\" /D=C:\\nox-e2e\\Plain"),
      0u);
  const std::optional<std::string> settings = machine_.ReadSystemFile(kSettingsTable);
  ASSERT_TRUE(settings);
  const SettingsRecord record = DecodeSettingsRecord(*settings);
  std::string master = FieldText(record.master_path);
  master.erase(master.find_last_not_of(' ') + 1);
  EXPECT_EQ(master, "\\\\server\\nox share\\");
  EXPECT_NE(record.copy_from_master, 0);
}

TEST_F(InstallerE2eTest, InstalledProgramsLogAUserInAndTheUninstallerTakesItBack) {
  ASSERT_EQ(Install("/S /PASSWORD=chalk /D=" + std::string(kProgramDir)), 0u);
  const std::string noxadmin = std::string(kProgramDir) + "\\noxadmin.exe";
  ASSERT_EQ(RunProgram(noxadmin, "user add pupil --password p1 --level \"Education High\""), 0u);
  machine_.WriteSystemFile("Timedate.cpl", "panel");

  ASSERT_TRUE(machine_.StartExplorer());
  ASSERT_TRUE(machine_.WaitForExit()) << "explorer.exe did not end: " << machine_.Diagnose();
  EXPECT_EQ(machine_.ExitCode(), 0u);
  // The shell's stub records its start; the pelorus.exe the installer put
  // over the machine's stub is the real one, which ends at once for a user
  // without a daily budget and records nothing.
  std::vector<StartRecord> starts = machine_.WaitForStarts(1);
  ASSERT_EQ(starts.size(), 1u);
  EXPECT_EQ(starts[0].program, "explorer.exe");
  ExpectRestrictionsInPlace();
  EXPECT_TRUE(machine_.SystemFileExists("123456789.123"));

  ASSERT_EQ(Uninstall(kProgramDir, "/S /PASSWORD=chalk"), 0u);
  // The login noted that NoRun was not set before it: it is gone again.
  EXPECT_FALSE(machine_.SystemFileExists("USER.TBL"));
  EXPECT_FALSE(ReadRegValue(HKEY_CURRENT_USER, kExplorerPolicies, "NoRun").has_value());
  EXPECT_TRUE(machine_.SystemFileExists("Timedate.cpl"));
  EXPECT_EQ(ShellValue(), kOriginalShell);
  ExpectRemoved(kProgramDir);
}

}  // namespace
}  // namespace nox::e2e
