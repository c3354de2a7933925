// pelorus.exe end to end in the Wine prefix: the real login of a budgeted
// user starts the real pelorus.exe, which counts into USER.TBL; with short
// minutes (/minute=1) it shows its notices, the expired message and logs off
// through Tessel.dll's LogOff, which Wine turns into a run of wineboot.exe
// (replaced by a recording stub here).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <string_view>
#include <vector>

#include "platform/win32/scoped_handles.h"
#include "tests/e2e/e2e_machine.h"

namespace nox::e2e {
namespace {

constexpr const char* kLogonName = "pupil";  // ctest runs with USER=pupil
constexpr const char* kNetsieve = "Software\\Quillon\\Netsieve\\CurrentVersion";
constexpr const char* kBudgetTriple = "0,0,33554432";
constexpr const char* kNoticeClass = "NoxPelorusNotice";
constexpr const char* kExpired =
    "Your allocated session minutes have expired.\r\nYour windows session will now terminate.";

std::string BinDirectory() {
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string folder = path;
  return folder.substr(0, folder.find_last_of('\\'));
}

// Waits, handling this program's own messages (LogOff asks every window of
// the prefix to end its session and ends the programs that do not answer).
void PumpFor(DWORD ms) {
  const DWORD start = GetTickCount();
  while (GetTickCount() - start < ms) {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
    Sleep(20);
  }
}

class PelorusE2eTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(LogonName(), kLogonName) << "run with USER=" << kLogonName << " (as ctest does)";
    machine_.SetUp();
    // The machine has a recording stub as pelorus.exe; these tests run the real one.
    ASSERT_TRUE(CopyFileA((BinDirectory() + "\\pelorus.exe").c_str(),
                          (std::string(kProgramDir) + "\\pelorus.exe").c_str(), FALSE));
  }
  void TearDown() override {
    EndPelorus();
    machine_.TearDown();
  }

  UserRecord Budgeted(int32_t allowed, int32_t used) {
    UserRecord user = MakeUser(kLogonName, "p", kBudgetTriple);
    user.allowed_minutes = allowed;
    user.used_minutes = used;
    user.last_use_date = OleNow();
    return user;
  }

  // Record n as far as the table holds it (zeros beyond its end, as the
  // product decodes a short record): a table cut short fails the check that
  // reads it rather than ending the test program.
  UserRecord Stored(int n) {
    const std::string table = machine_.ReadSystemFile("USER.TBL").value_or("");
    const size_t offset = std::min(table.size(), (n - 1) * UserRecord::kSize);
    return DecodeUserRecord(std::string_view(table).substr(offset, UserRecord::kSize));
  }

  // Waits until record n's used minutes are no longer `used`; false after
  // `timeout_ms`.
  bool WaitForUsedToLeave(int n, int32_t used, DWORD timeout_ms) {
    for (DWORD waited = 0; waited < timeout_ms; waited += 100) {
      if (Stored(n).used_minutes != used) return true;
      PumpFor(100);
    }
    return false;
  }

  // The notice's text once it is visible with `text`; false after `timeout_ms`.
  bool WaitForNotice(const std::string& text, DWORD timeout_ms, HWND* notice) {
    for (DWORD waited = 0; waited < timeout_ms; waited += 50) {
      *notice = FindWindowA(kNoticeClass, "Nox");
      if (*notice != nullptr && IsWindowVisible(*notice)) {
        HWND label = FindWindowExA(*notice, nullptr, "STATIC", nullptr);
        if (label != nullptr && WindowText(label) == text) return true;
      }
      PumpFor(50);
    }
    return false;
  }

  // Ends a pelorus.exe the login started (it would keep counting otherwise).
  void EndPelorus() {
    HWND notice = FindWindowA(kNoticeClass, nullptr);
    if (notice == nullptr) return;
    DWORD process_id = 0;
    GetWindowThreadProcessId(notice, &process_id);
    const platform::win32::ScopedHandle process(
        OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, process_id));
    if (!process.valid()) return;
    TerminateProcess(process.get(), 99);
    WaitForSingleObject(process.get(), 5000);
  }

  bool SessionEndRecorded() {
    for (const StartRecord& start : machine_.WaitForStarts(1)) {
      if (start.program == "wineboot.exe" &&
          start.command_line.find(" --kill") != std::string::npos) {
        return true;
      }
    }
    return false;
  }

  Machine machine_;
};

TEST_F(PelorusE2eTest, TheLoginStartsPelorusWhichCountsRealMinutes) {
  const UserRecord written = Budgeted(60, 10);
  machine_.WriteUserTable({MakeUser("teacher", "t", "0,0,0"), written});
  ASSERT_TRUE(machine_.StartExplorer());
  ASSERT_TRUE(machine_.WaitForExit()) << "explorer.exe did not end: " << machine_.Diagnose();
  EXPECT_EQ(ReadText(HKEY_LOCAL_MACHINE, kNetsieve, "User"), "2");
  // The next change of the clock's minute comes within a minute; when it
  // starts a new day, it is that day's first minute.
  ASSERT_TRUE(WaitForUsedToLeave(2, 10, 75000));
  const UserRecord counted = Stored(2);
  const bool new_day = std::floor(counted.last_use_date) > std::floor(written.last_use_date);
  EXPECT_EQ(counted.used_minutes, new_day ? 1 : 11);
  EXPECT_EQ(Stored(1).used_minutes, 0);
  EXPECT_NE(FindWindowA(kNoticeClass, "Nox"), nullptr);
}

TEST_F(PelorusE2eTest, UserWithoutBudgetEndsPelorusAtOnce) {
  machine_.WriteUserTable({MakeUser(kLogonName, "p", "0,0,0")});
  const std::string before = machine_.ReadSystemFile("USER.TBL").value_or("");
  WriteRegText(HKEY_LOCAL_MACHINE, kNetsieve, "User", "1");
  WriteRegText(HKEY_LOCAL_MACHINE, kNetsieve, "UserName", kLogonName);
  ASSERT_TRUE(machine_.StartProgram("pelorus.exe"));
  ASSERT_TRUE(machine_.WaitForExit(10000));
  EXPECT_EQ(machine_.ExitCode(), 0u);
  EXPECT_EQ(machine_.ReadSystemFile("USER.TBL"), before);
}

TEST_F(PelorusE2eTest, ShortMinutesWarnAtFiveAndOneThenLogOff) {
  machine_.WriteUserTable({Budgeted(60, 54)});
  WriteRegText(HKEY_LOCAL_MACHINE, kNetsieve, "User", "1");
  WriteRegText(HKEY_LOCAL_MACHINE, kNetsieve, "UserName", std::string(kLogonName) + "   ");
  machine_.InterceptSessionEnd();
  // Minimised, as the login starts it: the notice must not inherit that state.
  ASSERT_TRUE(machine_.StartProgram("pelorus.exe", "/minute=1", SW_SHOWMINIMIZED));

  HWND notice = nullptr;
  ASSERT_TRUE(WaitForNotice("5 minutes left today", 10000, &notice));
  EXPECT_EQ(Stored(1).used_minutes, 55);
  EXPECT_NE(GetWindowLongA(notice, GWL_EXSTYLE) & WS_EX_TOPMOST, 0);
  EXPECT_FALSE(IsIconic(notice));
  ASSERT_TRUE(WaitForNotice("1 minute left today", 10000, &notice));

  HWND box = nullptr;
  const auto seen = machine_.WaitForMessageBox(&box, 10000);
  ASSERT_TRUE(seen) << "no expired message";
  EXPECT_EQ(seen->title, "Nox Message");
  EXPECT_EQ(seen->text, kExpired);
  EXPECT_EQ(Stored(1).used_minutes, 60);
  machine_.DismissMessageBox(box);
  for (int i = 0; i < 100 && !machine_.WaitForExit(0); ++i) PumpFor(100);
  ASSERT_TRUE(machine_.WaitForExit(0)) << "pelorus.exe did not end";
  EXPECT_TRUE(SessionEndRecorded());
}

TEST_F(PelorusE2eTest, UserAtZeroIsLoggedOffAtOnce) {
  machine_.WriteUserTable({Budgeted(30, 30)});
  WriteRegText(HKEY_LOCAL_MACHINE, kNetsieve, "User", "1");
  WriteRegText(HKEY_LOCAL_MACHINE, kNetsieve, "UserName", kLogonName);
  machine_.InterceptSessionEnd();
  ASSERT_TRUE(machine_.StartProgram("pelorus.exe"));
  HWND box = nullptr;
  const auto seen = machine_.WaitForMessageBox(&box, 10000);
  ASSERT_TRUE(seen) << "no expired message";
  EXPECT_EQ(seen->text, kExpired);
  machine_.DismissMessageBox(box);
  for (int i = 0; i < 100 && !machine_.WaitForExit(0); ++i) PumpFor(100);
  ASSERT_TRUE(machine_.WaitForExit(0)) << "pelorus.exe did not end";
  EXPECT_TRUE(SessionEndRecorded());
  EXPECT_EQ(Stored(1).used_minutes, 30);
}

}  // namespace
}  // namespace nox::e2e
