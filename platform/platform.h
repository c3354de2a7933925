// The only door from Nox's logic to the outside world.
//
// Two implementations are chosen at link time: platform/win32 (the real
// Win32 API) and platform/fake (in memory, for native tests; controlled
// through platform/fake/fake_control.h). Paths above this facade are Windows
// paths ("C:\WINDOWS\SYSTEM\USER.TBL"). Functions that can fail return the
// Win32 error code of the failure, 0 (ERROR_SUCCESS) on success, unless their
// comment says otherwise.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#if defined(_WIN32)
#define NOX_STDCALL __stdcall
#else
#define NOX_STDCALL
#endif

namespace platform {

// Win32 error codes the logic looks at.
constexpr long kSuccess = 0;
constexpr long kFileNotFound = 2;
constexpr long kPathNotFound = 3;
constexpr long kAccessDenied = 5;
constexpr long kInvalidHandle = 6;
constexpr long kSharingViolation = 32;
constexpr long kFileExists = 80;
constexpr long kInvalidParameter = 87;
constexpr long kDirNotEmpty = 145;
constexpr long kAlreadyExists = 183;
constexpr long kMoreData = 234;
constexpr long kNoMoreItems = 259;

// ---------------------------------------------------------------- registry
// A registry key handle as the callers see it: the predefined roots
// are the 32-bit values 0x80000000..0x80000006, 0 is "no key". Opened keys
// are opaque non-zero values.
using RegKey = std::uintptr_t;
constexpr RegKey kNoKey = 0;
constexpr RegKey kClassesRoot = 0x80000000;
constexpr RegKey kCurrentUser = 0x80000001;
constexpr RegKey kLocalMachine = 0x80000002;
constexpr RegKey kUsers = 0x80000003;
constexpr RegKey kPerformanceData = 0x80000004;
constexpr RegKey kCurrentConfig = 0x80000005;
constexpr RegKey kDynData = 0x80000006;

constexpr uint32_t kRegSz = 1;
constexpr uint32_t kRegExpandSz = 2;
constexpr uint32_t kRegBinary = 3;
constexpr uint32_t kRegDword = 4;
constexpr uint32_t kRegMultiSz = 7;

constexpr uint32_t kKeySetValue = 0x0002;
constexpr uint32_t kKeyEnumerateSubKeys = 0x0008;
constexpr uint32_t kKeyRead = 0x20019;
constexpr uint32_t kKeyAllAccess = 0xF003F;

// RegCreateKeyExA(parent, subkey, 0, "", 0, KEY_ALL_ACCESS, nullptr, out, nullptr).
// *out is set to 0 on failure.
long RegCreateKey(RegKey parent, const std::string& subkey, RegKey* out);
// RegOpenKeyExA(parent, subkey, 0, access, out). *out is set to 0 on failure.
long RegOpenKey(RegKey parent, const std::string& subkey, uint32_t access, RegKey* out);
// RegSetValueExA with exactly these bytes.
long RegSetValue(RegKey key, const std::string& name, uint32_t type, std::string_view data);
// RegQueryValueExA into a caller buffer: *size is in/out as in Win32
// (on success the stored size; on kMoreData the needed size; untouched on
// other failures). type and data may be null.
long RegQueryValue(RegKey key, const std::string& name, uint32_t* type, char* data, uint32_t* size);
// RegEnumKeyA: the index-th subkey name.
long RegEnumKey(RegKey key, uint32_t index, std::string* name);
// RegEnumValueA: the index-th value with its type and data.
long RegEnumValue(RegKey key, uint32_t index, std::string* name, uint32_t* type, std::string* data);
// RegDeleteKeyA: fails with kAccessDenied when the key has subkeys (NT rule).
long RegDeleteKey(RegKey parent, const std::string& subkey);
long RegDeleteValue(RegKey key, const std::string& name);
long RegCloseKey(RegKey key);
long RegFlushKey(RegKey key);

// Closes an opened key when it goes out of scope (predefined roots and 0 are
// left alone).
class ScopedRegKey {
 public:
  ScopedRegKey() = default;
  explicit ScopedRegKey(RegKey key) : key_(key) {}
  ~ScopedRegKey() { Reset(); }
  ScopedRegKey(const ScopedRegKey&) = delete;
  ScopedRegKey& operator=(const ScopedRegKey&) = delete;
  RegKey get() const { return key_; }
  RegKey* receive() {
    Reset();
    return &key_;
  }
  void Reset() {
    if (key_ != kNoKey && (key_ < kClassesRoot || key_ > kDynData)) RegCloseKey(key_);
    key_ = kNoKey;
  }

 private:
  RegKey key_ = kNoKey;
};

// Keeps the keys opened or created directly below a predefined root open
// until the scope ends, so that a run of writes to one key opens it once
// (each open and close is a round trip to the registry server). A close of
// such a key inside the scope keeps it open; deleting any key first closes
// the kept keys nobody holds, and hands none of the earlier ones out again.
// Starting a program or showing a message box does the same, so that no key
// is open when the shell starts or kept while the user takes their time.
// Every key is closed when the scope ends, so none may be held past it.
// One scope per thread; a scope inside another changes nothing, and outside
// a scope every call opens and closes as it says.
class RegKeyCacheScope {
 public:
  RegKeyCacheScope();
  ~RegKeyCacheScope();
  RegKeyCacheScope(const RegKeyCacheScope&) = delete;
  RegKeyCacheScope& operator=(const RegKeyCacheScope&) = delete;

  class Cache;

 private:
  std::unique_ptr<Cache> cache_;
};

// A library that writes keys for this thread (the hook library) keeps its own
// keys open only while the thread's scope keeps its own: `keep` is called with
// true when it is first shared inside an open scope, and with false, before
// anything else happens, whenever the scope lets go of its keys (a key
// deleted, a program started, a message box shown, the scope's end). Shared
// again after that, it is called with true again. Outside a scope nothing is
// called.
using KeepKeysFn = void (*)(bool keep);
void ShareKeptRegKeys(KeepKeysFn keep);

// Lets go of the kept keys now, as deleting a key does: for a key that
// another module (the hook library) is about to delete.
void ReleaseKeptRegKeys();

// ----------------------------------------------------------------- version
constexpr uint32_t kPlatformWin32s = 0;
constexpr uint32_t kPlatformWindows = 1;  // 95/98/Me
constexpr uint32_t kPlatformNt = 2;

struct OsVersion {
  uint32_t platform_id = kPlatformNt;
  uint32_t major = 4;
  uint32_t minor = 0;
  uint32_t build = 0;
};
// GetVersionExA with a 148-byte record; false when the call fails.
bool GetOsVersion(OsVersion* version);

// ------------------------------------------------------------- directories
// GetSystemDirectoryA / GetWindowsDirectoryA as returned (no "\" added).
std::string SystemDirectory();
std::string WindowsDirectory();
// The folder of the running program's own file, without a trailing "\".
std::string ProgramDirectory();
std::string CurrentDirectory();

// ------------------------------------------------------------------- files
constexpr uint32_t kAttrReadOnly = 0x01;
constexpr uint32_t kAttrHidden = 0x02;
constexpr uint32_t kAttrSystem = 0x04;
constexpr uint32_t kAttrDirectory = 0x10;
constexpr uint32_t kAttrArchive = 0x20;
constexpr uint32_t kAttrNormal = 0x80;
constexpr uint32_t kAttrReparsePoint = 0x400;
constexpr uint32_t kInvalidAttributes = 0xFFFFFFFF;

// Opens the file for reading and writing, creating it empty when missing
// (as an "Open ... For Binary" does), and closes it again.
long CreateFileIfMissing(const std::string& path);
// Opens an existing file for reading only and closes it again.
long OpenForReading(const std::string& path);
// Reads up to `size` bytes from `offset`; *out gets what was there (shorter
// at the end of the file).
long ReadFileAt(const std::string& path, uint64_t offset, size_t size, std::string* out);
// Reads the whole file.
long ReadWholeFile(const std::string& path, std::string* out);
// Opens (creating when missing) and writes `data` at `offset`, extending the
// file as needed. One write call.
long WriteFileAt(const std::string& path, uint64_t offset, std::string_view data);
// Creates or truncates the file and writes `data`.
long WriteWholeFile(const std::string& path, std::string_view data);
long FileLength(const std::string& path, uint64_t* length);
// CopyFileA(source, dest, FALSE): overwrites; a copy onto itself fails.
long CopyFile(const std::string& source, const std::string& dest);
long DeleteFile(const std::string& path);
// MoveFileA: fails when dest exists.
long MoveFile(const std::string& source, const std::string& dest);
// MoveFileExA with MOVEFILE_REPLACE_EXISTING (atomic replace of a table).
long ReplaceFile(const std::string& source, const std::string& dest);
long GetFileAttributes(const std::string& path, uint32_t* attributes);
long SetFileAttributes(const std::string& path, uint32_t attributes);
long CreateDirectory(const std::string& path);
long RemoveDirectory(const std::string& path);

struct FindEntry {
  std::string name;  // the long file name, as stored
  uint32_t attributes = 0;
  uint64_t size = 0;
};
// FindFirstFileA/FindNextFileA over a pattern with * and ? in its last
// component ("C:\TMP\*.*", "C:\TMP\*"). Lists "." and ".." as Windows does
// for folders other than a drive root. kFileNotFound (or kPathNotFound) when
// nothing matches.
long FindFiles(const std::string& pattern, std::vector<FindEntry>* entries);

// --------------------------------------------------------- profile (INI)
// WritePrivateProfileStringA / GetPrivateProfileStringA. Write returns false
// on failure; Get returns the text (the default when missing).
bool WriteProfileString(const std::string& section, const std::string& key,
                        const std::string& value, const std::string& file);
std::string GetProfileString(const std::string& section, const std::string& key,
                             const std::string& default_value, const std::string& file);

// --------------------------------------------------- logon name and drives
// GetUserNameA with a 255-character buffer; false when the call fails.
bool GetLogonUserName(std::string* name);
// GetComputerNameA (the NetBIOS name); empty when the call fails.
std::string ComputerName();

constexpr uint32_t kDriveUnknown = 0;
constexpr uint32_t kDriveNoRootDir = 1;
constexpr uint32_t kDriveRemovable = 2;
constexpr uint32_t kDriveFixed = 3;
constexpr uint32_t kDriveRemote = 4;
constexpr uint32_t kDriveCdrom = 5;
constexpr uint32_t kDriveRamDisk = 6;
// GetDriveTypeA("X:" or "X:\").
uint32_t GetDriveType(const std::string& root);
// GetLogicalDrives: bit 0 (A:) to bit 25 (Z:) set for each drive that exists.
uint32_t LogicalDrives();
// The volume label of the drive ("D:"); empty when there is no medium or no label.
std::string GetVolumeLabel(const std::string& drive);

// ------------------------------------------------------------------- clock
struct LocalTime {
  int year = 2000, month = 1, day = 1;
  int hour = 0, minute = 0, second = 0, millisecond = 0;
};
LocalTime Now();

// ------------------------------------------------- programs and the session
enum class WindowState {
  kHidden = 0,
  kNormalFocus = 1,
  kMinimizedFocus = 2,
  kMaximizedFocus = 3,
  kNormalNoFocus = 4,
  kMinimizedNoFocus = 6,
};
// Starts a program (WinExec/CreateProcess style command line); false when
// it could not be started.
bool StartProgram(const std::string& command_line, WindowState state);
// ExitWindowsEx(flags, reserved); its result.
bool ExitWindows(uint32_t flags, uint32_t reserved);
// Ends the program at once. The fake throws platform::fake::ProgramEnded instead,
// so tests see the end without the test process exiting.
[[noreturn]] void EndProgram(int exit_code = 0);

// --------------------------------------------------------------- libraries
// The address of `export_name` in the library `library_name`, loaded on first
// use; nullptr when the file or the export is missing.
void* FindLibraryExport(const std::string& library_name, const std::string& export_name);
// Whether the library `library_name` loads (it is then kept, as
// FindLibraryExport keeps it): tells a missing file from a missing export.
bool LibraryLoads(const std::string& library_name);

// ----------------------------------------------------------- message boxes
constexpr uint32_t kMbOk = 0x0;
constexpr uint32_t kMbIconStop = 0x10;
constexpr uint32_t kMbIconQuestion = 0x20;
constexpr uint32_t kMbIconExclamation = 0x30;
constexpr uint32_t kMbIconInformation = 0x40;
constexpr uint32_t kMbOkCancel = 0x1;
constexpr int kIdOk = 1;
constexpr int kIdCancel = 2;
// MessageBoxA(owner none, text, title, flags); the button pressed.
int MessageBox(const std::string& text, const std::string& title, uint32_t flags);

// ------------------------------------------------------ error-trap support
// What the uninstaller's error trap needs beyond the rest: a millisecond
// timer, memory figures, the program's own file and version, date and time
// texts, the top-level windows and messages to them.

// timeBeginPeriod(1): the timer below then counts in whole milliseconds.
void RequestMillisecondTimer();
// timeGetTime(): milliseconds, wrapping at 2^32.
uint32_t TimerMilliseconds();
// SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX): no system
// box for a missing disk or file.
void SuppressSystemErrorBoxes();

struct MemoryStatus {
  uint32_t load_percent = 0;
  uint64_t available_physical = 0;  // bytes
  uint64_t total_physical = 0;      // bytes
};
MemoryStatus GetMemoryStatus();

// The full path of the running program's own file (GetModuleFileNameA).
std::string ProgramFileName();
struct ProgramVersion {
  int major = 0, minor = 0, revision = 0;
};
// Major, minor and revision of the program's own version resource (the
// third field of its file version); zeros when it has none.
ProgramVersion GetProgramVersion();

// The system's short date ("12/7/2026") and long time ("1:22:26 PM") texts.
std::string ShortDateText(const LocalTime& time);
std::string LongTimeText(const LocalTime& time);

using WindowHandle = std::uintptr_t;
struct TopLevelWindow {
  WindowHandle handle = 0;
  std::string title;  // up to 255 characters
};
// The top-level windows from the desktop's first child onward, in Z order.
std::vector<TopLevelWindow> TopLevelWindows();
// SendMessageA(window, message, wparam, lparam); 0 when there is no such window.
intptr_t SendWindowMessage(WindowHandle window, uint32_t message, uintptr_t wparam,
                           intptr_t lparam);
// SendMessageA(window, WM_SETTEXT, text length, text).
intptr_t SendWindowText(WindowHandle window, const std::string& text);
// The program's own visible top-level windows.
std::vector<WindowHandle> VisibleProgramWindows();
void EnableWindow(WindowHandle window, bool enable);
// Handles the window messages waiting for the program, then returns.
void PumpMessages();
// A breakpoint when a debugger is attached; nothing otherwise.
void BreakIntoDebugger();

// ------------------------------------------------- system report support
// What the error trap's system information report reads about the machine.
// Figures are 64-bit: disks and memory beyond 2 GiB are reported whole.

// GetLogicalDriveStringsA with a 255-character buffer: the roots ("A:\",
// "C:\", ...) in order; empty when the call fails.
std::vector<std::string> LogicalDriveRoots();
// GetDiskFreeSpaceA on the root: bytes per sector x sectors per cluster x
// free clusters. False when the call fails.
bool GetDiskFreeBytes(const std::string& root, uint64_t* bytes);
// The fixed file version of a file's version resource (GetFileVersionInfoA,
// VerQueryValueA "\"), most significant part first. False when any step fails.
bool GetFileVersion(const std::string& path, uint16_t parts[4]);
// The file's last-write time, local. False when the file is missing.
bool GetFileTime(const std::string& path, LocalTime* time);
// GetModuleHandleA(name) != 0: a module of that name is loaded in this process.
bool ModuleLoaded(const std::string& name);

struct MachineFacts {
  uint32_t processor_type = 0;  // dwProcessorType: 386, 486, 586, ...
  uint32_t processor_count = 0;
  bool mouse_present = false;  // SM_MOUSEPRESENT
  bool debug_system = false;   // SM_DEBUG
  int32_t colors = 0;          // GetDeviceCaps(screen, NUMCOLORS)
  int32_t driver_version = 0;  // GetDeviceCaps(screen, DRIVERVERSION)
  int32_t screen_width = 0;    // pixels
  int32_t screen_height = 0;
};
MachineFacts GetMachineFacts();

struct WaveDevices {
  uint32_t count = 0;           // waveOutGetNumDevs
  bool first_known = false;     // waveOutGetDevCapsA(0) succeeded
  uint32_t driver_version = 0;  // of device 0: major in the high byte
  std::string product_name;     // of device 0
};
WaveDevices GetWaveDevices();

// Prints the lines on the default printer as one job named `title`. False,
// with nothing printed, when there is no default printer or printing fails.
bool PrintLines(const std::string& title, const std::vector<std::string>& lines);
// WinHelpA(owner, file, HELP_CONTEXT, context). Owner 0: none.
void ShowHelpContext(WindowHandle owner, const std::string& file, uint32_t context);

// ----------------------------------------------------------------- screen
// Screen size in twips (15 twips a pixel at 96 DPI).
void ScreenSizeTwips(double* width, double* height);

// ---------------------------------------------------------------- service
// On NT the login's protected work runs in NoxService, a LocalSystem
// service, on behalf of the account that asks through its pipe.

// While one exists on this thread, every registry call with the root
// kCurrentUser acts on HKEY_USERS\<sid> instead: the service writes the
// caller's hive, not its own. One per request; nesting is not supported.
class ScopedUserHive {
 public:
  explicit ScopedUserHive(const std::string& sid);
  ~ScopedUserHive();
  ScopedUserHive(const ScopedUserHive&) = delete;
  ScopedUserHive& operator=(const ScopedUserHive&) = delete;
  // Whether HKEY_USERS\<sid> could be opened (else kCurrentUser keys fail).
  bool opened() const { return hive_ != kNoKey; }

 private:
  RegKey hive_ = kNoKey;
};
// Whether a ScopedUserHive is in force on this thread.
bool UserHiveMapped();
// The SID it maps ("" when none).
std::string MappedUserSid();

// ------------------------------------------------------------ user hives
// ExpandEnvironmentStringsA: each %NAME% replaced by the variable's value;
// a name that is not set stays as it is.
std::string ExpandEnvironmentText(const std::string& text);
// RegLoadKeyA(HKEY_USERS, name, file), with the backup and restore
// privileges enabled first (an administrator holds them, disabled).
long LoadUserHiveFile(const std::string& name, const std::string& file);
// RegUnLoadKeyA(HKEY_USERS, name) for the hive loaded from `file`: its
// changes are in the file afterwards.
long UnloadUserHiveFile(const std::string& name, const std::string& file);

// Sends one request to the service's pipe "\\.\pipe\NoxService" and
// returns its answer; false when no service answered (none installed, not
// started within `connect_timeout_ms`, or the exchange broke off). Callers
// ask only where the service is installed (nox::ServiceInstalled), so a
// machine without it never waits.
bool AskService(std::string_view request, uint32_t connect_timeout_ms, std::string* answer);

// Ends a Windows session (WTSLogoffSession, not waiting); false on failure.
bool LogOffSession(uint32_t session_id);

// Gives the file a security descriptor of SYSTEM and Administrators only,
// with inheritance off; other accounts can then neither read nor write it.
long RestrictToAdministrators(const std::string& path);
// Whether members of Users can read the file (its descriptor grants them
// read access, directly or through Everyone or Authenticated Users).
bool UsersCanRead(const std::string& path);

}  // namespace platform
