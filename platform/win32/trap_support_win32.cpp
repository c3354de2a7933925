// The error trap's window, timer, memory and version calls over winmm,
// kernel32, user32 and version.dll. A separate object file, so programs that
// never trap errors do not import winmm.
#include <vector>

#include "platform/platform.h"
// <mmsystem.h> needs the types of <windows.h> first.
// clang-format off
#include "platform/win32/win32_api.h"
#include <mmsystem.h>
// clang-format on

namespace platform {

namespace {

std::string FormattedDate(const SYSTEMTIME& time) {
  char buffer[128] = {};
  int length =
      GetDateFormatA(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &time, nullptr, buffer, sizeof buffer);
  return length > 0 ? std::string(buffer, length - 1) : "";
}

std::string FormattedTime(const SYSTEMTIME& time) {
  char buffer[128] = {};
  int length = GetTimeFormatA(LOCALE_USER_DEFAULT, 0, &time, nullptr, buffer, sizeof buffer);
  return length > 0 ? std::string(buffer, length - 1) : "";
}

SYSTEMTIME SystemTimeOf(const LocalTime& time) {
  SYSTEMTIME system = {};
  system.wYear = static_cast<WORD>(time.year);
  system.wMonth = static_cast<WORD>(time.month);
  system.wDay = static_cast<WORD>(time.day);
  system.wHour = static_cast<WORD>(time.hour);
  system.wMinute = static_cast<WORD>(time.minute);
  system.wSecond = static_cast<WORD>(time.second);
  system.wMilliseconds = static_cast<WORD>(time.millisecond);
  return system;
}

BOOL CALLBACK CollectVisibleWindow(HWND window, LPARAM list) {
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  if (process == GetCurrentProcessId() && IsWindowVisible(window)) {
    reinterpret_cast<std::vector<WindowHandle>*>(list)->push_back(
        reinterpret_cast<WindowHandle>(window));
  }
  return TRUE;
}

HWND Hwnd(WindowHandle window) { return reinterpret_cast<HWND>(window); }

}  // namespace

void RequestMillisecondTimer() { timeBeginPeriod(1); }

uint32_t TimerMilliseconds() { return timeGetTime(); }

void SuppressSystemErrorBoxes() { SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX); }

MemoryStatus GetMemoryStatus() {
  // The extended call: the plain one caps its figures at 4 GiB.
  MEMORYSTATUSEX status = {};
  status.dwLength = sizeof status;
  if (!GlobalMemoryStatusEx(&status)) return {};
  return MemoryStatus{status.dwMemoryLoad, status.ullAvailPhys, status.ullTotalPhys};
}

std::string ProgramFileName() {
  char buffer[MAX_PATH + 1] = {};
  DWORD length = GetModuleFileNameA(nullptr, buffer, MAX_PATH);
  return length > 0 && length <= MAX_PATH ? std::string(buffer, length) : "";
}

ProgramVersion GetProgramVersion() {
  // Read from the module's own resource: Wine answers the file-name based
  // calls for any "explorer.exe" with its own explorer's version.
  HRSRC resource = FindResourceA(nullptr, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(16));
  HGLOBAL loaded = resource ? LoadResource(nullptr, resource) : nullptr;
  const auto* data = loaded ? static_cast<const BYTE*>(LockResource(loaded)) : nullptr;
  if (data == nullptr) return {};
  // VS_VERSIONINFO: header, L"VS_VERSION_INFO", padding to 4, then the fixed part.
  const size_t fixed_offset = (6 + sizeof(L"VS_VERSION_INFO") + 3) & ~size_t{3};
  if (SizeofResource(nullptr, resource) < fixed_offset + sizeof(VS_FIXEDFILEINFO)) return {};
  VS_FIXEDFILEINFO fixed;
  memcpy(&fixed, data + fixed_offset, sizeof fixed);
  if (fixed.dwSignature != VS_FFI_SIGNATURE) return {};
  return ProgramVersion{static_cast<int>(HIWORD(fixed.dwFileVersionMS)),
                        static_cast<int>(LOWORD(fixed.dwFileVersionMS)),
                        static_cast<int>(HIWORD(fixed.dwFileVersionLS))};
}

std::string ShortDateText(const LocalTime& time) { return FormattedDate(SystemTimeOf(time)); }
std::string LongTimeText(const LocalTime& time) { return FormattedTime(SystemTimeOf(time)); }

std::vector<TopLevelWindow> TopLevelWindows() {
  std::vector<TopLevelWindow> windows;
  for (HWND window = GetWindow(GetDesktopWindow(), GW_CHILD); window != nullptr;
       window = GetWindow(window, GW_HWNDNEXT)) {
    char title[256] = {};
    int length = GetWindowTextA(window, title, 255);
    windows.push_back(TopLevelWindow{reinterpret_cast<WindowHandle>(window),
                                     std::string(title, length > 0 ? length : 0)});
  }
  return windows;
}

intptr_t SendWindowMessage(WindowHandle window, uint32_t message, uintptr_t wparam,
                           intptr_t lparam) {
  return SendMessageA(Hwnd(window), message, wparam, lparam);
}

intptr_t SendWindowText(WindowHandle window, const std::string& text) {
  return SendMessageA(Hwnd(window), WM_SETTEXT, text.size(),
                      reinterpret_cast<LPARAM>(text.c_str()));
}

std::vector<WindowHandle> VisibleProgramWindows() {
  std::vector<WindowHandle> windows;
  EnumWindows(CollectVisibleWindow, reinterpret_cast<LPARAM>(&windows));
  return windows;
}

void EnableWindow(WindowHandle window, bool enable) { ::EnableWindow(Hwnd(window), enable); }

void PumpMessages() {
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
}

void BreakIntoDebugger() {
  if (IsDebuggerPresent()) DebugBreak();
}

}  // namespace platform
