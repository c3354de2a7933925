// The host system in noxadmin.exe.
#include <fcntl.h>
#include <io.h>

#include <cstdio>

#include "common/service_protocol.h"
#include "noxadmin/host.h"
#include "noxadmin/problem.h"
#include "platform/win32/scoped_handles.h"
#include "platform/win32/win32_api.h"

namespace nox::admin {

int ProcessId() { return static_cast<int>(GetCurrentProcessId()); }

bool ProcessRunning(int process_id) {
  if (process_id <= 0) return false;
  const platform::win32::ScopedHandle process(
      OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, static_cast<DWORD>(process_id)));
  // A process we may not open exists all the same.
  if (!process.valid()) return GetLastError() == ERROR_ACCESS_DENIED;
  DWORD exit_code = 0;
  return GetExitCodeProcess(process.get(), &exit_code) && exit_code == STILL_ACTIVE;
}

bool NoxServiceInstalled() {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kServiceKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
    return false;
  }
  RegCloseKey(key);
  return true;
}

std::optional<std::string> SystemDirectory() {
  char buffer[MAX_PATH + 1] = {};
  const UINT length = GetSystemDirectoryA(buffer, sizeof buffer);
  if (length == 0 || length > MAX_PATH) throw Refusal("cannot find the system directory");
  return std::string(buffer, length);
}

std::tm LocalCalendarTime(std::time_t time) {
  std::tm local{};
  localtime_s(&local, &time);
  return local;
}

void UseBinaryStandardOutput() { _setmode(_fileno(stdout), _O_BINARY); }

}  // namespace nox::admin
