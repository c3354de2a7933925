// Loading other users' hives for the uninstall: the privileges it takes and
// the environment a profile path is written in.
#include <string>

#include "platform/platform.h"
#include "platform/win32/scoped_handles.h"
#include "platform/win32/win32_api.h"

namespace platform {
namespace {

// Enables one privilege the process token holds; false when it holds none.
bool EnablePrivilege(HANDLE token, const char* name) {
  TOKEN_PRIVILEGES privileges{};
  privileges.PrivilegeCount = 1;
  privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
  if (!LookupPrivilegeValueA(nullptr, name, &privileges.Privileges[0].Luid)) return false;
  // AdjustTokenPrivileges succeeds for a privilege the token lacks and says
  // so only through the last error.
  return AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr) &&
         GetLastError() == ERROR_SUCCESS;
}

long EnableHivePrivileges() {
  win32::ScopedHandle token;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY,
                        token.receive())) {
    return static_cast<long>(GetLastError());
  }
  if (!EnablePrivilege(token.get(), SE_RESTORE_NAME) ||
      !EnablePrivilege(token.get(), SE_BACKUP_NAME)) {
    return ERROR_PRIVILEGE_NOT_HELD;
  }
  return ERROR_SUCCESS;
}

// Windows writes a loaded hive's changes to its file; Wine's RegUnLoadKey
// drops them, so there the hive is saved over its file instead.
bool RunsOnWine() {
  const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

bool SaveLoadedHive(const std::string& name, const std::string& file) {
  win32::ScopedKey hive;
  if (RegOpenKeyExA(HKEY_USERS, name.c_str(), 0, KEY_READ, hive.receive()) != ERROR_SUCCESS) {
    return false;
  }
  return RegSaveKeyA(hive.get(), file.c_str(), nullptr) == ERROR_SUCCESS;
}

}  // namespace

std::string ExpandEnvironmentText(const std::string& text) {
  const DWORD needed = ExpandEnvironmentStringsA(text.c_str(), nullptr, 0);
  if (needed == 0) return text;
  std::string expanded(needed, '\0');
  const DWORD written = ExpandEnvironmentStringsA(text.c_str(), expanded.data(), needed);
  if (written == 0 || written > needed) return text;
  expanded.resize(written - 1);
  return expanded;
}

long LoadUserHiveFile(const std::string& name, const std::string& file) {
  if (const long enabled = EnableHivePrivileges(); enabled != ERROR_SUCCESS) return enabled;
  return RegLoadKeyA(HKEY_USERS, name.c_str(), file.c_str());
}

long UnloadUserHiveFile(const std::string& name, const std::string& file) {
  if (const long enabled = EnableHivePrivileges(); enabled != ERROR_SUCCESS) return enabled;
  if (!RunsOnWine()) return RegUnLoadKeyA(HKEY_USERS, name.c_str());
  const std::string saved = file + ".saving";
  DeleteFileA(saved.c_str());
  const bool kept = SaveLoadedHive(name, saved);
  const long unloaded = RegUnLoadKeyA(HKEY_USERS, name.c_str());
  if (unloaded == ERROR_SUCCESS && kept &&
      MoveFileExA(saved.c_str(), file.c_str(), MOVEFILE_REPLACE_EXISTING)) {
    return ERROR_SUCCESS;
  }
  DeleteFileA(saved.c_str());
  return unloaded != ERROR_SUCCESS ? unloaded : static_cast<long>(ERROR_WRITE_FAULT);
}

}  // namespace platform
