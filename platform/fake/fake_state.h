// The fake platform's one piece of state, shared by its translation units.
// Not for tests: they use fake_control.h.
#pragma once

#include <array>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/fake/fake_control.h"
#include "platform/platform.h"

namespace platform::fake {

// Win32 error codes used only inside the fake.
constexpr long kNotSameDevice = 17;
constexpr long kNotReady = 21;
constexpr long kInvalidName = 123;
constexpr long kBadPathname = 161;
constexpr long kDirectoryName = 267;
constexpr long kKeyDeleted = 1018;

// Upper case of an ANSI (Windows-1252) text the way the Windows name
// comparisons fold it; used as the lookup key of names that compare without
// regard to case.
std::string Fold(std::string_view text);

// The registry's key for a name: its characters as lower-case Unicode code
// points. Equal for names that differ only in case; ordered the way the
// registry enumerates keys and values.
std::u16string RegistryNameKey(std::string_view name);

// ---------------------------------------------------------------- registry
struct RegNode {
  std::string name;
  std::map<std::u16string, RegValueInfo> values;               // by RegistryNameKey
  std::map<std::u16string, std::shared_ptr<RegNode>> subkeys;  // by RegistryNameKey
  std::weak_ptr<RegNode> parent;
  bool deleted = false;
};

struct RegHandle {
  std::shared_ptr<RegNode> node;
  uint32_t access = 0;
};

// ------------------------------------------------------------------- files
struct FsNode {
  std::string name;
  bool is_directory = false;
  uint32_t attributes = 0;  // read-only, hidden, system, archive bits only
  std::string data;
  std::map<std::string, std::unique_ptr<FsNode>> children;  // by folded name
  // A folder link (junction): the absolute path it points to; empty for
  // ordinary files and folders.
  std::string link_target;
  // Restricted to SYSTEM and Administrators (RestrictToAdministrators).
  bool restricted = false;
};

struct State {
  // Registry.
  std::array<std::shared_ptr<RegNode>, 7> reg_roots;
  std::map<RegKey, RegHandle> reg_handles;
  RegKey next_reg_handle = 0x100;
  // Hive files by folded path, and the name each loaded one has.
  std::map<std::string, std::shared_ptr<RegNode>> hive_files;
  std::map<std::string, std::string> loaded_hive_files;  // folded path -> name
  std::map<std::string, std::string> environment;        // by folded name

  // Files.
  std::array<std::unique_ptr<FsNode>, 26> drive_roots;
  std::array<uint32_t, 26> drive_types{};
  std::array<std::string, 26> volume_labels;

  // Machine.
  std::string system_directory;
  std::string windows_directory;
  std::string program_directory;
  std::string current_directory;
  OsVersion os_version;
  bool os_version_fails = false;
  std::optional<std::string> logon_user_name;
  std::string computer_name;
  LocalTime now;
  double screen_width_twips = 0;
  double screen_height_twips = 0;

  // Recorders.
  std::vector<ProgramStart> program_starts;
  bool start_program_result = true;
  std::vector<ExitWindowsCall> exit_windows_calls;
  bool exit_windows_result = true;
  std::vector<MessageBoxCall> message_boxes;
  std::deque<int> message_box_answers;
  std::optional<int> program_end_code;

  // Error-trap support.
  uint32_t timer_ms = 0;
  MemoryStatus memory_status;
  std::string program_file_name;
  ProgramVersion program_version;
  int timer_requests = 0;
  int error_box_suppressions = 0;
  int debugger_breaks = 0;
  struct Window {
    WindowHandle handle;
    std::string title;
    WindowAnswer answer;
  };
  std::vector<Window> windows;
  std::vector<SentMessage> sent_messages;
  std::vector<WindowHandle> visible_program_windows;
  std::vector<EnableWindowCall> enable_window_calls;
  int message_pumps = 0;

  // System report support.
  std::array<uint64_t, 26> disk_free_bytes{};
  std::map<std::string, std::array<uint16_t, 4>> file_versions;  // by folded path
  std::vector<std::string> loaded_modules;                       // folded names
  MachineFacts machine_facts;
  WaveDevices wave_devices;
  bool printer_present = false;
  std::vector<PrintJob> print_jobs;
  std::vector<HelpCall> help_calls;

  // Caller and service.
  Caller caller = Caller::kAdministrator;
  std::vector<std::string> refused_accesses;
  std::function<std::string(std::string_view)> service;
  std::vector<uint32_t> service_connect_timeouts;
  std::vector<uint32_t> session_log_offs;

  // Libraries: folded file name -> export name -> address.
  std::map<std::string, std::map<std::string, void*>> library_exports;
};

// The single fake state object.
State& TheState();

// Whether the caller is a standard account; records `what` as refused when so.
bool RefusedToStandardAccount(const std::string& what);

// Replaces the content of a file opened for writing (created when missing),
// keeping its attributes: the way the profile writer rewrites a file.
long OverwriteFile(const std::string& path, std::string_view data);

// Fresh registry and file system parts of the state (used by Reset).
void ResetRegistry(State& state);
void ResetFiles(State& state);

}  // namespace platform::fake
