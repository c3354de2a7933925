// Stands in for the programs the login starts (the Windows directory's
// explorer.exe, pelorus.exe): appends one line to C:\nox-e2e\starts.log
//   <own file name>|<show state>|<command line>
// and ends. The show state is the STARTUPINFO wShowWindow the starter asked
// for (-1 when it asked for none).
#include <cstdio>
#include <cstring>

#include "platform/win32/scoped_handles.h"
#include "platform/win32/win32_api.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  const char* name = std::strrchr(path, '\\');
  name = name ? name + 1 : path;
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  GetStartupInfoA(&startup);
  const int show = (startup.dwFlags & STARTF_USESHOWWINDOW) ? startup.wShowWindow : -1;
  CreateDirectoryA("C:\\nox-e2e", nullptr);
  // Appends are serialised by the file's sharing: retry while another stub writes.
  for (int attempt = 0; attempt < 100; ++attempt) {
    const platform::win32::ScopedFile log(CreateFileA("C:\\nox-e2e\\starts.log", FILE_APPEND_DATA,
                                                      0, nullptr, OPEN_ALWAYS,
                                                      FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!log.valid()) {
      Sleep(10);
      continue;
    }
    char line[4096];
    const int length =
        std::snprintf(line, sizeof line, "%s|%d|%s\r\n", name, show, GetCommandLineA());
    DWORD written = 0;
    WriteFile(log.get(), line, static_cast<DWORD>(length > 0 ? length : 0), &written, nullptr);
    break;
  }
  return 0;
}
