// Test-only control of the in-memory platform (platform/fake).
//
// Tests arrange the world the logic will see (directories, version, user,
// drives, clock, registry contents, files, library exports, message box
// answers) and read back what the logic did (program starts, session ends,
// the program's end, message boxes). Reset() puts everything back to the
// defaults below; call it at the start of every test.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"

namespace platform::fake {

// What platform::EndProgram throws in the fake, so a test sees the end of the
// program without its own process ending. Deliberately not derived from
// std::exception: no handler of the logic may mistake it for a run-time error.
struct ProgramEnded {
  int exit_code = 0;
};

// Everything back to the defaults: empty registry (the seven roots only),
// an empty C: drive holding the folders below, no records, and
//   system directory  "C:\WINDOWS\SYSTEM"   windows directory "C:\WINDOWS"
//   program directory "C:\NOX"              current directory "C:\NOX"
//   Windows NT 4.0, logon name "user", C: fixed and every other letter
//   without a drive, the clock at 2000-01-01 00:00:00.000, an 800 x 600
//   pixel screen, StartProgram and ExitWindows succeeding.
void Reset();

// ------------------------------------------------------------ the machine
// Directory setters create the folder on the fake drive when it is missing.
void SetSystemDirectory(const std::string& path);
void SetWindowsDirectory(const std::string& path);
void SetProgramDirectory(const std::string& path);
void SetCurrentDirectory(const std::string& path);
void SetOsVersion(const OsVersion& version);
// GetOsVersion fails (returns false) while this is set.
void SetOsVersionFails(bool fails);
void SetLogonUserName(const std::string& name);
// GetLogonUserName fails from now on (until SetLogonUserName or Reset).
void FailLogonUserName();
// The computer name ComputerName gives ("PC1" after Reset; empty: the call fails).
void SetComputerName(const std::string& name);
// `letter` 'A'..'Z' (either case). A drive of type kDriveNoRootDir or
// kDriveUnknown has no file system: paths on it fail with kPathNotFound.
void SetDriveType(char letter, uint32_t type);
void SetVolumeLabel(char letter, const std::string& label);
void SetLocalTime(const LocalTime& time);
// Moves the clock on by whole minutes (negative goes back), across days,
// months and years.
void AdvanceMinutes(int64_t minutes);
void SetScreenSizePixels(int width, int height);

// --------------------------------------------------------------- recorders
struct ProgramStart {
  std::string command_line;
  WindowState state;
};
const std::vector<ProgramStart>& ProgramStarts();
// The result StartProgram gives (it records the call either way).
void SetStartProgramResult(bool result);

struct ExitWindowsCall {
  uint32_t flags;
  uint32_t reserved;
};
const std::vector<ExitWindowsCall>& ExitWindowsCalls();
void SetExitWindowsResult(bool result);

struct MessageBoxCall {
  std::string text;
  std::string title;
  uint32_t flags;
};
const std::vector<MessageBoxCall>& MessageBoxes();
// Answers handed out by MessageBox in order; kIdOk once they run out.
void QueueMessageBoxAnswer(int answer);

// The exit code of the EndProgram call, if the program ended.
std::optional<int> ProgramEndCode();

// ------------------------------------------------------- error-trap support
// The timer starts at 0 after Reset; memory 0% load, 0 bytes free; the
// program file "C:\NOX\PROGRAM.EXE", version 0.0.0. Dates read "M/D/YYYY",
// times "H:MM:SS AM" (the US English forms).
void SetTimerMilliseconds(uint32_t milliseconds);
void AdvanceTimer(uint32_t milliseconds);
void SetMemoryStatus(const MemoryStatus& status);
void SetProgramFileName(const std::string& path);
void SetProgramVersion(const ProgramVersion& version);
// Counts of RequestMillisecondTimer, SuppressSystemErrorBoxes and
// BreakIntoDebugger calls.
int MillisecondTimerRequests();
int SystemErrorBoxSuppressions();
int DebuggerBreaks();

// A top-level window of another program. `answer` gives the reply to every
// message sent to it (nullptr: 0).
struct SentMessage {
  WindowHandle window = 0;
  uint32_t message = 0;
  uintptr_t wparam = 0;
  intptr_t lparam = 0;  // 0 for WM_SETTEXT: the text is in `text`
  std::string text;
};
using WindowAnswer = std::intptr_t (*)(const SentMessage& message);
// Appends a window at the bottom of the Z order; returns its handle.
WindowHandle AddTopLevelWindow(const std::string& title, WindowAnswer answer = nullptr);
const std::vector<SentMessage>& SentMessages();
// The program's own visible windows, and every EnableWindow call made.
void SetVisibleProgramWindows(const std::vector<WindowHandle>& windows);
struct EnableWindowCall {
  WindowHandle window;
  bool enable;
};
const std::vector<EnableWindowCall>& EnableWindowCalls();
int MessagePumps();

// ------------------------------------------------- system report support
// After Reset: the drive roots follow the drive types (every letter whose
// drive has a file system), no free space, no version resources, file times
// the clock's current time, no module loaded, no machine facts, no wave
// device, no printer.
void SetDiskFreeBytes(char letter, uint64_t bytes);
// Gives the file (which need not exist) a version resource.
void SetFileVersion(const std::string& path, const uint16_t parts[4]);
void SetModuleLoaded(const std::string& name);
void SetMachineFacts(const MachineFacts& facts);
void SetWaveDevices(const WaveDevices& devices);
void SetPrinterPresent(bool present);
struct PrintJob {
  std::string title;
  std::vector<std::string> lines;
};
const std::vector<PrintJob>& PrintJobs();
struct HelpCall {
  WindowHandle owner;
  std::string file;
  uint32_t context;
};
const std::vector<HelpCall>& HelpCalls();

// ---------------------------------------------------------------- libraries
// Makes FindLibraryExport(library, export_name) return `address`. Library
// names match without regard to case and on the file name alone (a folder
// in the caller's name is ignored, ".DLL" is implied when there is no
// extension); export names match exactly, as GetProcAddress does. A library
// with a registered export is one that LibraryLoads finds.
void RegisterLibraryExport(const std::string& library, const std::string& export_name,
                           void* address);

// ---------------------------------------------------------------- registry
struct RegValueInfo {
  std::string name;  // as first stored
  uint32_t type = 0;
  std::string data;  // the raw bytes
};
// `path` is a key path under a predefined root, "Software\Quillon\Nox".
bool RegKeyExists(RegKey root, const std::string& path);
// The key's values in enumeration order; empty when the key is missing.
std::vector<RegValueInfo> RegKeyValues(RegKey root, const std::string& path);
// One value; nullopt when the key or the value is missing.
std::optional<RegValueInfo> RegGetValue(RegKey root, const std::string& path,
                                        const std::string& name);
// The key's subkey names in enumeration order.
std::vector<std::string> RegSubkeyNames(RegKey root, const std::string& path);
// Opened handles not yet closed (the logic opens and closes keys per call).
size_t OpenRegKeyCount();

// Sets what ExpandEnvironmentText puts for %name% ("SystemDrive" is "C:"
// after Reset).
void SetEnvironmentVariable(const std::string& name, const std::string& value);
// Moves the key HKEY_USERS\<name>, with everything below it, into the hive
// file `path` (as RegSaveKey and RegUnLoadKey would leave it), from where
// LoadUserHiveFile loads it again. The file exists on the fake drives.
void SaveUserHiveFile(const std::string& name, const std::string& path);
// Whether a hive file is loaded now.
bool UserHiveFileLoaded(const std::string& path);

// ------------------------------------------------------------------- files
// Writes the bytes, creating missing folders on the way and ignoring the
// read-only attribute; the file keeps its attributes (archive when new).
void PutFile(const std::string& path, std::string_view data);
// The file's bytes; nullopt when there is no such file.
std::optional<std::string> FileBytes(const std::string& path);
bool FileExists(const std::string& path);
bool DirectoryExists(const std::string& path);
// Creates the folder and any missing folders above it.
void MakeDirectories(const std::string& path);
// Creates a folder link (a junction) at `link` pointing to the folder
// `target`: paths through the link reach the target's contents, the link
// itself reports kAttrReparsePoint and RemoveDirectory removes only the link.
void PutDirectoryLink(const std::string& link, const std::string& target);
// The full path of every file (not folder) on every drive, as stored, sorted.
std::vector<std::string> AllFiles();

// ----------------------------------------------------------------- caller
// Who runs the code. An administrator (the default) meets no protection, as
// every test written before the service expects. A standard account meets
// Windows' defaults for one: the Policies branches of the user's hive
// ("Software\Policies" and "Software\Microsoft\Windows\CurrentVersion\Policies",
// under HKEY_CURRENT_USER or HKEY_USERS\<sid>) and the whole of
// HKEY_LOCAL_MACHINE cannot be written, nor can anything in the system
// directory; files restricted to administrators cannot be opened at all.
// Refused calls fail with kAccessDenied, and each one is recorded.
enum class Caller { kStandardAccount, kAdministrator, kSystem };
void SetCaller(Caller caller);
Caller CurrentCaller();
// A description of every access refused to a standard account since Reset
// ("write HKEY_LOCAL_MACHINE\Software\...", "read C:\WINDOWS\SYSTEM\USER.TBL").
const std::vector<std::string>& RefusedAccesses();
// Whether RestrictToAdministrators protected the file.
bool FileRestricted(const std::string& path);

// ---------------------------------------------------------------- service
// Makes AskService hand requests to `handler`, run as SYSTEM (the caller is
// switched for the call and back). Without one AskService finds no service.
void SetService(std::function<std::string(std::string_view request)> handler);
// Every AskService call: its connect timeout.
const std::vector<uint32_t>& ServiceConnectTimeouts();
// The sessions LogOffSession ended, in order.
const std::vector<uint32_t>& SessionLogOffs();

}  // namespace platform::fake
