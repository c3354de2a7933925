#include "tests/e2e/e2e_machine.h"

#include <cstring>
#include <fstream>
#include <sstream>

#include "common/ole_date.h"
#include "platform/win32/scoped_handles.h"
#include "tests/e2e/e2e_helpers.h"
// After win32_api.h (through e2e_machine.h), which it needs.
#include <tlhelp32.h>

namespace nox::e2e {
namespace {

using nox::e2e::OwnDirectory;
using platform::win32::ScopedKey;

// Every file the earlier tests or logins may have left in the system directory.
const char* const kSystemFiles[] = {"USER.TBL", "NoxSettings.TBL", "user.cur",     "1.TBL",
                                    "2.TBL",    "3.TBL",           "Timedate.cpl", "123456789.123"};

constexpr const char* kDllOverrides = "Software\\Wine\\DllOverrides";

const char* const kWrittenKeys[][2] = {
    {"HKLM", "Software\\Quillon"},
    {"HKCU", "Software\\Quillon"},
    {"HKCU", "Software\\Microsoft\\Windows\\CurrentVersion\\Policies"},
    {"HKCU", "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\Zones\\3"},
    {"HKCU", "Software\\Policies"},
    {"HKCU", "Software\\Microsoft\\Windows Script Host\\Settings"},
    {"HKCU", "Control Panel\\Accessibility\\StickyKeys"},
    {"HKCU", "Control Panel\\Accessibility\\Keyboard Response"},
    {"HKCU", "Control Panel\\Accessibility\\ToggleKeys"},
};

// Where a login saves and switches the Start menu's folders.
const char* const kShellFolderKeys[][2] = {
    {"HKCU", "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders"},
    {"HKCU", "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders"},
    {"HKLM", "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders"},
    {"HKLM", "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders"},
};

HKEY Root(const char* word) {
  return std::strcmp(word, "HKLM") == 0 ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
}

// True while a program started from one of `images` (full paths) runs.
bool AnyRunningFrom(const std::vector<std::string>& images) {
  using platform::win32::ScopedHandle;
  ScopedHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  PROCESSENTRY32 entry = {};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32First(snapshot.get(), &entry); more;
       more = Process32Next(snapshot.get(), &entry)) {
    ScopedHandle process(
        OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, entry.th32ProcessID));
    char image[MAX_PATH] = {};
    DWORD size = MAX_PATH;
    if (!process.valid() || !QueryFullProcessImageNameA(process.get(), 0, image, &size)) continue;
    for (const std::string& wanted : images) {
      if (_stricmp(image, wanted.c_str()) == 0) return true;
    }
  }
  return false;
}

}  // namespace

std::string Machine::SystemDir() const {
  char path[MAX_PATH] = {};
  GetSystemDirectoryA(path, MAX_PATH);
  std::string dir = path;
  if (dir.back() != '\\') dir += '\\';
  return dir;
}

std::string Machine::WindowsDir() const {
  char path[MAX_PATH] = {};
  GetWindowsDirectoryA(path, MAX_PATH);
  return path;
}

void Machine::SetUp() {
  SaveShellFolders();
  Clean();
  CopyProgramFiles();
}

void Machine::TearDown() {
  if (process_.valid() && WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT) {
    TerminateProcess(process_.get(), 99);
    WaitForSingleObject(process_.get(), 5000);
  }
  process_.Reset();
  thread_.Reset();
  // A line a stub writes after the next Clean would count as the next test's.
  WaitForStubs();
  const std::string shell = WindowsDir() + "\\explorer.exe";
  const std::string saved = std::string(kRoot) + "\\wine-explorer.exe";
  if (GetFileAttributesA(saved.c_str()) != INVALID_FILE_ATTRIBUTES) {
    CopyFileA(saved.c_str(), shell.c_str(), FALSE);
  }
  if (session_end_intercepted_) {
    ScopedKey overrides;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kDllOverrides, 0, KEY_ALL_ACCESS, overrides.receive()) ==
        ERROR_SUCCESS) {
      RegDeleteValueA(overrides.get(), "wineboot.exe");
    }
    CopyFileA((std::string(kRoot) + "\\wine-wineboot.exe").c_str(),
              (SystemDir() + "wineboot.exe").c_str(), FALSE);
    session_end_intercepted_ = false;
  }
  RestoreShellFolders();
}

void Machine::SaveShellFolders() {
  shell_folders_.clear();
  for (const auto& [root_word, path] : kShellFolderKeys) {
    ScopedKey key;
    if (RegOpenKeyExA(Root(root_word), path, 0, KEY_READ, key.receive()) != ERROR_SUCCESS) continue;
    char name[16384];
    std::vector<char> data(65536);
    for (DWORD index = 0;; ++index) {
      DWORD name_size = sizeof name;
      DWORD data_size = static_cast<DWORD>(data.size());
      DWORD type = 0;
      if (RegEnumValueA(key.get(), index, name, &name_size, nullptr, &type,
                        reinterpret_cast<BYTE*>(data.data()), &data_size) != ERROR_SUCCESS) {
        break;
      }
      shell_folders_.push_back({Root(root_word),
                                path,
                                std::string(name, name_size),
                                {type, std::string(data.data(), data_size)}});
    }
  }
  shell_folders_saved_ = true;
}

// Removes the values a login added and puts the saved ones back.
void Machine::RestoreShellFolders() {
  if (!shell_folders_saved_) return;
  for (const auto& [root_word, path] : kShellFolderKeys) {
    ScopedKey key;
    if (RegOpenKeyExA(Root(root_word), path, 0, KEY_ALL_ACCESS, key.receive()) != ERROR_SUCCESS) {
      continue;
    }
    std::vector<std::string> names;
    char name[16384];
    for (DWORD index = 0;; ++index) {
      DWORD name_size = sizeof name;
      if (RegEnumValueA(key.get(), index, name, &name_size, nullptr, nullptr, nullptr, nullptr) !=
          ERROR_SUCCESS) {
        break;
      }
      names.emplace_back(name, name_size);
    }
    for (const std::string& value : names) RegDeleteValueA(key.get(), value.c_str());
  }
  for (const SavedValue& value : shell_folders_) {
    ScopedKey key;
    if (RegCreateKeyExA(value.root, value.key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        key.receive(), nullptr) != ERROR_SUCCESS) {
      continue;
    }
    RegSetValueExA(key.get(), value.name.c_str(), 0, value.data.type,
                   reinterpret_cast<const BYTE*>(value.data.bytes.data()),
                   static_cast<DWORD>(value.data.bytes.size()));
  }
  shell_folders_saved_ = false;
}

void Machine::InterceptSessionEnd() {
  const std::string wineboot = SystemDir() + "wineboot.exe";
  const std::string saved = std::string(kRoot) + "\\wine-wineboot.exe";
  if (GetFileAttributesA(saved.c_str()) == INVALID_FILE_ATTRIBUTES) {
    CopyFileA(wineboot.c_str(), saved.c_str(), TRUE);
  }
  CopyFileA((OwnDirectory() + "\\e2e_start_recorder.exe").c_str(), wineboot.c_str(), FALSE);
  WriteRegText(HKEY_CURRENT_USER, kDllOverrides, "wineboot.exe", "native");
  session_end_intercepted_ = true;
}

void Machine::WaitForStubs() const {
  const std::vector<std::string> stubs = {WindowsDir() + "\\explorer.exe",
                                          std::string(kProgramDir) + "\\pelorus.exe"};
  for (DWORD waited = 0; waited < 10000 && AnyRunningFrom(stubs); waited += 50) Sleep(50);
}

void Machine::Clean() {
  for (const char* name : kSystemFiles) DeleteFileA((SystemDir() + name).c_str());
  for (const auto& key : kWrittenKeys) DeleteRegTree(Root(key[0]), key[1]);
  DeleteFileA(kStartsLog);
}

void Machine::CopyProgramFiles() {
  CreateDirectoryA(kRoot, nullptr);
  CreateDirectoryA(kProgramDir, nullptr);
  const std::string bin = OwnDirectory();
  const std::string program_dir = kProgramDir;
  for (const char* file : {"explorer.exe", "Clearway.exe", "CLASPS.dll", "Tessel.dll"}) {
    CopyFileA((bin + "\\" + file).c_str(), (program_dir + "\\" + file).c_str(), FALSE);
  }
  const std::string stub = bin + "\\e2e_start_recorder.exe";
  CopyFileA(stub.c_str(), (program_dir + "\\pelorus.exe").c_str(), FALSE);
  // Wine's own Explorer is kept aside once and put back at the end.
  const std::string shell = WindowsDir() + "\\explorer.exe";
  const std::string saved = std::string(kRoot) + "\\wine-explorer.exe";
  if (GetFileAttributesA(saved.c_str()) == INVALID_FILE_ATTRIBUTES) {
    CopyFileA(shell.c_str(), saved.c_str(), TRUE);
  }
  CopyFileA(stub.c_str(), shell.c_str(), FALSE);
}

void Machine::WriteUserTable(const std::vector<UserRecord>& records) {
  std::string bytes;
  for (const UserRecord& record : records) {
    UserRecordBytes encoded = EncodeUserRecord(record);
    bytes.append(encoded.data(), encoded.size());
  }
  WriteSystemFile("USER.TBL", bytes);
}

void Machine::WriteSystemFile(const std::string& name, const std::string& bytes) {
  std::ofstream out(SystemDir() + name, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

bool Machine::SystemFileExists(const std::string& name) const {
  return GetFileAttributesA((SystemDir() + name).c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::optional<std::string> Machine::ReadSystemFile(const std::string& name) const {
  std::ifstream in(SystemDir() + name, std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

std::string LogonName() {
  char name[256] = {};
  GetEnvironmentVariableA("USER", name, sizeof name);
  return name;
}

bool Machine::StartExplorer(const std::string& arguments) {
  return StartProgram("explorer.exe", arguments);
}

bool Machine::StartProgram(const std::string& program_name, const std::string& arguments,
                           int show) {
  process_.Reset();
  thread_.Reset();
  const std::string program = std::string(kProgramDir) + "\\" + program_name;
  std::string command_line = program_name;
  if (!arguments.empty()) command_line += " " + arguments;
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  if (show >= 0) {
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = static_cast<WORD>(show);
  }
  // Under load, Wine now and then refuses to start a program whose file the
  // previous test's process is still letting go of: try again for a while.
  for (int attempt = 0; attempt < 20; ++attempt) {
    PROCESS_INFORMATION started = {};
    if (CreateProcessA(program.c_str(), command_line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                       kProgramDir, &startup, &started) != FALSE) {
      process_.Reset(started.hProcess);
      thread_.Reset(started.hThread);
      process_id_ = started.dwProcessId;
      return true;
    }
    Sleep(100);
  }
  return false;
}

bool Machine::WaitForExit(DWORD timeout_ms) {
  return WaitForSingleObject(process_.get(), timeout_ms) == WAIT_OBJECT_0;
}

DWORD Machine::ExitCode() const {
  DWORD code = STILL_ACTIVE;
  GetExitCodeProcess(process_.get(), &code);
  return code;
}

HWND Machine::WaitForLoginWindow(DWORD timeout_ms) {
  for (DWORD waited = 0; waited < timeout_ms; waited += 50) {
    HWND window = FindWindowA(nullptr, "Nox Login");
    if (window != nullptr && IsWindowVisible(window) && LoginEdit(window, 1) != nullptr) {
      return window;
    }
    if (WaitForSingleObject(process_.get(), 50) == WAIT_OBJECT_0) return nullptr;
  }
  return nullptr;
}

std::optional<MessageBoxSeen> Machine::WaitForMessageBox(HWND* box, DWORD timeout_ms) {
  for (DWORD waited = 0; waited < timeout_ms; waited += 50) {
    const HWND found = VisibleMessageBoxOf(process_id_);
    if (found != nullptr && GetDlgItem(found, 0xFFFF) != nullptr) {
      char text[1024] = {};
      GetDlgItemTextA(found, 0xFFFF, text, sizeof text);
      *box = found;
      return MessageBoxSeen{WindowText(found), text};
    }
    if (WaitForSingleObject(process_.get(), 50) == WAIT_OBJECT_0) return std::nullopt;
  }
  return std::nullopt;
}

void Machine::DismissMessageBox(HWND box) {
  HWND ok = GetDlgItem(box, IDOK);
  if (ok == nullptr) ok = GetDlgItem(box, IDCANCEL);
  Click(ok);
  for (int i = 0; i < 100 && IsWindow(box) && IsWindowVisible(box); ++i) Sleep(20);
}

std::vector<StartRecord> Machine::WaitForStarts(size_t count, DWORD timeout_ms) const {
  std::vector<StartRecord> starts = Starts();
  for (DWORD waited = 0; starts.size() < count && waited < timeout_ms; waited += 50) {
    Sleep(50);
    starts = Starts();
  }
  return starts;
}

std::string Machine::Diagnose() {
  HWND box = nullptr;
  auto seen = WaitForMessageBox(&box, 200);
  if (!seen) return "no message box is up";
  return "message box \"" + seen->title + "\": " + seen->text;
}

std::vector<StartRecord> Machine::Starts() const {
  std::vector<StartRecord> starts;
  std::ifstream in(kStartsLog, std::ios::binary);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const size_t first = line.find('|');
    const size_t second = line.find('|', first + 1);
    if (first == std::string::npos || second == std::string::npos) continue;
    starts.push_back({line.substr(0, first), std::atoi(line.substr(first + 1).c_str()),
                      line.substr(second + 1)});
  }
  return starts;
}

HWND LoginEdit(HWND window, int index) {
  HWND edit = FindWindowExA(window, nullptr, "Edit", nullptr);
  for (int i = 0; i < index && edit != nullptr; ++i) {
    edit = FindWindowExA(window, edit, "Edit", nullptr);
  }
  return edit;
}

std::string WindowText(HWND window) {
  char text[1024] = {};
  SendMessageTimeoutA(window, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text),
                      SMTO_ABORTIFHUNG, 5000, nullptr);
  return text;
}

void SetWindowTextOf(HWND window, const std::string& text) {
  SendMessageTimeoutA(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()),
                      SMTO_ABORTIFHUNG, 5000, nullptr);
}

void Click(HWND button) { PostMessageA(button, BM_CLICK, 0, 0); }

void PressKey(HWND window, WPARAM key) {
  PostMessageA(window, WM_KEYDOWN, key, 1);
  PostMessageA(window, WM_KEYUP, key, 1 | (1u << 30) | (1u << 31));
}

std::optional<RegData> ReadRegValue(HKEY root, const std::string& key, const std::string& name) {
  ScopedKey opened;
  if (RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, opened.receive()) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  RegData data;
  DWORD size = 0;
  LONG result = RegQueryValueExA(opened.get(), name.c_str(), nullptr, &data.type, nullptr, &size);
  if (result == ERROR_SUCCESS) {
    data.bytes.resize(size);
    result = RegQueryValueExA(opened.get(), name.c_str(), nullptr, &data.type,
                              reinterpret_cast<BYTE*>(data.bytes.data()), &size);
    data.bytes.resize(size);
  }
  if (result != ERROR_SUCCESS) return std::nullopt;
  return data;
}

std::optional<DWORD> ReadDword(HKEY root, const std::string& key, const std::string& name) {
  auto data = ReadRegValue(root, key, name);
  if (!data || data->type != REG_DWORD || data->bytes.size() != 4) return std::nullopt;
  DWORD value = 0;
  std::memcpy(&value, data->bytes.data(), 4);
  return value;
}

std::optional<std::string> ReadText(HKEY root, const std::string& key, const std::string& name) {
  auto data = ReadRegValue(root, key, name);
  if (!data || data->type != REG_SZ) return std::nullopt;
  std::string text = data->bytes;
  if (!text.empty() && text.back() == '\0') text.pop_back();
  return text;
}

void DeleteRegTree(HKEY root, const std::string& key) {
  ScopedKey opened;
  if (RegOpenKeyExA(root, key.c_str(), 0, KEY_ALL_ACCESS, opened.receive()) != ERROR_SUCCESS) {
    return;
  }
  char name[256];
  while (RegEnumKeyA(opened.get(), 0, name, sizeof name) == ERROR_SUCCESS) {
    DeleteRegTree(opened.get(), name);
  }
  opened.Reset();
  RegDeleteKeyA(root, key.c_str());
}

void WriteRegText(HKEY root, const std::string& key, const std::string& name,
                  const std::string& value) {
  ScopedKey opened;
  if (RegCreateKeyExA(root, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, opened.receive(),
                      nullptr) != ERROR_SUCCESS) {
    return;
  }
  RegSetValueExA(opened.get(), name.c_str(), 0, REG_SZ,
                 reinterpret_cast<const BYTE*>(value.c_str()),
                 static_cast<DWORD>(value.size() + 1));
}

UserRecord MakeUser(const std::string& name, const std::string& password,
                    const std::string& triple) {
  UserRecord record = UserRecord::Blank();
  SetFieldText(record.user_name, name);
  SetFieldText(record.password, password);
  SetFieldText(record.level_triple, triple);
  return record;
}

double OleNow() {
  SYSTEMTIME now;
  GetLocalTime(&now);
  platform::LocalTime time;
  time.year = now.wYear;
  time.month = now.wMonth;
  time.day = now.wDay;
  time.hour = now.wHour;
  time.minute = now.wMinute;
  time.second = now.wSecond;
  return ToOleDate(time);
}

}  // namespace nox::e2e
