// frmLogin's load handling, focus handling and disc guard.
#include "explorer/frm_login.h"

#include <string>

#include "common/ansi_text.h"
#include "common/product_registry.h"
#include "common/regpath.h"
#include "common/runtime_error.h"
#include "common/service_protocol.h"
#include "explorer/user_table_scan.h"

namespace nox {
namespace {

constexpr const char* kDefaultAccount = ".Default";

constexpr const char* kTesselLibrary = "Tessel.DLL";
using EjectDriveFn = int32_t(NOX_STDCALL*)(const char* drive);

std::string WithFinalBackslash(std::string path) {
  if (path.empty() || path.back() != '\\') path += '\\';
  return path;
}

// Shell requests arrive with a command line: they belong to the real Explorer.
bool ForwardCommandLine(const std::string& command_line) {
  if (TrimBlanks(command_line).empty()) return false;
  IgnoreErrors([&] {
    platform::StartProgram(platform::WindowsDirectory() + "\\explorer.exe " + command_line,
                           platform::WindowState::kNormalFocus);
  });
  return true;
}

// The master folder: the settings' master path up to its last "\" or "/"
// when the tables are copied from a master, else the system directory.
std::string MasterFolder(const SettingsRecord& settings, const std::string& system_directory) {
  if (settings.copy_from_master == 0) return system_directory;
  std::string path = FieldText(settings.master_path);
  size_t last = path.find_last_of("\\/");
  return last == std::string::npos ? "" : path.substr(0, last + 1);
}

// One copy from the master folder; false when it failed. A copy onto
// itself is refused here rather than left to the file system, so it can
// never truncate or lock the only copy.
bool CopyFromMaster(const std::string& source, const std::string& dest) {
  if (EqualsIgnoreCase(source, dest)) return false;
  return platform::CopyFile(source, dest) == platform::kSuccess;
}

// Numbered per-user files: go on while any of a number's three files exists.
void RefreshNumberedFiles(const std::string& master, const std::string& system_directory) {
  static constexpr const char* kExtensions[][2] = {
      {".KWt", ".KWT"}, {".tbl", ".tbl"}, {".pmk", ".pmk"}};
  for (int64_t n = 1;; ++n) {
    int failures = 0;
    const std::string number = std::to_string(n);
    for (const auto& extension : kExtensions) {
      if (!CopyFromMaster(master + number + extension[0],
                          system_directory + number + extension[1])) {
        ++failures;
      }
    }
    if (failures == 3) return;
  }
}

// A letter with no drive is no CD-ROM drive: asking only the drives that
// exist spares each login a system call per missing letter, which under
// Wine is a trip to its mount manager.
void ListCdromDrives(ListBox* list) {
  const uint32_t drives = platform::LogicalDrives();
  for (char letter = 'A'; letter <= 'Z'; ++letter) {
    if (((drives >> (letter - 'A')) & 1) == 0) continue;
    const std::string drive = std::string(1, letter) + ":";
    if (platform::GetDriveType(drive) == platform::kDriveCdrom) list->AddItem(drive);
  }
}

// The one-shot exit another component asks for when Windows has no logon
// name: clears the flag and ends the program.
void HonourRestartFlag() {
  std::string restart;
  IgnoreErrors([&] { restart = RegRead(kRestartReadValue); });
  if (restart.empty() || restart[0] != '1') return;
  IgnoreErrors([] { RegWrite(kRestartWriteValue, 0, platform::kRegSz); });
  platform::EndProgram(0);
}

bool LabelIsListed(const ListBox& list, const std::string& label) {
  for (const std::string& item : list.items) {
    if (item.size() > 3 && item.compare(3, std::string::npos, label) == 0) return true;
  }
  return false;
}

}  // namespace

void frmLogin::Form_Load(const std::string& command_line) {
  if (ForwardCommandLine(command_line)) platform::EndProgram(0);

  LoadDirectories();
  // With the service installed, it refreshes the tables, which only it can
  // write.
  const bool service_installed = ServiceInstalled();
  if (!service_installed) RefreshTables();

  std::string logon_name;
  if (!platform::GetLogonUserName(&logon_name)) {
    // The flag is cleared as it is honoured, which only an administrator
    // may do where the service is installed: there the service decides.
    if (!service_installed) HonourRestartFlag();
    logon_name.clear();
  }
  Text1[0].text = logon_name;

  if (service_installed) {
    if (LogInThroughService()) return;
    // No answer: the login goes on here, as on a machine without it.
    RefreshTables();
  }
  LogInAutomatically();
}

void frmLogin::LoadDirectories() {
  IgnoreErrors([&] {
    system_directory = WithFinalBackslash(platform::SystemDirectory());
    windows_directory = platform::WindowsDirectory();
  });
}

void frmLogin::RefreshTables() {
  IgnoreErrors([&] { master_folder = MasterFolder(ReadSettingsRecord(), system_directory); });
  IgnoreErrors([&] { RefreshNumberedFiles(master_folder, system_directory); });
  IgnoreErrors([&] { CopyFromMaster(master_folder + "user.tbl", system_directory + "user.tbl"); });
  IgnoreErrors([&] {
    CopyFromMaster(master_folder + "noxsettings.tbl", system_directory + "noxsettings.tbl");
  });
}

bool frmLogin::LogInAutomatically() {
  // Automatic login A: the Windows logon name is a user of the table.
  bool matched = false;
  {
    UserTableScan table;
    int32_t n = 1;
    ComputeSessionMinutes(n, table.Record(n));
    while (current_user.TrimmedName() != "EOF") {
      if (EqualsIgnoreCase(current_user.TrimmedName(), Text1[0].text)) {
        matched = true;
        current_record_number = std::to_string(n);
        break;
      }
      ++n;
      ComputeSessionMinutes(n, table.Record(n));
    }
  }
  session_start = platform::Now();
  if (matched) {
    if (CompleteLogin(LoginVariant::kAutomaticA)) return true;
    // The login failed and said why: offer the window instead.
    Centre();
    Show();
    return false;
  }

  Centre();

  // Automatic login B: an account ".Default" without a password.
  if (Text1[0].text.empty()) Text1[0].text = kDefaultAccount;
  const std::string r1 = password_verify(kDefaultAccount, "");
  const std::string r2 = password_verify(Text1[0].text, Text1[1].text);
  if (r2 == "name" && r1.find("password") != std::string::npos) Text1[0].text = kDefaultAccount;
  if (password_verify(Text1[0].text, Text1[1].text) == "Correct_password" &&
      CompleteLogin(LoginVariant::kAutomaticB)) {
    return true;
  }
  Show();
  return false;
}

void frmLogin::Centre() {
  if (on_centre) on_centre();
  double screen_width = 0, screen_height = 0;
  platform::ScreenSizeTwips(&screen_width, &screen_height);
  left_twips = (screen_width - width_twips) / 2;
  top_twips = (screen_height - height_twips) / 2;
  if (do_events) do_events();
}

void frmLogin::Show() {
  // The disc guard's drives are listed as the window shows (once per load):
  // only the waiting window reads them, so a login without it never asks
  // every drive for its type.
  IgnoreErrors([&] { ListCdromDrives(&List2); });
  caption = product_name + " Login";
  visible = true;
  if (on_show) on_show();
  focused_text = 1;
  Text1_GotFocus(1);
}

void frmLogin::Text1_GotFocus(int index) {
  if (index < 0 || index > 1) return;
  focused_text = index;
  Text1[index].sel_start = 0;
  Text1[index].sel_length = static_cast<int>(Text1[index].text.size());
}

void frmLogin::Timer1_Timer() {
  for (const std::string& drive : List2.items) {
    const std::string label = platform::GetVolumeLabel(drive);
    if (label.empty() || LabelIsListed(List1, label)) continue;
    if (eject_drive_ == nullptr) {
      eject_drive_ = platform::FindLibraryExport(kTesselLibrary, "EjectDrive");
    }
    // Without the library there is nothing to eject with: skip this tick.
    if (eject_drive_ == nullptr) return;
    reinterpret_cast<EjectDriveFn>(eject_drive_)(drive.c_str());
  }
}

}  // namespace nox
