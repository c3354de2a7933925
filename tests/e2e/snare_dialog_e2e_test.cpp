// The error trap's dialog, report and mailed report under Wine: snaretry.exe
// traps an error, this test finds the dialog by its caption, reads and fills
// its controls and presses Continue, then reads the error log; a recording
// MAPI32.DLL beside the program takes the mailed report.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <regex>
#include <string>
#include <vector>

#include "platform/win32/scoped_handles.h"
#include "platform/win32/win32_api.h"
#include "tests/e2e/e2e_helpers.h"
#include "tests/e2e/snare_dialog_driver.h"

namespace {

using nox::e2e::DialogControl;
using nox::e2e::OwnDirectory;
using nox::e2e::ReadAll;
using nox::e2e::WriteAll;

constexpr const char* kFolder = "C:\\nox-snaredialog";
constexpr const char* kWorkFolder = "C:\\nox-snaredialog\\work";
constexpr const char* kOverrideKey = "Software\\Wine\\AppDefaults\\snaretry.exe\\DllOverrides";
const std::string kZone(14, ' ');

std::string Path(const std::string& name) { return std::string(kFolder) + "\\" + name; }
std::string WorkPath(const std::string& name) { return std::string(kWorkFolder) + "\\" + name; }

// What the test saw of the dialog while it was up.
struct SeenDialog {
  std::string summary;
  std::vector<std::string> views;
  std::vector<std::string> buttons;
  std::string user_text;     // typed into Text1 when not empty
  bool press_print = false;  // before Continue; there is no printer
  bool press_enter = false;  // in Text1, instead of clicking Continue
  bool centred = false;
};

bool Inspect(HWND dialog, const std::vector<DialogControl>& controls, void* context) {
  auto* seen = static_cast<SeenDialog*>(context);
  if (const DialogControl* summary = nox::e2e::FindControl(controls, "Static", "An unexpected")) {
    seen->summary = summary->text;
  }
  for (const DialogControl& control : controls) {
    if (CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, control.window_class.c_str(), -1,
                       "ComboBox", -1) == CSTR_EQUAL &&
        control.visible) {
      seen->views = nox::e2e::ListItems(control);
      break;
    }
  }
  seen->buttons = nox::e2e::VisibleButtons(controls);
  RECT rect = {};
  GetWindowRect(dialog, &rect);
  const int screen_width = GetSystemMetrics(SM_CXSCREEN);
  seen->centred = std::abs((rect.left + rect.right) - screen_width) <= 2;
  if (seen->press_print) {
    const DialogControl* print = nox::e2e::FindControl(controls, "Button", "Print");
    EXPECT_NE(print, nullptr);
    if (print != nullptr) PostMessageA(print->window, BM_CLICK, 0, 0);
  }
  const DialogControl* text1 =
      nox::e2e::FindControl(controls, "Edit", "Type in what you where doing here.");
  if (text1 == nullptr) return false;
  if (!seen->user_text.empty()) {
    SendMessageA(text1->window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(seen->user_text.c_str()));
  }
  if (!seen->press_enter) return false;
  // Enter in the multi-line text box is Continue.
  PostMessageA(text1->window, WM_KEYDOWN, VK_RETURN, 0x001C0001);
  PostMessageA(text1->window, WM_KEYUP, VK_RETURN, 0xC01C0001);
  return true;
}

class SnareDialogE2eTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CreateDirectoryA(kFolder, nullptr);
    CreateDirectoryA(kWorkFolder, nullptr);
    for (const std::string& path : {Path("SNCLIENT.INI"), Path("snare.log"), Path("MAPI32.DLL"),
                                    WorkPath("snerror.log"), WorkPath("mapi-received.txt")}) {
      DeleteFileA(path.c_str());
    }
    ASSERT_TRUE(CopyFileA((OwnDirectory() + "\\snaretry.exe").c_str(), Path("snaretry.exe").c_str(),
                          FALSE));
  }
  void TearDown() override {
    RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Wine\\AppDefaults\\snaretry.exe");
  }

  // Runs snaretry.exe in the work folder, closing every error dialog it
  // shows (inspected into `seen`); its exit code, or -1.
  int RunSnaretry(const std::string& arguments, SeenDialog* seen, int* dialogs) {
    std::string command = "\"" + Path("snaretry.exe") + "\" " + arguments;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, kWorkFolder,
                        &startup, &process)) {
      return -1;
    }
    const platform::win32::ScopedHandle thread(process.hThread);
    const platform::win32::ScopedHandle started(process.hProcess);
    nox::e2e::DialogCloser closer(Inspect, seen);
    const DWORD deadline = GetTickCount() + 60000;
    while (WaitForSingleObject(process.hProcess, 50) != WAIT_OBJECT_0) {
      closer.Tick();
      if (GetTickCount() > deadline) {
        TerminateProcess(process.hProcess, 99);
        break;
      }
    }
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    *dialogs = closer.dialogs_closed();
    return static_cast<int>(code);
  }

  static std::string Section(const std::string& log, const std::string& from,
                             const std::string& to) {
    const size_t start = log.find(from);
    if (start == std::string::npos) return "";
    const size_t end = log.find(to, start);
    return log.substr(start + from.size(),
                      end == std::string::npos ? end : end - start - from.size());
  }
};

TEST_F(SnareDialogE2eTest, UserTextAndSystemReportReachTheErrorLog) {
  ASSERT_TRUE(WriteAll(Path("SNCLIENT.INI"),
                       "[preferences]\r\nDisplay Mode=1\r\n[log file]\r\nWrite To Disk=1\r\nLog "
                       "File=snare.log\r\n"));
  SeenDialog seen;
  seen.user_text = "I was removing the lock";
  seen.press_enter = true;
  int dialogs = 0;
  ASSERT_EQ(RunSnaretry("/depth 2 53", &seen, &dialogs), 0);
  ASSERT_EQ(dialogs, 1);
  EXPECT_EQ(seen.summary,
            "An unexpected 'file not found' error occured in snaretry.\r\n1 error(s) are logged.");
  EXPECT_EQ(
      seen.views,
      (std::vector<std::string>{"To help resolve the problem, please enter what you were doing."}));
  EXPECT_EQ(seen.buttons, (std::vector<std::string>{"&Continue", "Print"}));
  EXPECT_TRUE(seen.centred);

  const std::string log = ReadAll(Path("snare.log"));
  EXPECT_NE(log.find("User Said\r\n" + kZone + "I was removing the lock\r\n"), std::string::npos)
      << log;
  const std::string report = Section(log, "System State Information\r\n", "\r\nUser Said\r\n");
  const std::vector<std::string> sections = {
      "Application", "Visual Basic", "Operating System", "Fonts", "Memory", "Processor",
      "Printer",     "Ports",        "Network",          "Video", "Mouse",  "Keyboard",
      "Drives",      "Multimedia"};
  std::vector<std::string> headings;
  const std::regex line_shape("( {3}.{22}.*| {3}Drive [A-Z]: is .+|[A-Z][A-Za-z ]+)");
  size_t start = 0;
  while (start < report.size()) {
    const size_t end = report.find("\r\n", start);
    ASSERT_NE(end, std::string::npos) << "every line ends with CR LF";
    const std::string line = report.substr(start, end - start);
    EXPECT_TRUE(std::regex_match(line, line_shape)) << line;
    if (!line.empty() && line[0] != ' ') headings.push_back(line);
    start = end + 2;
  }
  EXPECT_EQ(headings, sections);
  const std::vector<std::string> items = {
      "   Title.................snaretry\r\n",
      "   Path..................C:\\nox-snaredialog\r\n",
      "   EXE name..............C:\\NOX-SNAREDIALOG\\SNARETRY.EXE\r\n",
      "   DLL Name..............DLL NOT LOADED\r\n",
      "   Windows version.......Windows NT ",
      "   Windows directory.....C:\\windows\r\n",
      "   Current path..........C:\\nox-snaredialog\\work\r\n",
  };
  for (const std::string& item : items)
    EXPECT_NE(report.find(item), std::string::npos) << item << report;
  EXPECT_TRUE(std::regex_search(report, std::regex("   Total Memory\\.{10}[0-9]+ bytes\r\n")))
      << report;
}

TEST_F(SnareDialogE2eTest, ForceSystemInfoOffersEveryView) {
  ASSERT_TRUE(
      WriteAll(Path("SNCLIENT.INI"),
               "[preferences]\r\nForce System Info=1\r\n[log file]\r\nWrite To Disk=1\r\nLog "
               "File=snare.log\r\n"));
  SeenDialog seen;
  seen.press_print = true;
  int dialogs = 0;
  ASSERT_EQ(RunSnaretry("/source \"2!Far!m2!Sub F!7!53!Near!m1!Sub N!0!70\" 5", &seen, &dialogs),
            0);
  ASSERT_EQ(dialogs, 1);
  ASSERT_EQ(seen.views.size(), 4u);
  EXPECT_EQ(seen.views[3], "View local system information");
  EXPECT_EQ(seen.buttons, (std::vector<std::string>{"&Continue", "Print"}));
  EXPECT_EQ(seen.summary,
            "An unexpected 'file not found' error occured in a component used by snaretry.\r\n"
            "3 error(s) are logged.");
  const std::string log = ReadAll(Path("snare.log"));
  // Nothing typed: the prompt is the user's text; the report was not asked for.
  EXPECT_NE(log.find("System State Information\r\n\r\nUser Said\r\n" + kZone +
                     "Type in what you where doing here.\r\n"),
            std::string::npos)
      << log;
}

TEST_F(SnareDialogE2eTest, MailedReportReachesSimpleMapiWithTheLogAttached) {
  ASSERT_TRUE(CopyFileA((OwnDirectory() + "\\mapi_recorder.dll").c_str(),
                        Path("MAPI32.DLL").c_str(), FALSE));
  platform::win32::ScopedKey key;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kOverrideKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                            key.receive(), nullptr),
            ERROR_SUCCESS);
  RegSetValueExA(key.get(), "mapi32", 0, REG_SZ, reinterpret_cast<const BYTE*>("native"), 7);
  key.Reset();
  ASSERT_TRUE(WriteAll(Path("SNCLIENT.INI"),
                       "[preferences]\r\nSilent Run=1\r\n[email]\r\nAddress=help@example.org\r\n"));
  SeenDialog seen;
  int dialogs = 0;
  ASSERT_EQ(RunSnaretry("70", &seen, &dialogs), 0);
  EXPECT_EQ(dialogs, 0);
  const std::string note =
      "Verdin Snare reports error 70 (Permission denied) occured in snaretry. The attached log "
      "file has "
      "complete details.";
  const std::string received = ReadAll(WorkPath("mapi-received.txt"));
  const size_t attached = received.find("first line=");
  EXPECT_EQ(received.substr(0, attached),
            "session=0\r\nui=0\r\nflags=1\r\nreserved=0\r\n"
            "subject=Remote Error Report From snaretry\r\nnote=" +
                note +
                "\r\ntype=IPM.\r\n"
                "recipients=1\r\nfiles=1\r\nclass=1\r\nname=help@example.org\r\naddress=<null>\r\n"
                "position=" +
                std::to_string(note.size() - 1) + "\r\npath=" + WorkPath("!error!.log") +
                "\r\nfile=snerror.log\r\n");
  // The attachment existed when it was sent and holds the error log.
  EXPECT_TRUE(
      std::regex_match(received.substr(std::min(attached, received.size())),
                       std::regex("first line=[0-9][^\r]* - start Snare client v[^\r]*\r\n")))
      << received;
  EXPECT_EQ(ReadAll(WorkPath("!error!.log")), "<none>") << "deleted after the refused send";
  EXPECT_EQ(ReadAll(WorkPath("snerror.log")), "<none>") << "a silent run writes no log of its own";
}

}  // namespace
