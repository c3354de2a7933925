// The demo's view of pelorus.exe at work: starts it from the program
// directory with "/minute=SECONDS", then reports, as they happen, each
// counted minute (the user's record in USER.TBL), the notices it shows, the
// expired message (answered with OK, as the pupil would) and the log-off it
// asks for (the recording stand-in for wineboot.exe logs that).
//
//   demo_pelorus_watch.exe PROGRAM_DIR SECONDS RECORD_NUMBER
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>

#include "explorer/records.h"
#include "platform/win32/scoped_handles.h"
#include "platform/win32/win32_api.h"
#include "tests/e2e/e2e_helpers.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Watch {
  Clock::time_point start = Clock::now();
  std::string last_notice;
  int32_t last_used = INT32_MIN;

  void Say(const std::string& text) const {
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    std::printf("  %5.1f s  %s\n", seconds, text.c_str());
    std::fflush(stdout);
  }
};

std::string TextOf(HWND window) {
  char text[512] = {};
  SendMessageTimeoutA(window, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text),
                      SMTO_ABORTIFHUNG, 1000, nullptr);
  return text;
}

std::optional<nox::UserRecord> StoredRecord(int n) {
  char system[MAX_PATH] = {};
  GetSystemDirectoryA(system, MAX_PATH);
  std::ifstream in(std::string(system) + "\\USER.TBL", std::ios::binary);
  const std::string table((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const size_t at = static_cast<size_t>(n - 1) * nox::UserRecord::kSize;
  if (n < 1 || table.size() < at + nox::UserRecord::kSize) return std::nullopt;
  return nox::DecodeUserRecord(std::string_view(table).substr(at, nox::UserRecord::kSize));
}

void ReportRecord(Watch& watch, int n) {
  const std::optional<nox::UserRecord> record = StoredRecord(n);
  if (!record || record->used_minutes == watch.last_used) return;
  watch.last_used = record->used_minutes;
  watch.Say("USER.TBL: " + record->TrimmedName() + " has used " +
            std::to_string(record->used_minutes) + " of " +
            std::to_string(record->allowed_minutes) + " minutes today");
}

void ReportNotice(Watch& watch) {
  HWND notice = FindWindowA("NoxPelorusNotice", nullptr);
  if (notice == nullptr || !IsWindowVisible(notice)) return;
  HWND label = FindWindowExA(notice, nullptr, "STATIC", nullptr);
  const std::string text = label ? TextOf(label) : "";
  if (text.empty() || text == watch.last_notice) return;
  watch.last_notice = text;
  watch.Say("notice window \"" + TextOf(notice) + "\" (topmost, not modal): " + text);
}

// True once the expired message was seen and answered.
bool AnswerExpiredMessage(Watch& watch, DWORD process_id) {
  const HWND box = nox::e2e::VisibleMessageBoxOf(process_id);
  if (box == nullptr) return false;
  char text[512] = {};
  GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
  std::string shown = text;
  for (size_t at = shown.find("\r\n"); at != std::string::npos; at = shown.find("\r\n")) {
    shown.replace(at, 2, " / ");
  }
  watch.Say("message box \"" + TextOf(box) + "\": " + shown);
  watch.Say("the pupil presses OK");
  PostMessageA(GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: demo_pelorus_watch PROGRAM_DIR SECONDS RECORD_NUMBER\n");
    return 2;
  }
  const std::string program = std::string(argv[1]) + "\\pelorus.exe";
  std::string command_line = "pelorus.exe /minute=" + std::string(argv[2]);
  const int record = std::atoi(argv[3]);
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_SHOWMINIMIZED;  // as the login starts it
  PROCESS_INFORMATION process = {};
  if (!CreateProcessA(program.c_str(), command_line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      argv[1], &startup, &process)) {
    std::fprintf(stderr, "cannot start %s\n", program.c_str());
    return 1;
  }
  const platform::win32::ScopedHandle thread(process.hThread);
  const platform::win32::ScopedHandle started(process.hProcess);
  Watch watch;
  watch.Say("started " + command_line + " (minimised, as the login starts it)");
  bool answered = false;
  while (WaitForSingleObject(process.hProcess, 50) == WAIT_TIMEOUT) {
    // This program's own messages: the log-off asks every window to end its session.
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
    ReportRecord(watch, record);
    ReportNotice(watch);
    if (!answered) answered = AnswerExpiredMessage(watch, process.dwProcessId);
    if (std::chrono::duration<double>(Clock::now() - watch.start).count() > 300) break;
  }
  ReportRecord(watch, record);
  DWORD code = STILL_ACTIVE;
  GetExitCodeProcess(process.hProcess, &code);
  watch.Say("pelorus.exe ended (exit code " + std::to_string(code) + ")");
  return code == 0 ? 0 : 1;
}
