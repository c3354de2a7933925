// Small Win32 helpers of the Wine tests, the demo's programs and the
// benchmarks: the program's own folder (where the build put the programs
// under test), running a program to its end, whole-file reads and writes,
// another process's message box.
#pragma once

#include <cstdio>
#include <string>

#include "platform/win32/scoped_handles.h"
#include "platform/win32/win32_api.h"

namespace nox::e2e {

inline std::string OwnDirectory() {
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string folder = path;
  return folder.substr(0, folder.find_last_of('\\'));
}

// The file's bytes; "<none>" when it cannot be opened.
inline std::string ReadAll(const std::string& path) {
  const platform::win32::ScopedFile file(
      CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  if (!file.valid()) return "<none>";
  std::string data(GetFileSize(file.get(), nullptr), '\0');
  DWORD read = 0;
  ReadFile(file.get(), data.data(), static_cast<DWORD>(data.size()), &read, nullptr);
  return data.substr(0, read);
}

// Creates or replaces the file; false when it cannot be written.
inline bool WriteAll(const std::string& path, const std::string& data) {
  const platform::win32::ScopedFile file(
      CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  if (!file.valid()) return false;
  DWORD written = 0;
  const BOOL ok =
      WriteFile(file.get(), data.data(), static_cast<DWORD>(data.size()), &written, nullptr);
  return ok && written == data.size();
}

// Starts `program` with exactly `arguments` after its quoted name, in C:\,
// waits for it and returns its exit code; kNotFinished when it does not
// start or (ended then) runs longer than `timeout_ms`.
constexpr DWORD kNotFinished = 0xDEAD;
inline DWORD RunProgramAndWait(const std::string& program, const std::string& arguments,
                               DWORD timeout_ms) {
  std::string command_line = "\"" + program + "\" " + arguments;
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  if (!CreateProcessA(program.c_str(), command_line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      "C:\\", &startup, &process)) {
    // Told apart from a program that did not end, for the failure's reader.
    std::fprintf(stderr, "could not start %s: error %lu\n", program.c_str(), GetLastError());
    return kNotFinished;
  }
  const platform::win32::ScopedHandle thread(process.hThread);
  const platform::win32::ScopedHandle started(process.hProcess);
  DWORD code = kNotFinished;
  if (WaitForSingleObject(started.get(), timeout_ms) == WAIT_OBJECT_0) {
    GetExitCodeProcess(started.get(), &code);
  } else {
    TerminateProcess(started.get(), kNotFinished);
    WaitForSingleObject(started.get(), 5000);
  }
  return code;
}

namespace internal {

struct BoxSearch {
  DWORD process_id;
  HWND box;
};

inline BOOL CALLBACK FindVisibleBox(HWND window, LPARAM param) {
  auto* search = reinterpret_cast<BoxSearch*>(param);
  char window_class[64] = {};
  GetClassNameA(window, window_class, sizeof window_class);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner == search->process_id && std::string(window_class) == "#32770" &&
      IsWindowVisible(window)) {
    search->box = window;
    return FALSE;
  }
  return TRUE;
}

}  // namespace internal

// The visible message box (class "#32770") of the process; null when none is up.
inline HWND VisibleMessageBoxOf(DWORD process_id) {
  internal::BoxSearch search = {process_id, nullptr};
  EnumWindows(&internal::FindVisibleBox, reinterpret_cast<LPARAM>(&search));
  return search.box;
}

}  // namespace nox::e2e
