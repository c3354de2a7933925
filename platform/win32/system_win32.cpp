// Version, directories, logon name, drives, clock, programs, the session,
// libraries, message boxes and the screen over kernel32, advapi32 and user32.
#include <map>
#include <vector>

#include "platform/platform.h"
#include "platform/win32/scoped_handles.h"
#include "platform/win32/win32_api.h"

namespace platform {

namespace {

using win32::ScopedHandle;

// A string from a ...A call that fills a MAX_PATH buffer and returns its
// length (0 on failure).
template <typename Call>
std::string PathFrom(Call call) {
  char buffer[MAX_PATH + 1] = {};
  DWORD length = call(buffer, static_cast<DWORD>(MAX_PATH));
  if (length == 0 || length > MAX_PATH) return "";
  return std::string(buffer, length);
}

WORD ShowCommand(WindowState state) {
  switch (state) {
    case WindowState::kHidden:
      return SW_HIDE;
    case WindowState::kNormalFocus:
      return SW_SHOWNORMAL;
    case WindowState::kMinimizedFocus:
      return SW_SHOWMINIMIZED;
    case WindowState::kMaximizedFocus:
      return SW_SHOWMAXIMIZED;
    case WindowState::kNormalNoFocus:
      return SW_SHOWNOACTIVATE;
    case WindowState::kMinimizedNoFocus:
      return SW_SHOWMINNOACTIVE;
  }
  return SW_SHOWNORMAL;
}

// "D:" or "D:\" -> "D:\" (the Win32 drive calls want the root's backslash).
std::string DriveRoot(const std::string& drive) {
  if (drive.size() == 2 && drive[1] == ':') return drive + "\\";
  return drive;
}

// Library names as cache keys. Only ASCII letters are folded: user32's
// CharUpperBuff would load user32 into every program that binds a library,
// and a name that differs in other letters merely loads a second time.
std::string UpperCase(std::string text) {
  for (char& c : text) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return text;
}

}  // namespace

bool GetOsVersion(OsVersion* version) {
  OSVERSIONINFOA info = {};
  info.dwOSVersionInfoSize = sizeof info;
  static_assert(sizeof(OSVERSIONINFOA) == 148);
  if (!GetVersionExA(&info)) return false;
  version->platform_id = info.dwPlatformId;
  version->major = info.dwMajorVersion;
  version->minor = info.dwMinorVersion;
  version->build = info.dwBuildNumber;
  return true;
}

std::string SystemDirectory() {
  return PathFrom([](char* buffer, DWORD size) { return GetSystemDirectoryA(buffer, size); });
}

std::string WindowsDirectory() {
  return PathFrom([](char* buffer, DWORD size) { return GetWindowsDirectoryA(buffer, size); });
}

std::string ProgramDirectory() {
  std::string file =
      PathFrom([](char* buffer, DWORD size) { return GetModuleFileNameA(nullptr, buffer, size); });
  size_t slash = file.find_last_of('\\');
  return slash == std::string::npos ? file : file.substr(0, slash);
}

std::string CurrentDirectory() {
  return PathFrom([](char* buffer, DWORD size) { return GetCurrentDirectoryA(size, buffer); });
}

bool GetLogonUserName(std::string* name) {
  char buffer[256] = {};
  DWORD size = 255;
  if (!GetUserNameA(buffer, &size)) return false;
  *name = buffer;
  return true;
}

std::string ComputerName() {
  char buffer[MAX_COMPUTERNAME_LENGTH + 1] = {};
  DWORD size = sizeof buffer;
  if (!GetComputerNameA(buffer, &size)) return "";
  return std::string(buffer, size);
}

uint32_t GetDriveType(const std::string& root) {
  return GetDriveTypeA(root.empty() ? nullptr : DriveRoot(root).c_str());
}

uint32_t LogicalDrives() { return GetLogicalDrives(); }

std::string GetVolumeLabel(const std::string& drive) {
  // No "insert a disk" box for an empty drive: just no label.
  UINT previous_mode = SetErrorMode(SEM_FAILCRITICALERRORS);
  char label[MAX_PATH + 1] = {};
  BOOL ok = GetVolumeInformationA(DriveRoot(drive).c_str(), label, sizeof label, nullptr, nullptr,
                                  nullptr, nullptr, 0);
  SetErrorMode(previous_mode);
  return ok ? std::string(label) : "";
}

LocalTime Now() {
  SYSTEMTIME time = {};
  GetLocalTime(&time);
  return LocalTime{time.wYear,   time.wMonth,  time.wDay,         time.wHour,
                   time.wMinute, time.wSecond, time.wMilliseconds};
}

bool StartProgram(const std::string& command_line, WindowState state) {
  ReleaseKeptRegKeys();
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = ShowCommand(state);
  PROCESS_INFORMATION process = {};
  std::vector<char> writable(command_line.begin(), command_line.end());
  writable.push_back('\0');
  if (!CreateProcessA(nullptr, writable.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process)) {
    return false;
  }
  ScopedHandle process_handle(process.hProcess);
  ScopedHandle thread_handle(process.hThread);
  return true;
}

bool ExitWindows(uint32_t flags, uint32_t reserved) {
  return ExitWindowsEx(flags, reserved) != FALSE;
}

void EndProgram(int exit_code) { ExitProcess(static_cast<UINT>(exit_code)); }

namespace {

// Loaded once and kept for the life of the process, as a Declare'd library
// is; nullptr when it does not load.
HMODULE LoadedLibrary(const std::string& library_name) {
  static std::map<std::string, HMODULE> loaded;
  HMODULE& module = loaded[UpperCase(library_name)];
  if (module == nullptr) module = LoadLibraryA(library_name.c_str());
  return module;
}

}  // namespace

void* FindLibraryExport(const std::string& library_name, const std::string& export_name) {
  const HMODULE module = LoadedLibrary(library_name);
  if (module == nullptr) return nullptr;
  return reinterpret_cast<void*>(GetProcAddress(module, export_name.c_str()));
}

bool LibraryLoads(const std::string& library_name) {
  return LoadedLibrary(library_name) != nullptr;
}

int MessageBox(const std::string& text, const std::string& title, uint32_t flags) {
  ReleaseKeptRegKeys();
  return MessageBoxA(nullptr, text.c_str(), title.c_str(), flags);
}

void ScreenSizeTwips(double* width, double* height) {
  *width = GetSystemMetrics(SM_CXSCREEN) * 15.0;
  *height = GetSystemMetrics(SM_CYSCREEN) * 15.0;
}

}  // namespace platform
