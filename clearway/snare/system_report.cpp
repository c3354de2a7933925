#include "clearway/snare/system_report.h"

#include <algorithm>
#include <exception>
#include <functional>

#include "clearway/snare/snare_internal.h"
#include "common/vb_number.h"

namespace nox {

namespace {

constexpr size_t kLabelField = 25;
constexpr size_t kLabelStart = 3;
constexpr size_t kLabelLimit = 22;
// GetPrivateProfileStringA's buffer of 128: longer values arrive cut.
constexpr size_t kProfileValueLimit = 127;
constexpr const char* kUnknown = "<unknown>";
constexpr const char* kNotLoaded = "DLL NOT LOADED";
constexpr const char* kRuntimeLibrary = "MSVBVM50.DLL";

std::string Upper(std::string text) {
  for (char& c : text) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return text;
}

std::string YesNo(bool value) { return pfMsg(value ? 40 : 41); }
std::string Bytes(uint64_t value) { return std::to_string(value) + pfMsg(39); }

// The report's profile files live in the Windows directory.
std::string ProfileFile(const std::string& name) {
  return platform::WindowsDirectory() + "\\" + name;
}

// A profile value as read; "<unknown>" when the key is missing.
std::string Profile(const std::string& file, const std::string& section, const std::string& key) {
  const std::string value = platform::GetProfileString(section, key, kUnknown, ProfileFile(file));
  return value.substr(0, kProfileValueLimit);
}

// The same upper-cased; a missing key still reads "<unknown>".
std::string ProfileUpper(const std::string& file, const std::string& section,
                         const std::string& key) {
  const std::string value = Profile(file, section, key);
  return value == kUnknown ? value : Upper(value);
}

std::string ProcessorText(uint32_t type) {
  switch (type) {
    case 386:
      return "80386";
    case 486:
      return "80486";
    case 586:
      return "Pentium";
    default:
      return "";
  }
}

std::string DriveTypeText(uint32_t type) {
  switch (type) {
    case platform::kDriveRemovable:
      return "removable ()";
    case platform::kDriveFixed:
      return "fixed (local)";
    case platform::kDriveRemote:
      return "remote (network)";
    case platform::kDriveCdrom:
      return "remote (read-only network or CD)";
    default:
      return "";
  }
}

// Builds the report; each item's value comes from one step run with errors
// ignored, so a failing call costs only its own value.
class ReportWriter {
 public:
  void Section(const std::string& name) { lines_.push_back(name); }
  void Item(const std::string& label, const std::function<std::string()>& value) {
    lines_.push_back(ReportItem(label, Ignoring(value)));
  }
  void Line(const std::string& line) { lines_.push_back(line); }
  std::vector<std::string> Take() { return std::move(lines_); }

  static std::string Ignoring(const std::function<std::string()>& value) {
    try {
      return value();
    } catch (const std::exception&) {
      return "";
    }
  }

 private:
  std::vector<std::string> lines_;
};

std::string ExecutablePath(const SnareState& snare) {
  return snare.program_folder + "\\" + snare.executable_name + ".exe";
}

void ApplicationSection(ReportWriter& report, const SnareState& snare) {
  report.Section("Application");
  report.Item("Title", [&] { return snare.project_name; });
  report.Item("Path", [&] { return snare.program_folder; });
  report.Item("Project version", [] {
    const platform::ProgramVersion version = platform::GetProgramVersion();
    return std::to_string(version.major) + "." + std::to_string(version.minor) + "." +
           std::to_string(version.revision);
  });
  // Never started as an automation server, and one instance is not told of
  // another.
  report.Item("OLE Server", [] { return YesNo(false); });
  report.Item("Previous instance", [] { return std::string("False"); });
  report.Item("Help file", [&] { return snare.help_file; });
  if (snare.in_development_environment) return;
  const std::string executable = ExecutablePath(snare);
  report.Item("EXE name", [&] { return Upper(executable); });
  report.Item("EXE time stamp", [&] {
    platform::LocalTime time;
    if (!platform::GetFileTime(executable, &time)) return std::string();
    return platform::ShortDateText(time) + " " + platform::LongTimeText(time);
  });
  report.Item("EXE size", [&] {
    uint64_t length = 0;
    return platform::FileLength(executable, &length) == platform::kSuccess ? Bytes(length) : "";
  });
  report.Item("EXE version", [&] { return FileVersionText(executable); });
}

void RuntimeSection(ReportWriter& report) {
  report.Section("Visual Basic");
  const bool loaded = platform::ModuleLoaded(kRuntimeLibrary);
  report.Item("DLL Name", [&] { return std::string(loaded ? kRuntimeLibrary : kNotLoaded); });
  report.Item("DLL Version",
              [&] { return loaded ? FileVersionText(kRuntimeLibrary) : std::string(kNotLoaded); });
  report.Item("EXE name", [] { return std::string("VB32.EXE"); });
  report.Item("EXE version", [] { return FileVersionText("VB32.EXE"); });
}

void SystemSection(ReportWriter& report, const platform::MachineFacts& facts) {
  report.Section("Operating System");
  report.Item("Windows version", [] {
    platform::OsVersion version;
    if (!platform::GetOsVersion(&version)) return std::string();
    // The platform id, not GetVersion's low byte, tells the NT line from 95/98.
    const char* prefix =
        version.platform_id == platform::kPlatformNt ? "Windows NT " : "Windows 95 ";
    return prefix + std::to_string(version.major) + "." + std::to_string(version.minor);
  });
  report.Item("Debug KERNEL.EXE", [&] { return YesNo(facts.debug_system); });
  report.Item("Language",
              [] { return ProfileUpper("system.INI", "boot.description", "language.dll"); });
  report.Item("Windows directory", [] { return platform::WindowsDirectory(); });
  report.Item("Current path", [] { return platform::CurrentDirectory(); });
}

void FontsSection(ReportWriter& report) {
  const auto enabled = [](const char* key) {
    return YesNo(ReadLeadingNumber(Profile("win.INI", "TrueType", key)) > 0);
  };
  report.Section("Fonts");
  report.Item("TrueType enabled", [&] { return enabled("TTEnable"); });
  report.Item("TrueType only", [&] { return enabled("TTOnly"); });
  report.Item("Default", [] { return ProfileUpper("win.INI", "fonts", "default"); });
}

void MemoryAndProcessorSections(ReportWriter& report, const platform::MachineFacts& facts) {
  const platform::MemoryStatus memory = platform::GetMemoryStatus();
  report.Section("Memory");
  report.Item("Total Memory", [&] { return Bytes(memory.total_physical); });
  report.Item("Total Memory Free", [&] { return Bytes(memory.available_physical); });
  report.Item("Pct. Memory Free", [&] { return std::to_string(memory.load_percent) + "%"; });
  report.Section("Processor");
  report.Item("CPU", [&] { return ProcessorText(facts.processor_type); });
  report.Item("No. Processors", [&] { return std::to_string(facts.processor_count); });
  report.Section("Printer");
  report.Item("Description", [] { return ProfileUpper("win.INI", "windows", "device"); });
}

// A driver named in system.INI [boot], its version and its description.
void DriverItems(ReportWriter& report, const std::string& name_label, const std::string& key,
                 const std::string& description_key) {
  const std::string driver =
      ReportWriter::Ignoring([&] { return ProfileUpper("system.INI", "boot", key); });
  report.Item(name_label, [&] { return driver; });
  report.Item("Version", [&] { return FileVersionText(driver); });
  report.Item("Description",
              [&] { return Profile("system.INI", "boot.description", description_key); });
}

void DeviceSections(ReportWriter& report, const platform::MachineFacts& facts) {
  report.Section("Ports");
  const std::string serial =
      ReportWriter::Ignoring([] { return ProfileUpper("system.INI", "boot", "comm.drv"); });
  report.Item("Serial driver", [&] { return serial; });
  report.Item("Driver version", [&] { return FileVersionText(serial); });
  for (int n = 1; n <= 4; ++n) {
    const std::string port = "COM" + std::to_string(n);
    report.Item(port + " configuration",
                [&] { return ProfileUpper("win.INI", "ports", "com" + std::to_string(n) + ":"); });
  }
  report.Section("Network");
  DriverItems(report, "Driver", "network.drv", "network.drv");
  report.Section("Video");
  DriverItems(report, "Driver version", "display.drv", "display.drv");
  report.Item("Mfrs. version #", [&] { return std::to_string(facts.driver_version); });
  report.Item("Colors", [&] { return std::to_string(facts.colors); });
  report.Item("Screen size", [&] {
    return std::to_string(facts.screen_width) + " X " + std::to_string(facts.screen_height);
  });
  report.Section("Mouse");
  report.Item("Mouse present", [&] { return YesNo(facts.mouse_present); });
  DriverItems(report, "Driver version", "mouse.drv", "mouse.drv");
  report.Section("Keyboard");
  DriverItems(report, "Driver version", "keyboard.drv", "keyboard.typ");
}

void DrivesSection(ReportWriter& report) {
  const std::vector<std::string> roots = platform::LogicalDriveRoots();
  const auto floppies = std::count_if(roots.begin(), roots.end(), [](const std::string& root) {
    return root == "A:\\" || root == "B:\\";
  });
  report.Section("Drives");
  report.Item("Floppies", [&] { return std::to_string(floppies); });
  report.Item("Disks", [&] { return std::to_string(roots.size() - floppies); });
  // One letter more than there are drives, as far as the alphabet goes.
  const size_t letters = std::min<size_t>(roots.size() + 1, 26);
  for (size_t k = 0; k < letters; ++k) {
    const std::string letter(1, static_cast<char>('A' + k));
    const uint32_t type = platform::GetDriveType(letter + ":\\");
    const std::string text = DriveTypeText(type);
    if (text.empty()) continue;
    report.Line("   Drive " + letter + ": is " + text);
    if (type != platform::kDriveFixed && type != platform::kDriveRemote) continue;
    report.Item("   Free Space", [&] {
      uint64_t bytes = 0;
      return platform::GetDiskFreeBytes(letter + ":\\", &bytes) ? Bytes(bytes) : "";
    });
  }
}

// A media driver named in system.INI [mci] and its version.
void MciItems(ReportWriter& report, const std::string& label, const std::string& key) {
  const std::string driver =
      ReportWriter::Ignoring([&] { return ProfileUpper("system.INI", "mci", key); });
  report.Item(label, [&] { return driver; });
  report.Item("   Version", [&] { return FileVersionText(driver); });
}

void MultimediaSection(ReportWriter& report) {
  const platform::WaveDevices wave = platform::GetWaveDevices();
  report.Section("Multimedia");
  report.Item("WAV Devices", [&] { return std::to_string(wave.count); });
  const std::string driver =
      ReportWriter::Ignoring([] { return ProfileUpper("system.INI", "drivers", "Wave"); });
  report.Item("WAV Driver", [&] { return driver; });
  report.Item("   Version", [&] { return FileVersionText(driver); });
  report.Item("WAV version", [&] {
    if (!wave.first_known) return std::string();
    return std::to_string((wave.driver_version >> 8) & 0xFF) + "." +
           std::to_string(wave.driver_version & 0xFF);
  });
  report.Item("WAV Description", [&] { return wave.first_known ? wave.product_name : ""; });
  MciItems(report, "CD Audio", "CDAudio");
  MciItems(report, "Sequencer", "Sequencer");
  MciItems(report, "Wave Audio", "WaveAudio");
  MciItems(report, "AVI Video", "AVIVideo");
}

}  // namespace

std::string ReportItem(const std::string& label, const std::string& value) {
  std::string field(kLabelField, '.');
  field.replace(0, kLabelStart + 1, kLabelStart + 1, ' ');
  const std::string shown = label.substr(0, kLabelLimit);
  field.replace(kLabelStart, shown.size(), shown);
  return field + value;
}

std::string FileVersionText(const std::string& path) {
  uint16_t parts[4] = {};
  if (path.empty() || !platform::GetFileVersion(path, parts)) return "";
  return std::to_string(parts[0]) + "." + std::to_string(parts[1]) + "." +
         std::to_string(parts[2]) + "." + std::to_string(parts[3]);
}

std::vector<std::string> SystemReportLines() {
  const SnareState& snare = Snare();
  ReportWriter report;
  const platform::MachineFacts facts = platform::GetMachineFacts();
  ApplicationSection(report, snare);
  RuntimeSection(report);
  SystemSection(report, facts);
  FontsSection(report);
  MemoryAndProcessorSections(report, facts);
  DeviceSections(report, facts);
  DrivesSection(report);
  MultimediaSection(report);
  return report.Take();
}

}  // namespace nox
