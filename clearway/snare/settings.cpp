// Start-up of the trap: SNCLIENT.INI, the development environment, the
// monitor window and the start banner.
#include <algorithm>
#include <string>

#include "clearway/snare/snare_internal.h"
#include "common/runtime_error.h"
#include "common/vb_number.h"

namespace nox {

namespace {

constexpr const char* kSettingsFile = "SNCLIENT.INI";
constexpr std::string_view kMonitorTitle = "Verdin Snare";

// GetPrivateProfileStringA into a buffer of `buffer_size` characters: at
// most buffer_size - 1 of them come back.
std::string ReadKey(const std::string& file, const char* section, const char* key,
                    const char* default_value, size_t buffer_size) {
  std::string text = platform::GetProfileString(section, key, default_value, file);
  if (text.size() > buffer_size - 1) text.resize(buffer_size - 1);
  return text;
}

bool IsAboveZero(const std::string& text) { return ReadLeadingNumber(text) > 0; }

// The negated leading digit of a one-character text: "1" gives -1.
int16_t NegatedSwitch(const std::string& text) {
  return static_cast<int16_t>(-static_cast<int>(ReadLeadingNumber(text)));
}

std::string WithoutTrailingBackslash(std::string folder) {
  if (!folder.empty() && folder.back() == '\\') folder.pop_back();
  return folder;
}

std::string FileNamePart(const std::string& path) {
  const size_t slash = path.find_last_of('\\');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string UpperCase(std::string text) {
  for (char& c : text) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return text;
}

bool FileExists(const std::string& path) {
  uint32_t attributes = 0;
  return platform::GetFileAttributes(path, &attributes) == platform::kSuccess &&
         (attributes & platform::kAttrDirectory) == 0;
}

void FindMonitor(SnareState& snare) {
  for (const platform::TopLevelWindow& window : platform::TopLevelWindows()) {
    if (IsMonitorTitle(window.title)) {
      snare.monitor = window.handle;
      snare.monitor_present = true;
      return;
    }
  }
}

void StartUp(SnareState& snare) {
  snare.program_folder = WithoutTrailingBackslash(platform::ProgramDirectory());
  const std::string settings_path = snare.program_folder + "\\" + kSettingsFile;
  platform::RequestMillisecondTimer();
  snare.call_stack.assign(kMaxLevel + 1, "");
  snare.timers.assign(kMaxLevel + 1, 0);
  snare.code_pointers.assign(kMaxLevel + 1, 0);
  snare.snapshot.assign(1, "");
  const platform::LocalTime now = platform::Now();
  snare.call_stack[0] =
      pfMsg(32) + " <" + platform::ShortDateText(now) + ", " + platform::LongTimeText(now) + ">";
  platform::SuppressSystemErrorBoxes();
  if (FileExists(settings_path)) {
    snare.settings = ReadSnareSettings(settings_path, snare.program_folder);
  }
  const std::string file_name = FileNamePart(platform::ProgramFileName());
  const std::string upper = UpperCase(file_name);
  snare.in_development_environment = upper == "VB.EXE" || upper == "VB5.EXE" || upper == "VB32.EXE";
  snare.executable_name = file_name.substr(0, file_name.find_last_of('.'));
  snare.trace_prefix = "[" + snare.executable_name + "] ";
  snare.start_ms = platform::TimerMilliseconds();
  // Errors the program's own code raises bear its executable's name.
  snare.project_name = snare.executable_name;
  FindMonitor(snare);
  pfOut(snare.trace_prefix + pfMsg(20) + "\r\n");
}

}  // namespace

bool IsMonitorTitle(std::string_view title) {
  return title == kMonitorTitle ||
         title.substr(0, kMonitorTitle.size() + 2) == std::string(kMonitorTitle) + " -";
}

SnareSettings ReadSnareSettings(const std::string& ini_path, const std::string& program_folder) {
  SnareSettings settings;
  settings.force_system_info =
      IsAboveZero(ReadKey(ini_path, "preferences", "Force System Info", "", 8));
  settings.email_address = ReadKey(ini_path, "email", "Address", "", 255);
  settings.write_to_disk = IsAboveZero(ReadKey(ini_path, "log file", "Write To Disk", "", 8));
  settings.capture_to_disk = IsAboveZero(ReadKey(ini_path, "log file", "Capture To Disk", "", 8));
  if (settings.write_to_disk) {
    std::string name = ReadKey(ini_path, "log file", "Log File", "", 128);
    if (name.empty()) name = "error.log";
    if (name.find('\\') == std::string::npos) name = program_folder + "\\" + name;
    settings.log_file = name;
  }
  settings.silent_run = NegatedSwitch(ReadKey(ini_path, "preferences", "Silent Run", "0", 2));
  settings.display_mode = NegatedSwitch(ReadKey(ini_path, "preferences", "Display Mode", "0", 2));
  settings.include_resources = NegatedSwitch(ReadKey(ini_path, "include", "Resources", "1", 2));
  settings.include_memory = NegatedSwitch(ReadKey(ini_path, "include", "Memory", "1", 2));
  settings.include_arguments = NegatedSwitch(ReadKey(ini_path, "include", "Arguments", "1", 2));
  settings.include_user = NegatedSwitch(ReadKey(ini_path, "include", "User", "1", 2));
  return settings;
}

void snSTART() {
  SnareState& snare = Snare();
  if (snare.started) return;
  snare.started = true;
  try {
    StartUp(snare);
  } catch (const RuntimeError& error) {
    pfErr(error.number(), "snSTART()");
  }
}

}  // namespace nox
