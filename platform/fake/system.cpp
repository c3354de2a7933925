// The fake machine: version, directories, logon name, drives, clock,
// screen, and the recorders for program starts, session ends, the program's
// end, library exports and message boxes.
#include <chrono>

#include "platform/fake/fake_state.h"
#include "platform/platform.h"

namespace platform {

using fake::TheState;

namespace {

int DriveLetterIndex(char letter) {
  if (letter >= 'a' && letter <= 'z') return letter - 'a';
  if (letter >= 'A' && letter <= 'Z') return letter - 'A';
  return -1;
}

// The drive a root text names ("C:", "C:\", "C:/"), -1 for anything else.
int RootDrive(const std::string& root) {
  if (root.empty()) return DriveLetterIndex(TheState().current_directory[0]);
  bool shape = root.size() >= 2 && root[1] == ':' &&
               (root.size() == 2 || (root.size() == 3 && (root[2] == '\\' || root[2] == '/')));
  return shape ? DriveLetterIndex(root[0]) : -1;
}

// "C:\NOX\Tessel.dll" -> "TESSEL.DLL"; "clasps" -> "CLASPS.DLL".
std::string LibraryKey(const std::string& library) {
  size_t slash = library.find_last_of("\\/");
  std::string file = slash == std::string::npos ? library : library.substr(slash + 1);
  if (file.find('.') == std::string::npos) file += ".DLL";
  return fake::Fold(file);
}

}  // namespace

bool GetOsVersion(OsVersion* version) {
  if (TheState().os_version_fails) return false;
  *version = TheState().os_version;
  return true;
}

std::string SystemDirectory() { return TheState().system_directory; }

std::string ExpandEnvironmentText(const std::string& text) {
  std::string expanded;
  size_t at = 0;
  while (at < text.size()) {
    const size_t open = text.find('%', at);
    const size_t close = open == std::string::npos ? open : text.find('%', open + 1);
    if (close == std::string::npos) break;
    expanded += text.substr(at, open - at);
    const auto& environment = TheState().environment;
    auto it = environment.find(fake::Fold(text.substr(open + 1, close - open - 1)));
    if (it != environment.end()) {
      expanded += it->second;
      at = close + 1;
    } else {
      // An unknown name stays, and its closing % may open the next one.
      expanded += text.substr(open, close - open);
      at = close;
    }
  }
  return expanded + text.substr(at);
}
std::string WindowsDirectory() { return TheState().windows_directory; }
std::string ProgramDirectory() { return TheState().program_directory; }
std::string CurrentDirectory() { return TheState().current_directory; }

bool GetLogonUserName(std::string* name) {
  if (!TheState().logon_user_name) return false;
  *name = *TheState().logon_user_name;
  return true;
}

std::string ComputerName() { return TheState().computer_name; }

uint32_t GetDriveType(const std::string& root) {
  int drive = RootDrive(root);
  return drive < 0 ? kDriveNoRootDir : TheState().drive_types[drive];
}

uint32_t LogicalDrives() {
  uint32_t drives = 0;
  for (int drive = 0; drive < 26; ++drive) {
    if (TheState().drive_types[drive] != kDriveNoRootDir) drives |= 1u << drive;
  }
  return drives;
}

std::string GetVolumeLabel(const std::string& drive) {
  int index = RootDrive(drive);
  if (index < 0) return "";
  uint32_t type = TheState().drive_types[index];
  if (type == kDriveNoRootDir || type == kDriveUnknown) return "";
  return TheState().volume_labels[index];
}

LocalTime Now() { return TheState().now; }

bool StartProgram(const std::string& command_line, WindowState state) {
  ReleaseKeptRegKeys();
  TheState().program_starts.push_back(fake::ProgramStart{command_line, state});
  return TheState().start_program_result;
}

bool ExitWindows(uint32_t flags, uint32_t reserved) {
  TheState().exit_windows_calls.push_back(fake::ExitWindowsCall{flags, reserved});
  return TheState().exit_windows_result;
}

void EndProgram(int exit_code) {
  TheState().program_end_code = exit_code;
  throw fake::ProgramEnded{exit_code};
}

void* FindLibraryExport(const std::string& library_name, const std::string& export_name) {
  const auto& libraries = TheState().library_exports;
  auto library = libraries.find(LibraryKey(library_name));
  if (library == libraries.end()) return nullptr;
  auto address = library->second.find(export_name);
  return address == library->second.end() ? nullptr : address->second;
}

bool LibraryLoads(const std::string& library_name) {
  return TheState().library_exports.count(LibraryKey(library_name)) > 0;
}

int MessageBox(const std::string& text, const std::string& title, uint32_t flags) {
  ReleaseKeptRegKeys();
  fake::State& state = TheState();
  state.message_boxes.push_back(fake::MessageBoxCall{text, title, flags});
  if (state.message_box_answers.empty()) return kIdOk;
  int answer = state.message_box_answers.front();
  state.message_box_answers.pop_front();
  return answer;
}

void ScreenSizeTwips(double* width, double* height) {
  *width = TheState().screen_width_twips;
  *height = TheState().screen_height_twips;
}

namespace fake {

void SetEnvironmentVariable(const std::string& name, const std::string& value) {
  TheState().environment[Fold(name)] = value;
}

void SetSystemDirectory(const std::string& path) {
  MakeDirectories(path);
  TheState().system_directory = path;
}

void SetWindowsDirectory(const std::string& path) {
  MakeDirectories(path);
  TheState().windows_directory = path;
}

void SetProgramDirectory(const std::string& path) {
  MakeDirectories(path);
  TheState().program_directory = path;
}

void SetCurrentDirectory(const std::string& path) {
  MakeDirectories(path);
  TheState().current_directory = path;
}

void SetOsVersion(const OsVersion& version) { TheState().os_version = version; }
void SetOsVersionFails(bool fails) { TheState().os_version_fails = fails; }
void SetLogonUserName(const std::string& name) { TheState().logon_user_name = name; }
void FailLogonUserName() { TheState().logon_user_name.reset(); }
void SetComputerName(const std::string& name) { TheState().computer_name = name; }

void SetDriveType(char letter, uint32_t type) {
  int drive = DriveLetterIndex(letter);
  if (drive >= 0) TheState().drive_types[drive] = type;
}

void SetVolumeLabel(char letter, const std::string& label) {
  int drive = DriveLetterIndex(letter);
  if (drive >= 0) TheState().volume_labels[drive] = label;
}

void SetLocalTime(const LocalTime& time) { TheState().now = time; }

void AdvanceMinutes(int64_t minutes) {
  using namespace std::chrono;
  LocalTime& now = TheState().now;
  sys_days day = year_month_day{year{now.year}, month{static_cast<unsigned>(now.month)},
                                std::chrono::day{static_cast<unsigned>(now.day)}};
  int64_t total = (day.time_since_epoch().count() * 24 + now.hour) * 60 + now.minute + minutes;
  int64_t days = total >= 0 ? total / 1440 : -((-total + 1439) / 1440);
  int64_t minute_of_day = total - days * 1440;
  year_month_day date{sys_days{std::chrono::days{days}}};
  now.year = static_cast<int>(date.year());
  now.month = static_cast<int>(static_cast<unsigned>(date.month()));
  now.day = static_cast<int>(static_cast<unsigned>(date.day()));
  now.hour = static_cast<int>(minute_of_day / 60);
  now.minute = static_cast<int>(minute_of_day % 60);
}

void SetScreenSizePixels(int width, int height) {
  TheState().screen_width_twips = width * 15.0;
  TheState().screen_height_twips = height * 15.0;
}

const std::vector<ProgramStart>& ProgramStarts() { return TheState().program_starts; }
void SetStartProgramResult(bool result) { TheState().start_program_result = result; }
const std::vector<ExitWindowsCall>& ExitWindowsCalls() { return TheState().exit_windows_calls; }
void SetExitWindowsResult(bool result) { TheState().exit_windows_result = result; }
const std::vector<MessageBoxCall>& MessageBoxes() { return TheState().message_boxes; }
void QueueMessageBoxAnswer(int answer) { TheState().message_box_answers.push_back(answer); }
std::optional<int> ProgramEndCode() { return TheState().program_end_code; }

void RegisterLibraryExport(const std::string& library, const std::string& export_name,
                           void* address) {
  TheState().library_exports[LibraryKey(library)][export_name] = address;
}

}  // namespace fake

}  // namespace platform
