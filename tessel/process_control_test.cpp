// RunApplication, KillApplication and GetSysDate of the built Tessel.dll.
// LogOff is not run here: it would end every program of the test's session.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/win32/scoped_handles.h"
#include "tessel/test_library.h"

namespace tessel {
namespace {

using platform::win32::ScopedHandle;
using testing::ExportAs;
using testing::FileExists;
using testing::PathExport;
using testing::ProbeCommand;
using testing::ReadFileBytes;
using testing::RunExport;
using testing::ScratchFolder;
using testing::StringExport;
using testing::WriteFileBytes;

// Waits up to `ms` for the file to exist.
bool AppearsWithin(const std::string& path, int ms) {
  for (int waited = 0; waited < ms; waited += 50) {
    if (FileExists(path)) return true;
    Sleep(50);
  }
  return FileExists(path);
}

long long MillisecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                               start)
      .count();
}

class RunApplicationTest : public ::testing::Test {
 protected:
  RunExport run_ = ExportAs<RunExport>("RunApplication");
  ScratchFolder folder_;
};

// The started program cannot end before the test opens its gate, which the
// test does only once the call has returned: a call that waited for the
// program would leave it to give up instead.
TEST_F(RunApplicationTest, ReturnsBeforeTheProgramEnds) {
  for (int32_t delay : {0, -5}) {
    const std::string gate = folder_.Path("gate" + std::to_string(delay));
    const std::string marker = folder_.Path("marker" + std::to_string(delay));
    EXPECT_NE(run_((ProbeCommand() + " held \"" + gate + "\" \"" + marker + "\"").c_str(), delay),
              0)
        << delay;
    WriteFileBytes(gate, "");
    ASSERT_TRUE(AppearsWithin(marker, 10000)) << delay;
    EXPECT_EQ(ReadFileBytes(marker), "released") << delay;
  }
}

TEST_F(RunApplicationTest, WaitsTheDelayFirst) {
  const std::string marker = folder_.Path("delayed");
  const auto start = std::chrono::steady_clock::now();
  EXPECT_NE(run_((ProbeCommand() + " marker \"" + marker + "\"").c_str(), 1), 0);
  EXPECT_GE(MillisecondsSince(start), 1000);
  EXPECT_TRUE(AppearsWithin(marker, 10000));
}

TEST_F(RunApplicationTest, ProgramThatDoesNotExistIsNotStarted) {
  EXPECT_EQ(run_((folder_.Path("no_such_program.exe") + " argument").c_str(), 0), 0);
  EXPECT_EQ(run_("", 0), 0);
}

// A probe window that refuses to end its session, in its own process.
class ProbeWindow {
 public:
  ProbeWindow(const std::string& title, const std::string& log) : title_(title) {
    std::string command = ProbeCommand() + " window \"" + title + "\" \"" + log + "\"";
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                       &startup, &process)) {
      thread_.Reset(process.hThread);
      process_.Reset(process.hProcess);
    }
  }
  ~ProbeWindow() {
    if (process_.valid()) TerminateProcess(process_.get(), 9);
  }
  bool WaitForWindow() const {
    for (int waited = 0; waited < 15000; waited += 50) {
      if (FindWindowA(nullptr, title_.c_str()) != nullptr) return true;
      Sleep(50);
    }
    return false;
  }
  // The exit code once the process has ended within `ms`, else -1.
  int ExitCodeWithin(int ms) const {
    if (WaitForSingleObject(process_.get(), ms) != WAIT_OBJECT_0) return -1;
    DWORD code = 0;
    GetExitCodeProcess(process_.get(), &code);
    return static_cast<int>(code);
  }

 private:
  std::string title_;
  ScopedHandle thread_;
  ScopedHandle process_;
};

class KillApplicationTest : public ::testing::Test {
 protected:
  PathExport kill_ = ExportAs<PathExport>("KillApplication");
  ScratchFolder folder_;
};

TEST_F(KillApplicationTest, WindowThatRefusesIsStillEnded) {
  const std::string title = "Tessel probe " + std::to_string(GetCurrentProcessId());
  const std::string log = folder_.Path("probe.log");
  ProbeWindow probe(title, log);
  ASSERT_TRUE(probe.WaitForWindow());
  EXPECT_NE(kill_(title.c_str()), 0);
  EXPECT_EQ(probe.ExitCodeWithin(10000), 0);
  EXPECT_EQ(ReadFileBytes(log), "ready\nquery\nend\n");
  EXPECT_EQ(FindWindowA(nullptr, title.c_str()), nullptr);
}

TEST_F(KillApplicationTest, TitleMustMatchExactly) {
  const std::string title = "Tessel exact " + std::to_string(GetCurrentProcessId());
  ProbeWindow probe(title, folder_.Path("exact.log"));
  ASSERT_TRUE(probe.WaitForWindow());
  EXPECT_EQ(kill_((title + " ").c_str()), 0);
  EXPECT_EQ(kill_(title.substr(0, title.size() - 1).c_str()), 0);
  EXPECT_EQ(kill_(""), 0);
  EXPECT_EQ(probe.ExitCodeWithin(0), -1) << "the probe must still run";
  EXPECT_EQ(kill_("No window has this title 5b1e7"), 0);
}

TEST(GetSysDateTest, WritesTodayAsMonthDayYear) {
  const StringExport get_date = ExportAs<StringExport>("GetSysDate");
  char buffer[32];
  std::memset(buffer, 0x5c, sizeof buffer);
  SYSTEMTIME before, after;
  GetLocalTime(&before);
  const int32_t length = get_date(buffer);
  GetLocalTime(&after);
  char expected_before[16], expected_after[16];
  std::snprintf(expected_before, sizeof expected_before, "%02u/%02u/%04u", before.wMonth,
                before.wDay, before.wYear);
  std::snprintf(expected_after, sizeof expected_after, "%02u/%02u/%04u", after.wMonth, after.wDay,
                after.wYear);
  EXPECT_EQ(length, 10);
  EXPECT_TRUE(std::string(buffer) == expected_before || std::string(buffer) == expected_after)
      << buffer;
  EXPECT_EQ(buffer[10], '\0');
  EXPECT_EQ(buffer[11], 0x5c);
}

}  // namespace
}  // namespace tessel
