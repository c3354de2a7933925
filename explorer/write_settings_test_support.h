// The machine the WriteSettings tests start from, and a full dump of the fake
// registry to compare against.
#pragma once

#include <cctype>
#include <map>
#include <optional>
#include <string>
#include <utility>

#include "clasps/clasps.h"
#include "explorer/frm_login.h"
#include "explorer/records.h"
#include "platform/fake/fake_control.h"
#include "platform/platform.h"

namespace nox::write_settings_test {

namespace fake = platform::fake;

inline constexpr const char* kPolicies =
    "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\";
inline constexpr const char* kRecentFolder = "C:\\WINDOWS\\Profiles\\bob\\Recent";
inline constexpr const char* kStandardPrograms = "C:\\WINDOWS\\Start Menu\\Programs";
inline constexpr const char* kStandardMenu = "C:\\WINDOWS\\Start Menu";
inline constexpr const char* kNoxPrograms = "C:\\NOX\\tmp\\Start Menu\\Programs";
inline constexpr const char* kNoxMenu = "C:\\NOX\\tmp\\Start Menu";

// An MSDOS.SYS as Windows 98 leaves it, and the same with the three switches
// set to `value`.
inline std::string MsdosSys(const std::string& value) {
  return "[Paths]\r\nWinDir=C:\\WINDOWS\r\n\r\n[Options]\r\nBootGUI=1\r\nBootMulti=" + value +
         "\r\nBootWarn=" + value + "\r\nBootKeys=" + value + "\r\nLogo=0\r\n";
}

inline std::string Dword(uint32_t value) {
  std::string bytes(4, '\0');
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<char>((value >> (8 * i)) & 0xFF);
  return bytes;
}

inline std::string Sz(const std::string& text) { return text + std::string(1, '\0'); }

// The bytes of a value of the fake registry; nullopt when it is missing.
inline std::optional<std::string> RegData(platform::RegKey root, const std::string& key,
                                          const std::string& name) {
  auto value = fake::RegGetValue(root, key, name);
  if (!value) return std::nullopt;
  return value->data;
}

inline std::string Upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

// "ROOT\KEY|VALUE" in capitals -> (type, bytes).
using RegistryDump = std::map<std::string, std::pair<uint32_t, std::string>>;

inline void DumpKey(platform::RegKey root, const std::string& prefix, const std::string& path,
                    RegistryDump* dump) {
  for (const fake::RegValueInfo& value : fake::RegKeyValues(root, path)) {
    (*dump)[Upper(prefix + path + "|" + value.name)] = {value.type, value.data};
  }
  for (const std::string& name : fake::RegSubkeyNames(root, path)) {
    DumpKey(root, prefix, path.empty() ? name : path + "\\" + name, dump);
  }
}

inline RegistryDump DumpRegistry() {
  RegistryDump dump;
  DumpKey(platform::kCurrentUser, "HKEY_CURRENT_USER\\", "", &dump);
  DumpKey(platform::kLocalMachine, "HKEY_LOCAL_MACHINE\\", "", &dump);
  DumpKey(platform::kUsers, "HKEY_USERS\\", "", &dump);
  DumpKey(platform::kClassesRoot, "HKEY_CLASSES_ROOT\\", "", &dump);
  return dump;
}

inline void PutValue(platform::RegKey root, const std::string& key, const std::string& name,
                     uint32_t type, const std::string& data) {
  platform::ScopedRegKey opened;
  platform::RegCreateKey(root, key, opened.receive());
  platform::RegSetValue(opened.get(), name, type, data);
}

inline std::string Schedule(const std::string& start, const std::string& end,
                            const std::string& flag) {
  std::string text(50, ' ');
  text.replace(7, start.size(), start);
  text.replace(19, end.size(), end);
  text.replace(24, flag.size(), flag);
  return text;
}

// The account every level is tried with: drive D: hidden 08:00 to 17:00,
// network level 2, browser pages and an http proxy, two disc labels and two
// allowed programs in its program list file 3.TBL.
inline UserRecord BobRecord(const std::string& triple) {
  UserRecord record = UserRecord::Blank();
  SetFieldText(record.user_name, "bob");
  SetFieldText(record.level_triple, triple);
  SetFieldText(record.start_page, "http://start.example/");
  SetFieldText(record.search_page, "http://search.example/");
  SetFieldText(record.proxy[kProxyHttp].server, "proxy");
  SetFieldText(record.proxy[kProxyHttp].port, "8080");
  SetFieldText(record.drive_schedule[4], Schedule("08:00", "17:00", "True"));
  record.network_level = 2;
  record.program_list_count = 2;
  record.allowed_program_count = 2;
  return record;
}

inline constexpr const char* kProgramList =
    "\"Nox\",\"1\"\r\nABCNox Disc 1\r\nABCGame Disc\r\n"
    "\"calc.exe\",\"False\",\"0\",\"0\"\r\n\"notepad.exe\",\"False\",\"0\",\"0\"\r\n";

// Windows 98 at 12:30 on 1 January 2000, with the folders, files and
// registry values a Windows 98 machine with Nox installed in C:\NOX has.
inline void ArrangeMachine() {
  fake::Reset();
  fake::RegisterLibraryExport("CLASPS.DLL", "SRV_RegCreateKey",
                              reinterpret_cast<void*>(&SRV_RegCreateKey));
  fake::RegisterLibraryExport("CLASPS.DLL", "SRV_RegDeleteKey",
                              reinterpret_cast<void*>(&SRV_RegDeleteKey));
  platform::OsVersion win98;
  win98.platform_id = platform::kPlatformWindows;
  win98.major = 4;
  win98.minor = 10;
  win98.build = 1998;
  fake::SetOsVersion(win98);
  platform::LocalTime now;
  now.year = 2000;
  now.hour = 12;
  now.minute = 30;
  fake::SetLocalTime(now);

  const std::string shell_folders =
      "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
  PutValue(platform::kCurrentUser, shell_folders, "Programs", platform::kRegSz,
           Sz(kStandardPrograms));
  PutValue(platform::kCurrentUser, shell_folders, "Start Menu", platform::kRegSz,
           Sz(kStandardMenu));
  PutValue(platform::kCurrentUser, shell_folders, "Recent", platform::kRegSz, Sz(kRecentFolder));
  PutValue(platform::kLocalMachine, "Software\\Microsoft\\Internet Explorer", "Version",
           platform::kRegSz, Sz("5.00.2919.6307"));
  const std::string restrict_run =
      "Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer\\RestrictRun";
  PutValue(platform::kCurrentUser, restrict_run, "1", platform::kRegSz, Sz("old.exe"));
  PutValue(platform::kCurrentUser, restrict_run, "9", platform::kRegSz, Sz("stale.exe"));

  fake::PutFile("C:\\MSDOS.SYS", MsdosSys("1"));
  platform::SetFileAttributes(
      "C:\\MSDOS.SYS", platform::kAttrReadOnly | platform::kAttrHidden | platform::kAttrSystem);
  fake::PutFile("C:\\IO.SYS", "boot loader");
  fake::PutFile("C:\\WINDOWS\\SYSTEM\\Timedate.cpl", "date and time panel");
  fake::PutFile("C:\\WINDOWS\\SYSTEM\\3.TBL", kProgramList);
  fake::PutFile("C:\\NOX\\tmp\\old.txt", "left over");
  fake::PutFile("C:\\NOX\\tmp\\sub\\deeper\\x.txt", "deep");
  fake::PutFile("C:\\NOX\\tmp\\Start Menu\\Programs\\y.lnk", "shortcut");
  fake::PutFile(std::string(kRecentFolder) + "\\a.lnk", "recent a");
  fake::PutFile("C:\\WINDOWS\\Recent\\b.lnk", "recent b");
}

inline void LogIn(frmLogin& form, const std::string& user_name_box, const UserRecord& record) {
  form.Text1[0].text = user_name_box;
  form.current_user = record;
  form.current_record_number = "3";
}

}  // namespace nox::write_settings_test
