// The host's files in noxadmin.exe.
#include "platform/win32/win32_api.h"
// After <windows.h>, which it needs.
#include <aclapi.h>

#include "noxadmin/files.h"
#include "noxadmin/host.h"
#include "platform/win32/acl_win32.h"
#include "platform/win32/scoped_handles.h"

namespace nox::admin {
namespace {

// Clears read-only, hidden and system, which would make a replace fail.
void MakeReplaceable(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES &&
      (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM))) {
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  }
}

bool WriteAll(HANDLE file, std::string_view bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    DWORD written = 0;
    if (!WriteFile(file, bytes.data() + done, static_cast<DWORD>(bytes.size() - done), &written,
                   nullptr)) {
      return false;
    }
    done += written;
  }
  return true;
}

// The replacement takes the replaced file's access rules, so a table that
// only SYSTEM and Administrators may open stays so (a new file would get the
// folder's, which let Users read). Bound at run time: Windows 95/98 has no
// file security. A failure leaves the folder's rules.
void CarryDescriptor(const std::string& from, const std::string& to) {
  using GetFn = DWORD(WINAPI*)(LPCSTR, SE_OBJECT_TYPE, SECURITY_INFORMATION, PSID*, PSID*, PACL*,
                               PACL*, PSECURITY_DESCRIPTOR*);
  using SetFn = DWORD(WINAPI*)(LPSTR, SE_OBJECT_TYPE, SECURITY_INFORMATION, PSID, PSID, PACL, PACL);
  const HMODULE advapi = GetModuleHandleA("advapi32.dll");
  if (advapi == nullptr) return;
  const auto get_info = reinterpret_cast<GetFn>(
      reinterpret_cast<void*>(GetProcAddress(advapi, "GetNamedSecurityInfoA")));
  const auto set_info = reinterpret_cast<SetFn>(
      reinterpret_cast<void*>(GetProcAddress(advapi, "SetNamedSecurityInfoA")));
  if (get_info == nullptr || set_info == nullptr) return;
  PACL dacl = nullptr;
  platform::win32::ScopedLocal<PSECURITY_DESCRIPTOR> descriptor;
  if (get_info(to.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl,
               nullptr, descriptor.receive()) != ERROR_SUCCESS) {
    return;
  }
  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision = 0;
  GetSecurityDescriptorControl(descriptor.get(), &control, &revision);
  const SECURITY_INFORMATION kind =
      DACL_SECURITY_INFORMATION |
      ((control & SE_DACL_PROTECTED) != 0 ? PROTECTED_DACL_SECURITY_INFORMATION
                                          : UNPROTECTED_DACL_SECURITY_INFORMATION);
  std::string target = from;
  set_info(target.data(), SE_FILE_OBJECT, kind, nullptr, nullptr, dacl, nullptr);
}

}  // namespace

const char kPathSeparator = '\\';
const bool kHostTextIsAnsi = true;

bool IsDirectory(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::vector<std::string> ListFolder(const std::string& dir) {
  std::vector<std::string> names;
  WIN32_FIND_DATAA found;
  const platform::win32::ScopedFind find(FindFirstFileA(JoinPath(dir, "*").c_str(), &found));
  if (!find.valid()) throw Refusal("cannot list the folder " + dir + ": " + LastErrorText());
  do {
    const std::string name = found.cFileName;
    if (name != "." && name != "..") names.push_back(name);
  } while (FindNextFileA(find.get(), &found));
  return names;
}

void WriteNewFile(const std::string& path, std::string_view bytes, const std::string&) {
  std::string reason;
  {
    const platform::win32::ScopedFile file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr,
                                                       CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) throw Refusal("cannot create " + path + ": " + LastErrorText());
    if (WriteAll(file.get(), bytes) && FlushFileBuffers(file.get())) return;
    reason = LastErrorText();
  }
  DeleteFileA(path.c_str());
  throw Refusal("cannot write " + path + ": " + reason);
}

void ReplaceWith(const std::string& from, const std::string& to) {
  MakeReplaceable(to);
  CarryDescriptor(from, to);
  if (!MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    throw Refusal("cannot rename " + from + " to " + to + ": " + LastErrorText());
  }
}

bool RemoveFile(const std::string& path) {
  MakeReplaceable(path);
  return DeleteFileA(path.c_str()) != 0;
}

bool UsersCanReadFile(const std::string& path) { return platform::win32::FileLetsUsersRead(path); }

std::string LastErrorText() {
  char buffer[512] = {};
  const DWORD error = GetLastError();
  FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0,
                 buffer, sizeof buffer, nullptr);
  std::string text = buffer;
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) {
    text.pop_back();
  }
  return text.empty() ? "error " + std::to_string(error) : text;
}

}  // namespace nox::admin
