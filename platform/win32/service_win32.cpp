// The service's side of the facade: the caller's hive, the client of the
// service's pipe, session log-off and the table files' protection.
//
// The security and session functions are looked up at run time: Windows 95
// and 98 lack them, and every program linking this must still start there.
#include <cstddef>
#include <cstring>
#include <utility>

#include "platform/platform.h"
#include "platform/win32/acl_win32.h"
#include "platform/win32/pipe_io_win32.h"
#include "platform/win32/scoped_handles.h"
#include "platform/win32/user_hive_win32.h"
#include "platform/win32/win32_api.h"
// After win32_api.h, which takes back the ANSI/Unicode renames they bring.
#include <aclapi.h>
#include <sddl.h>

namespace platform {

namespace {

using win32::Deadline;
using win32::ScopedFile;
using win32::ScopedLocal;

// The hive kCurrentUser stands for on this thread while a ScopedUserHive
// lives; owned by that scope.
struct UserHiveMapping {
  bool mapped = false;
  HKEY hive = nullptr;
  std::string sid;
};
thread_local UserHiveMapping user_hive_mapping;

constexpr const char* kServicePipe = "\\\\.\\pipe\\NoxService";
constexpr DWORD kRetryPauseMs = 50;
// How long a started exchange may take: the service serves one request at a
// time, and a login's work takes a while; a hung service must still not
// hold the login for ever.
constexpr DWORD kAnswerTimeoutMs = 30000;
constexpr size_t kMaxAnswerBytes = 1 << 20;
// What a client needs on the pipe: read and write the data, set message
// mode (FILE_WRITE_ATTRIBUTES). Not GENERIC_WRITE: it includes
// FILE_CREATE_PIPE_INSTANCE, which the pipe grants no client.
constexpr DWORD kClientPipeAccess = GENERIC_READ | FILE_WRITE_DATA | FILE_WRITE_ATTRIBUTES;

// Protected (no inherited entries): SYSTEM and Administrators, full control.
constexpr const char* kAdministratorsOnlySddl = "D:P(A;;FA;;;SY)(A;;FA;;;BA)";

template <typename Function>
Function Export(const char* library, const char* name) {
  return reinterpret_cast<Function>(FindLibraryExport(library, name));
}

// Opens the pipe, waiting while every instance is busy or the service is
// still starting; an invalid handle when the deadline passes first.
ScopedFile ConnectToService(const Deadline& deadline) {
  for (;;) {
    ScopedFile pipe(CreateFileA(kServicePipe, kClientPipeAccess, 0, nullptr, OPEN_EXISTING,
                                FILE_FLAG_OVERLAPPED, nullptr));
    if (pipe.valid()) return pipe;
    DWORD error = GetLastError();
    DWORD remaining = deadline.Remaining();
    if (remaining == 0) return ScopedFile();
    if (error == ERROR_PIPE_BUSY) {
      WaitNamedPipeA(kServicePipe, remaining);
    } else if (error == ERROR_FILE_NOT_FOUND) {
      Sleep(remaining < kRetryPauseMs ? remaining : kRetryPauseMs);
    } else {
      return ScopedFile();
    }
  }
}

}  // namespace

namespace win32 {

HKEY CurrentUserRoot() {
  return user_hive_mapping.mapped ? user_hive_mapping.hive : HKEY_CURRENT_USER;
}

}  // namespace win32

ScopedUserHive::ScopedUserHive(const std::string& sid) {
  HKEY hive = nullptr;
  if (RegOpenKeyExA(HKEY_USERS, sid.c_str(), 0, KEY_ALL_ACCESS, &hive) != ERROR_SUCCESS) {
    hive = nullptr;
  }
  hive_ = reinterpret_cast<RegKey>(hive);
  user_hive_mapping = UserHiveMapping{true, hive, sid};
}

ScopedUserHive::~ScopedUserHive() {
  user_hive_mapping = UserHiveMapping{};
  if (hive_ != kNoKey) ::RegCloseKey(reinterpret_cast<HKEY>(hive_));
}

bool UserHiveMapped() { return user_hive_mapping.mapped; }

std::string MappedUserSid() { return user_hive_mapping.sid; }

bool AskService(std::string_view request, uint32_t connect_timeout_ms, std::string* answer) {
  const ScopedFile pipe = ConnectToService(Deadline(connect_timeout_ms));
  if (!pipe.valid()) return false;
  DWORD mode = PIPE_READMODE_MESSAGE;
  if (!SetNamedPipeHandleState(pipe.get(), &mode, nullptr, nullptr)) return false;
  Deadline deadline(kAnswerTimeoutMs);
  if (win32::WriteMessage(pipe.get(), request, deadline, nullptr) != ERROR_SUCCESS) return false;
  return win32::ReadMessage(pipe.get(), kMaxAnswerBytes, deadline, nullptr, answer) ==
         ERROR_SUCCESS;
}

bool LogOffSession(uint32_t session_id) {
  using LogoffFunction = BOOL(WINAPI*)(HANDLE, DWORD, BOOL);
  auto logoff = Export<LogoffFunction>("wtsapi32.dll", "WTSLogoffSession");
  return logoff != nullptr && logoff(nullptr /* WTS_CURRENT_SERVER_HANDLE */, session_id, FALSE);
}

long RestrictToAdministrators(const std::string& path) {
  using FromSddlFunction = BOOL(WINAPI*)(LPCSTR, DWORD, PSECURITY_DESCRIPTOR*, PULONG);
  using DaclFunction = BOOL(WINAPI*)(PSECURITY_DESCRIPTOR, LPBOOL, PACL*, LPBOOL);
  using SetFunction =
      DWORD(WINAPI*)(LPSTR, SE_OBJECT_TYPE, SECURITY_INFORMATION, PSID, PSID, PACL, PACL);
  auto from_sddl = Export<FromSddlFunction>("advapi32.dll",
                                            "ConvertStringSecurityDescriptorToSecurityDescriptorA");
  auto get_dacl = Export<DaclFunction>("advapi32.dll", "GetSecurityDescriptorDacl");
  auto set_security = Export<SetFunction>("advapi32.dll", "SetNamedSecurityInfoA");
  if (from_sddl == nullptr || get_dacl == nullptr || set_security == nullptr) {
    return ERROR_CALL_NOT_IMPLEMENTED;
  }
  ScopedLocal<PSECURITY_DESCRIPTOR> descriptor;
  if (!from_sddl(kAdministratorsOnlySddl, SDDL_REVISION_1, descriptor.receive(), nullptr)) {
    return static_cast<long>(GetLastError());
  }
  BOOL present = FALSE;
  BOOL defaulted = FALSE;
  PACL dacl = nullptr;
  if (!get_dacl(descriptor.get(), &present, &dacl, &defaulted)) {
    return static_cast<long>(GetLastError());
  }
  std::string writable_path = path;
  return static_cast<long>(
      set_security(writable_path.data(), SE_FILE_OBJECT,
                   DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION, nullptr,
                   nullptr, dacl, nullptr));
}

bool UsersCanRead(const std::string& path) { return win32::FileLetsUsersRead(path); }

}  // namespace platform
