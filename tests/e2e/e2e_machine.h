// A Windows machine inside the test run's Wine prefix, laid out for the
// login program: its tables in the system directory, explorer.exe and
// Clearway.exe with their DLLs in a program directory, and stubs that record how the shell and
// pelorus.exe were started. Helpers start explorer.exe under a chosen logon
// name and drive its window and message boxes from outside, as a user would.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "explorer/records.h"
#include "platform/win32/scoped_handles.h"
#include "platform/win32/win32_api.h"

namespace nox::e2e {

inline constexpr const char* kRoot = "C:\\nox-e2e";
inline constexpr const char* kProgramDir = "C:\\nox-e2e\\Nox";
inline constexpr const char* kStartsLog = "C:\\nox-e2e\\starts.log";

struct StartRecord {
  std::string program;  // file name of the stub that ran
  int show = -1;        // wShowWindow it was started with
  std::string command_line;
};

struct RegData {
  DWORD type = 0;
  std::string bytes;
};

struct MessageBoxSeen {
  std::string title;
  std::string text;
};

class Machine {
 public:
  // Lays the machine out afresh: earlier tables, registry values written by
  // a login and recorded starts are removed.
  void SetUp();
  // Stops a program still running and restores Wine's explorer.exe (and
  // its session end).
  void TearDown();

  // Wine ends a session by starting the system directory's wineboot.exe,
  // which would end every program of the prefix, this test's too. Until
  // TearDown the stub stands in for it and records how it was asked.
  void InterceptSessionEnd();

  std::string SystemDir() const;   // with its final "\"
  std::string WindowsDir() const;  // without

  void WriteUserTable(const std::vector<UserRecord>& records);
  void WriteSystemFile(const std::string& name, const std::string& bytes);
  bool SystemFileExists(const std::string& name) const;
  std::optional<std::string> ReadSystemFile(const std::string& name) const;

  // Starts explorer.exe with the given text after the program name. False
  // when it could not be started.
  bool StartExplorer(const std::string& arguments = "");
  // Starts a program of the program directory ("Clearway.exe") likewise;
  // `show` (SW_...) is the window state asked for, -1 none.
  bool StartProgram(const std::string& program, const std::string& arguments = "", int show = -1);
  // Waits for the program to end; false after `timeout_ms`.
  bool WaitForExit(DWORD timeout_ms = 30000);
  DWORD ExitCode() const;

  // The login window once it is visible, or null after `timeout_ms`.
  HWND WaitForLoginWindow(DWORD timeout_ms = 15000);
  // A message box of explorer.exe once one is up; nullopt after `timeout_ms`.
  // `box` gets its window.
  std::optional<MessageBoxSeen> WaitForMessageBox(HWND* box, DWORD timeout_ms = 15000);
  void DismissMessageBox(HWND box);

  std::vector<StartRecord> Starts() const;
  // The starts once `count` are recorded (the stubs run on their own), or
  // those recorded after `timeout_ms`.
  std::vector<StartRecord> WaitForStarts(size_t count, DWORD timeout_ms = 10000) const;
  // The stubs a login started may still be on their way to the starts log
  // or to their end: waits (up to 10 s) until none runs.
  void WaitForStubs() const;
  // What explorer.exe shows, for a failure message.
  std::string Diagnose();

 private:
  void CopyProgramFiles();
  void Clean();
  // A login switches the Start menu's folders; the prefix gets its own back.
  void SaveShellFolders();
  void RestoreShellFolders();

  struct SavedValue {
    HKEY root;
    std::string key;
    std::string name;
    RegData data;
  };
  std::vector<SavedValue> shell_folders_;
  bool shell_folders_saved_ = false;

  // The program started last.
  platform::win32::ScopedHandle process_;
  platform::win32::ScopedHandle thread_;
  DWORD process_id_ = 0;
  bool session_end_intercepted_ = false;
};

// The Windows logon name every program of the run sees: Wine takes it from
// the USER variable of the Unix process that started the run (a Windows
// parent cannot change it for its children).
std::string LogonName();

// The login window's edits in creation order: 0 user name, 1 password.
HWND LoginEdit(HWND window, int index);
std::string WindowText(HWND window);
void SetWindowTextOf(HWND window, const std::string& text);
void Click(HWND button);
// A key pressed and released in `window`, as the keyboard would send it.
void PressKey(HWND window, WPARAM key);

std::optional<RegData> ReadRegValue(HKEY root, const std::string& key, const std::string& name);
// REG_DWORD value, or nullopt when missing or of another type.
std::optional<DWORD> ReadDword(HKEY root, const std::string& key, const std::string& name);
// REG_SZ value without its terminating zero.
std::optional<std::string> ReadText(HKEY root, const std::string& key, const std::string& name);
void DeleteRegTree(HKEY root, const std::string& key);
void WriteRegText(HKEY root, const std::string& key, const std::string& name,
                  const std::string& value);

UserRecord MakeUser(const std::string& name, const std::string& password,
                    const std::string& triple);
double OleNow();

}  // namespace nox::e2e
