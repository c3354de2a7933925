// What the error trap's system report reads about the fake machine.
#include <string>

#include "platform/fake/fake_state.h"

namespace platform {

using fake::TheState;

namespace {

int DriveIndex(const std::string& root) {
  if (root.size() < 2 || root[1] != ':') return -1;
  const char letter = static_cast<char>(root[0] & ~0x20);
  return letter >= 'A' && letter <= 'Z' ? letter - 'A' : -1;
}

bool HasFileSystem(uint32_t type) { return type != kDriveNoRootDir && type != kDriveUnknown; }

}  // namespace

std::vector<std::string> LogicalDriveRoots() {
  std::vector<std::string> roots;
  for (int drive = 0; drive < 26; ++drive) {
    if (HasFileSystem(TheState().drive_types[drive])) {
      roots.push_back(std::string(1, static_cast<char>('A' + drive)) + ":\\");
    }
  }
  return roots;
}

bool GetDiskFreeBytes(const std::string& root, uint64_t* bytes) {
  const int drive = DriveIndex(root);
  if (drive < 0 || !HasFileSystem(TheState().drive_types[drive])) return false;
  *bytes = TheState().disk_free_bytes[drive];
  return true;
}

bool GetFileVersion(const std::string& path, uint16_t parts[4]) {
  const auto& versions = TheState().file_versions;
  const auto found = versions.find(fake::Fold(path));
  if (found == versions.end()) return false;
  for (int k = 0; k < 4; ++k) parts[k] = found->second[k];
  return true;
}

bool GetFileTime(const std::string& path, LocalTime* time) {
  uint32_t attributes = 0;
  if (GetFileAttributes(path, &attributes) != kSuccess) return false;
  *time = TheState().now;
  return true;
}

bool ModuleLoaded(const std::string& name) {
  for (const std::string& module : TheState().loaded_modules) {
    if (module == fake::Fold(name)) return true;
  }
  return false;
}

MachineFacts GetMachineFacts() { return TheState().machine_facts; }
WaveDevices GetWaveDevices() { return TheState().wave_devices; }

bool PrintLines(const std::string& title, const std::vector<std::string>& lines) {
  if (!TheState().printer_present) return false;
  TheState().print_jobs.push_back(fake::PrintJob{title, lines});
  return true;
}

void ShowHelpContext(WindowHandle owner, const std::string& file, uint32_t context) {
  TheState().help_calls.push_back(fake::HelpCall{owner, file, context});
}

}  // namespace platform

namespace platform::fake {

void SetDiskFreeBytes(char letter, uint64_t bytes) {
  const int drive = DriveIndex(std::string(1, letter) + ":");
  if (drive >= 0) TheState().disk_free_bytes[drive] = bytes;
}

void SetFileVersion(const std::string& path, const uint16_t parts[4]) {
  TheState().file_versions[Fold(path)] = {parts[0], parts[1], parts[2], parts[3]};
}

void SetModuleLoaded(const std::string& name) { TheState().loaded_modules.push_back(Fold(name)); }
void SetMachineFacts(const MachineFacts& facts) { TheState().machine_facts = facts; }
void SetWaveDevices(const WaveDevices& devices) { TheState().wave_devices = devices; }
void SetPrinterPresent(bool present) { TheState().printer_present = present; }
const std::vector<PrintJob>& PrintJobs() { return TheState().print_jobs; }
const std::vector<HelpCall>& HelpCalls() { return TheState().help_calls; }

}  // namespace platform::fake
