// Uninstall.exe: runs the NSIS uninstaller beside it (UninstallCore.exe),
// waits for it and ends with its exit code.
//
// An NSIS uninstaller started directly copies itself to the temporary folder,
// starts the copy and ends at once with 0, before any of its script runs: a
// deployment script waiting for it would see success before anything
// happened. Started with "_?=FOLDER" it runs in place and returns its real
// exit code; this launcher starts a temporary copy that way, so that the
// uninstaller can remove its own file from the install folder.
#include <string>
#include <utility>

#include "platform/win32/scoped_handles.h"
#include "platform/win32/win32_api.h"

namespace {

using platform::win32::ScopedHandle;

constexpr wchar_t kCoreName[] = L"UninstallCore.exe";
constexpr DWORD kFailed = 1;

// The temporary copy of the uninstaller, deleted when the launcher is done
// with it (at the next start when it cannot be deleted now).
class TemporaryCopy {
 public:
  explicit TemporaryCopy(std::wstring path) : path_(std::move(path)) {}
  ~TemporaryCopy() {
    if (!DeleteFileW(path_.c_str())) {
      MoveFileExW(path_.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
    }
  }
  TemporaryCopy(const TemporaryCopy&) = delete;
  TemporaryCopy& operator=(const TemporaryCopy&) = delete;
  const std::wstring& path() const { return path_; }

 private:
  std::wstring path_;
};

// The folder of this program, without a final backslash.
std::wstring OwnFolder() {
  std::wstring path(32768, L'\0');
  const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
  path.resize(length);
  return path.substr(0, path.find_last_of(L'\\'));
}

// The text after the program name, split off as CreateProcess splits it.
std::wstring ArgumentsOf(const wchar_t* command_line) {
  const wchar_t* rest = command_line;
  if (*rest == L'"') {
    ++rest;
    while (*rest != L'\0' && *rest != L'"') ++rest;
    if (*rest == L'"') ++rest;
  } else {
    while (*rest != L'\0' && *rest != L' ' && *rest != L'\t') ++rest;
  }
  while (*rest == L' ' || *rest == L'\t') ++rest;
  return rest;
}

// Whether the arguments ask for a silent run ("/S" as one word, as NSIS reads it).
bool IsSilent(const std::wstring& arguments) {
  size_t at = 0;
  while ((at = arguments.find(L"/S", at)) != std::wstring::npos) {
    const bool starts = at == 0 || arguments[at - 1] == L' ';
    const bool ends = at + 2 == arguments.size() || arguments[at + 2] == L' ';
    if (starts && ends) return true;
    at += 2;
  }
  return false;
}

DWORD Fail(const std::wstring& arguments, const std::wstring& message) {
  if (!IsSilent(arguments)) {
    MessageBoxW(nullptr, message.c_str(), L"Nox Uninstall", MB_OK | MB_ICONERROR);
  }
  return kFailed;
}

// Copies the uninstaller into the temporary folder under a name of its own.
bool CopyToTemporaryFolder(const std::wstring& core, std::wstring* copy) {
  wchar_t folder[MAX_PATH + 1] = {};
  if (GetTempPathW(MAX_PATH + 1, folder) == 0) return false;
  *copy =
      std::wstring(folder) + L"Nox-Uninstall-" + std::to_wstring(GetCurrentProcessId()) + L".exe";
  return CopyFileW(core.c_str(), copy->c_str(), FALSE) != FALSE;
}

// Runs the command line and returns the program's exit code, or kFailed
// when it could not be started.
DWORD RunAndWait(const std::wstring& program, std::wstring command_line) {
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  if (!CreateProcessW(program.c_str(), command_line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      nullptr, &startup, &process)) {
    return kFailed;
  }
  ScopedHandle process_handle(process.hProcess);
  ScopedHandle thread_handle(process.hThread);
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD code = kFailed;
  GetExitCodeProcess(process.hProcess, &code);
  return code;
}

DWORD RunUninstaller() {
  const std::wstring arguments = ArgumentsOf(GetCommandLineW());
  const std::wstring folder = OwnFolder();
  const std::wstring core = folder + L"\\" + kCoreName;
  if (GetFileAttributesW(core.c_str()) == INVALID_FILE_ATTRIBUTES) {
    return Fail(arguments, core + L" is missing: Nox cannot be removed from here.");
  }
  std::wstring copy_path;
  if (!CopyToTemporaryFolder(core, &copy_path)) {
    return Fail(arguments, L"The uninstaller could not be copied to the temporary folder.");
  }
  TemporaryCopy copy(copy_path);
  // "_?=" must come last and takes the rest of the line, blanks included.
  std::wstring command_line = L"\"" + copy.path() + L"\" ";
  if (!arguments.empty()) command_line += arguments + L" ";
  command_line += L"_?=" + folder;
  return RunAndWait(copy.path(), command_line);
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) { return static_cast<int>(RunUninstaller()); }
