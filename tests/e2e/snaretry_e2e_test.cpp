// snaretry.exe under Wine: the real error trap writes its trace and error
// log, talks to a "Verdin Snare" monitor window this test opens, and stays
// quiet when told to.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <regex>
#include <string>
#include <vector>

#include "platform/win32/scoped_handles.h"
#include "platform/win32/win32_api.h"
#include "tests/e2e/e2e_helpers.h"
#include "tests/e2e/snare_dialog_driver.h"

namespace {

using nox::e2e::OwnDirectory;
using nox::e2e::ReadAll;
using nox::e2e::WriteAll;
constexpr const char* kFolder = "C:\\nox-snaretry";
constexpr const char* kWorkFolder = "C:\\nox-snaretry\\work";
const std::string kZone(14, ' ');

std::string Path(const std::string& name) { return std::string(kFolder) + "\\" + name; }

// The start and stop banners carry the date and time of the run.
std::string WithoutTimes(const std::string& log) {
  static const std::regex banner("[0-9][^\r\n\\]]* - (start|stop) Snare client v");
  static const std::regex stamp("\\[\\d{5}\\.\\d{3}\\]");
  return std::regex_replace(std::regex_replace(log, banner, "<when> - $1 Snare client v"), stamp,
                            "[time]");
}

// ------------------------------------------------------ monitor window

struct Monitor {
  std::vector<std::string> lines;
  bool pause_next_nest = false;  // answer 128 to the entry of Sub Nest
  bool paused = false;
  size_t lines_when_paused = 0;
};
Monitor* g_monitor = nullptr;

LRESULT CALLBACK MonitorProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_SETTEXT) {
    const std::string text(reinterpret_cast<const char*>(lparam), wparam);
    g_monitor->lines.push_back(text);
    if (g_monitor->pause_next_nest && text.find("->\tsnaretry : Sub Nest") != std::string::npos) {
      g_monitor->pause_next_nest = false;
      g_monitor->paused = true;
      g_monitor->lines_when_paused = g_monitor->lines.size();
      return 128;
    }
    return 0;
  }
  if (message == WM_USER + 100) return wparam == 1 && g_monitor->paused ? 1 : 0;
  return DefWindowProcA(window, message, wparam, lparam);
}

HWND OpenMonitor() {
  WNDCLASSA window_class = {};
  window_class.lpfnWndProc = MonitorProc;
  window_class.hInstance = GetModuleHandleA(nullptr);
  window_class.lpszClassName = "NoxTestSnareMonitor";
  RegisterClassA(&window_class);
  return CreateWindowA("NoxTestSnareMonitor", "Verdin Snare", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100,
                       nullptr, nullptr, window_class.hInstance, nullptr);
}

class SnaretryE2eTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CreateDirectoryA(kFolder, nullptr);
    CreateDirectoryA(kWorkFolder, nullptr);
    for (const char* name : {"SNCLIENT.INI", "snare.log", "error.log", "work\\snerror.log"}) {
      DeleteFileA(Path(name).c_str());
    }
    ASSERT_TRUE(CopyFileA((OwnDirectory() + "\\snaretry.exe").c_str(), Path("snaretry.exe").c_str(),
                          FALSE));
  }

  // Runs snaretry.exe with its current directory in the work folder, keeping
  // this program's windows answering until it ends. Its exit code, or -1.
  int RunSnaretry(const std::string& arguments, const std::function<void()>& while_running = {}) {
    std::string command = "\"";
    command += Path("snaretry.exe");
    command += "\" ";
    command += arguments;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, kWorkFolder,
                        &startup, &process)) {
      return -1;
    }
    const platform::win32::ScopedHandle thread(process.hThread);
    const platform::win32::ScopedHandle started(process.hProcess);
    const DWORD deadline = GetTickCount() + 60000;
    while (MsgWaitForMultipleObjects(1, &process.hProcess, FALSE, 100, QS_ALLINPUT) !=
           WAIT_OBJECT_0) {
      MSG message;
      while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
      if (while_running) while_running();
      if (GetTickCount() > deadline) {
        TerminateProcess(process.hProcess, 99);
        break;
      }
    }
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    return static_cast<int>(code);
  }
};

TEST_F(SnaretryE2eTest, WriteToDiskGivesTheExactErrorLog) {
  ASSERT_TRUE(WriteAll(
      Path("SNCLIENT.INI"),
      "[preferences]\r\nSilent Run=1\r\n[log file]\r\nWrite To Disk=1\r\nLog File=snare.log\r\n"));
  ASSERT_EQ(RunSnaretry("/depth 2 53"), 0);
  EXPECT_EQ(WithoutTimes(ReadAll(Path("snare.log"))),
            "<when> - start Snare client v5.00.04 (for Visual Basic 5.0) data capture\r\n" +
                std::string(65, '*') + "\r\n" +
                "C:\\nox-snaretry\\snaretry ver 1.4.0\r\n"
                "Error Information\r\n"
                "Error 0\r\n" +
                kZone + "Category      File System (disk, directory or file) access error\r\n" +
                kZone + "Source        snaretry (local)\r\n" + kZone +
                "Module        snaretry\r\n" + kZone + "Procedure     Sub Nest\r\n" + kZone +
                "Line Number   20\r\n" + kZone + "Error No.     53\r\n" + kZone +
                "Description   File not found\r\n"
                "\r\n"
                "\r\n"
                "Call Tree & Arguments\r\n" +
                kZone + " 1 : Call\tsnaretry : Sub main : ()\r\n" + kZone +
                " 2 : Call\t\tsnaretry : Sub Nest : (depth=2)\r\n" + kZone +
                " 3 : Call\t\t\tsnaretry : Sub Nest : (depth=1)\r\n" + kZone +
                " 4 : Error\t\t\tRuntime error 53, File not found\r\n"
                "\r\n"
                "System State Information\r\n"
                "\r\n"
                "User Said\r\n" +
                kZone + "\r\n" +
                "<when> - stop Snare client v5.00.04 (for Visual Basic 5.0) data capture\r\n");
}

TEST_F(SnaretryE2eTest, CaptureToDiskTracesEveryCallWithOrWithoutArguments) {
  for (const char* arguments : {"1", "0"}) {
    DeleteFileA(Path("error.log").c_str());
    ASSERT_TRUE(WriteAll(
        Path("SNCLIENT.INI"),
        std::string("[preferences]\r\nSilent Run=1\r\n[log file]\r\nWrite To Disk=1\r\n"
                    "Capture To Disk=1\r\n[include]\r\nResources=0\r\nMemory=0\r\nUser=0\r\n"
                    "Arguments=") +
            arguments + "\r\n"));
    ASSERT_EQ(RunSnaretry("/twice 11"), 0);
    const std::string log = WithoutTimes(ReadAll(Path("error.log")));
    const std::string args = arguments[0] == '1' ? " : (depth=1)" : "";
    const std::string main_args = arguments[0] == '1' ? " : ()" : "";
    const std::string expected_start =
        "[snaretry] <when> - start Snare client v5.00.04 (for Visual Basic 5.0) data "
        "capture\r\n\r\n"
        "[snaretry] [00001] [time]->snaretry : Sub main" +
        main_args +
        "\r\n\r\n"
        "[snaretry] [00002] [time]->\tsnaretry : Sub Nest" +
        args +
        "\r\n\r\n"
        "[snaretry] ERROR 11 at snaretry : Sub Nest : Line 20 : Division by zero\r\n";
    EXPECT_EQ(log.substr(0, expected_start.size()), expected_start) << arguments;
    const std::string expected_end =
        "[snaretry] [00004] [time]->\tsnaretry : Sub Nest" + args + "\r\n\r\n";
    EXPECT_NE(log.find(expected_end), std::string::npos) << log;
    const std::string last =
        "[snaretry] [00006] [time]<-snaretry : Sub main" + main_args + "\r\n\r\n";
    EXPECT_EQ(log.substr(log.size() - std::min(log.size(), last.size())), last) << arguments;
  }
}

TEST_F(SnaretryE2eTest, MonitorWindowGetsEveryLineAndCanHoldTheProgram) {
  Monitor monitor;
  monitor.pause_next_nest = true;
  g_monitor = &monitor;
  platform::win32::ScopedWindow window(OpenMonitor());
  ASSERT_TRUE(window.valid());
  DWORD paused_since = 0;
  nox::e2e::DialogCloser dialog;
  const int code = RunSnaretry("/depth 2 5", [&] {
    // Without settings the error dialog is shown: the user presses Continue.
    dialog.Tick();
    if (!monitor.paused) return;
    if (paused_since == 0) paused_since = GetTickCount();
    // Held: no further line arrives until the monitor lets go.
    EXPECT_EQ(monitor.lines.size(), monitor.lines_when_paused);
    if (GetTickCount() - paused_since > 500) monitor.paused = false;
  });
  window.Reset();
  g_monitor = nullptr;
  ASSERT_EQ(code, 0);
  EXPECT_NE(paused_since, 0u);
  EXPECT_EQ(dialog.dialogs_closed(), 1);
  std::vector<std::string> lines;
  for (const std::string& line : monitor.lines) lines.push_back(WithoutTimes(line));
  ASSERT_EQ(lines.size(), 8u);
  EXPECT_EQ(
      lines[0],
      "[snaretry] <when> - start Snare client v5.00.04 (for Visual Basic 5.0) data capture\r\n");
  // Without settings: no arguments, no memory figures.
  EXPECT_EQ(lines[1], "[snaretry] [00001] [time]->snaretry : Sub main\r\n");
  EXPECT_EQ(lines[2], "[snaretry] [00002] [time]->\tsnaretry : Sub Nest\r\n");
  EXPECT_EQ(
      lines[4],
      "[snaretry] ERROR 5 at snaretry : Sub Nest : Line 20 : Invalid procedure call or argument");
  EXPECT_EQ(lines[7], "[snaretry] [00006] [time]<-snaretry : Sub main\r\n");
}

TEST_F(SnaretryE2eTest, SilentRunAloneWritesNothing) {
  ASSERT_TRUE(WriteAll(Path("SNCLIENT.INI"), "[preferences]\r\nSilent Run=1\r\n"));
  ASSERT_EQ(RunSnaretry("/depth 3 /unannounced 70"), 0);
  EXPECT_EQ(ReadAll(Path("error.log")), "<none>");
  EXPECT_EQ(ReadAll(std::string(kWorkFolder) + "\\snerror.log"), "<none>");
}

TEST_F(SnaretryE2eTest, WithoutSettingsTheErrorIsLoggedInTheCurrentDirectory) {
  nox::e2e::DialogCloser dialog;
  ASSERT_EQ(RunSnaretry("/source \"1!Remote!rmod!Sub R!7!53\" 5", [&] { dialog.Tick(); }), 0);
  EXPECT_EQ(dialog.dialogs_closed(), 1);
  const std::string log = ReadAll(std::string(kWorkFolder) + "\\snerror.log");
  EXPECT_NE(log.find(kZone + "Source        snaretry (local) << Remote (remote)\r\n"),
            std::string::npos)
      << log;
  EXPECT_NE(log.find(" : Trap\t\tRuntime error 53, File not found on line 7\r\n"),
            std::string::npos)
      << log;
  EXPECT_EQ(RunSnaretry("/depth 0 5"), 2);
}

}  // namespace
