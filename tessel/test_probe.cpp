// Test-only helper program the Win32 tests start:
//   tessel_probe marker PATH        writes "started" to PATH and ends
//   tessel_probe held GATE PATH     waits for the file GATE to exist, then
//                                   writes "released" to PATH and ends (or
//                                   "gave up" when it never appears)
//   tessel_probe window TITLE LOG   shows a window captioned TITLE that
//                                   refuses to end its session, noting each
//                                   end-of-session message in LOG
//   tessel_probe eject DRIVE        calls Tessel.dll's EjectDrive and prints
//                                   its result after the library's texts
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

#include "platform/win32/scoped_handles.h"
#include "platform/win32/win32_api.h"

namespace {

// Ends a window probe that nobody ends, so a failed test leaves no process.
constexpr UINT kGiveUpMs = 60000;

std::string log_path;

void Note(const char* line) {
  std::ofstream(log_path, std::ios::app | std::ios::binary) << line << "\n";
}

LRESULT CALLBACK ProbeWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_QUERYENDSESSION:
      Note("query");
      return FALSE;
    case WM_ENDSESSION:
      Note(wparam ? "end" : "end cancelled");
      return 0;
    case WM_TIMER:
      PostQuitMessage(7);
      return 0;
    default:
      return DefWindowProcA(window, message, wparam, lparam);
  }
}

int ShowWindowUntilEnded(const char* title) {
  WNDCLASSA window_class = {};
  window_class.lpfnWndProc = ProbeWindowProc;
  window_class.hInstance = GetModuleHandleA(nullptr);
  window_class.lpszClassName = "TesselProbeWindow";
  RegisterClassA(&window_class);
  const HWND window = CreateWindowA("TesselProbeWindow", title, WS_OVERLAPPEDWINDOW, 0, 0, 200, 100,
                                    nullptr, nullptr, window_class.hInstance, nullptr);
  if (window == nullptr) return 2;
  SetTimer(window, 1, kGiveUpMs, nullptr);
  Note("ready");
  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0) DispatchMessageA(&message);
  return static_cast<int>(message.wParam);
}

int WaitForGate(const char* gate, const char* path) {
  bool released = false;
  for (UINT waited = 0; waited < kGiveUpMs && !released; waited += 20) {
    released = GetFileAttributesA(gate) != INVALID_FILE_ATTRIBUTES;
    if (!released) Sleep(20);
  }
  std::ofstream(path) << (released ? "released" : "gave up");
  return 0;
}

int Eject(const char* drive) {
  const platform::win32::ScopedLibrary library(LoadLibraryA("Tessel.dll"));
  if (!library.valid()) return 3;
  using EjectDrive = int32_t(__stdcall*)(const char*);
  const auto eject = reinterpret_cast<EjectDrive>(
      reinterpret_cast<void*>(GetProcAddress(library.get(), "EjectDrive")));
  if (eject == nullptr) return 4;
  std::printf("result=%d\n", static_cast<int>(eject(drive)));
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "marker") == 0) {
    std::ofstream(argv[2]) << "started";
    return 0;
  }
  if (argc == 4 && std::strcmp(argv[1], "window") == 0) {
    log_path = argv[3];
    return ShowWindowUntilEnded(argv[2]);
  }
  if (argc == 4 && std::strcmp(argv[1], "held") == 0) return WaitForGate(argv[2], argv[3]);
  if (argc == 3 && std::strcmp(argv[1], "eject") == 0) return Eject(argv[2]);
  return 1;
}
