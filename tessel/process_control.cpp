// Starting and ending programs, the forced log-off and the date as text.
#include <windows.h>

#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "platform/win32/scoped_handles.h"
#include "tessel/cipher_core.h"
#include "tessel/tessel.h"

using platform::win32::ScopedHandle;

namespace tessel {
namespace {

constexpr UINT kMessageTimeoutMs = 2000;

// Sends an end-of-session message; false when it could not be delivered in
// time (or the window hangs). The window's answer does not matter.
bool SendEndSession(HWND window, UINT message, WPARAM wparam) {
  DWORD_PTR answer = 0;
  return SendMessageTimeoutA(window, message, wparam, ENDSESSION_LOGOFF, SMTO_ABORTIFHUNG,
                             kMessageTimeoutMs, &answer) != 0;
}

// Terminates the process that owns the window, exit code 0.
BOOL TerminateOwner(HWND window) {
  DWORD process_id = 0;
  GetWindowThreadProcessId(window, &process_id);
  ScopedHandle process(OpenProcess(PROCESS_ALL_ACCESS, FALSE, process_id));
  if (!process.valid()) return FALSE;
  return TerminateProcess(process.get(), 0);
}

BOOL CALLBACK EndWindowSession(HWND window, LPARAM) {
  if (SendEndSession(window, WM_QUERYENDSESSION, FALSE)) {
    SendEndSession(window, WM_ENDSESSION, TRUE);
  } else {
    TerminateOwner(window);
  }
  return TRUE;
}

}  // namespace
}  // namespace tessel

// Waits the delay, then starts the command line with the caller's start-up
// information, environment and current directory. Non-zero when started.
extern "C" int32_t __stdcall RunApplication(const char* command_line, int32_t delay_seconds) {
  if (delay_seconds > 0) Sleep(static_cast<DWORD>(delay_seconds) * 1000);
  if (command_line == nullptr) return 0;
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  GetStartupInfoA(&startup);
  // CreateProcessA may write into the command line: give it a copy.
  std::vector<char> writable(command_line, command_line + std::strlen(command_line) + 1);
  PROCESS_INFORMATION process = {};
  const BOOL started = CreateProcessA(nullptr, writable.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                      nullptr, &startup, &process);
  const ScopedHandle thread(process.hThread);
  const ScopedHandle started_process(process.hProcess);
  return started;
}

// Asks the top-level window captioned exactly `window_title` to end its
// session, then terminates its process whatever it answered. Non-zero when
// the process was terminated; 0 when no window matches, the window could
// not take the messages within 2 seconds each, or the title is empty (an
// empty title would match some untitled window of any program).
extern "C" int32_t __stdcall KillApplication(const char* window_title) {
  if (window_title == nullptr || *window_title == '\0') return 0;
  const HWND window = FindWindowA(nullptr, window_title);
  if (window == nullptr) return 0;
  if (!tessel::SendEndSession(window, WM_QUERYENDSESSION, FALSE)) return 0;
  if (!tessel::SendEndSession(window, WM_ENDSESSION, TRUE)) return 0;
  return tessel::TerminateOwner(window);
}

// Ends the session of every top-level window (terminating the programs that
// do not answer), then forces the log-off. Returns ExitWindowsEx's result.
extern "C" int32_t __stdcall LogOff() {
  EnumWindows(tessel::EndWindowSession, 0);
  return ExitWindowsEx(EWX_LOGOFF | EWX_FORCE, 0);
}

// Writes the local date as "12/06/2026" and returns its length (0 when the
// date could not be formatted).
extern "C" int32_t __stdcall GetSysDate(char* out) {
  const std::time_t now = std::time(nullptr);
  std::string text;
  if (const std::tm* local = std::localtime(&now)) text = tessel::FormatSysDate(*local);
  if (out == nullptr) return 0;
  std::memcpy(out, text.c_str(), text.size() + 1);
  return static_cast<int32_t>(text.size());
}
