// "noxadmin plan": what a login of a user would do to the machine, found by
// running the login program's own WriteSettings on the in-memory platform
// with the tables loaded, and comparing the simulated registry and files
// before and after.
#include <algorithm>
#include <cstdio>
#include <map>
#include <ostream>
#include <set>
#include <sstream>

#include "clasps/clasps.h"
#include "common/gcc_false_positives.h"
#include "common/runtime_error.h"
#include "explorer/frm_login.h"
#include "noxadmin/session.h"
#include "noxadmin/text.h"
#include "noxadmin/user_fields.h"
#include "platform/fake/fake_control.h"

namespace nox::admin {
namespace {

namespace fake = platform::fake;

struct PlanMachine {
  std::string windows_name;  // "Windows 98"
  platform::OsVersion version;
  std::string windows_directory;
  std::string system_directory;
  std::string profile;    // folder of the user's Start Menu, Recent
  std::string all_users;  // NT: folder of the common Start Menu
};

PlanMachine MachineFor(const std::string& windows) {
  if (windows == "95") {
    return {"Windows 95",  {platform::kPlatformWindows, 4, 0, 950},
            "C:\\WINDOWS", "C:\\WINDOWS\\SYSTEM",
            "C:\\WINDOWS", ""};
  }
  if (windows == "98") {
    return {"Windows 98",  {platform::kPlatformWindows, 4, 10, 1998},
            "C:\\WINDOWS", "C:\\WINDOWS\\SYSTEM",
            "C:\\WINDOWS", ""};
  }
  if (windows == "nt") {
    return {"Windows NT 4.0",
            {platform::kPlatformNt, 4, 0, 1381},
            "C:\\WINNT",
            "C:\\WINNT\\system32",
            "C:\\WINNT\\Profiles\\user",
            "C:\\WINNT\\Profiles\\All Users"};
  }
  throw UsageError("--windows: \"" + windows + "\" is not 95, 98 or nt");
}

void SetText(platform::RegKey root, const std::string& key, const std::string& name,
             const std::string& text) {
  platform::ScopedRegKey handle;
  platform::RegCreateKey(root, key, handle.receive());
  platform::RegSetValue(handle.get(), name, platform::kRegSz, text + '\0');
}

constexpr const char* kShellFolders =
    "Software\\Microsoft\\Windows\\CurrentVersion\\explorer\\Shell Folders";
constexpr const char* kUserShellFolders =
    "Software\\Microsoft\\Windows\\CurrentVersion\\explorer\\User Shell Folders";
constexpr const char* kBootFile = "C:\\MSDOS.SYS";
constexpr const char* kMyDocumentsKey =
    "Software\\Microsoft\\Windows\\CurrentVersion\\explorer\\Desktop\\NameSpace\\"
    "{450d8fba-ad25-11d0-98a8-0800361b1103}";

// The machine before the login: Windows' own folders and values, a boot
// file, the Date/Time control panel, one recent document.
void PrepareMachine(const PlanMachine& machine, const std::optional<std::string>& ie) {
  fake::Reset();
  fake::SetOsVersion(machine.version);
  fake::SetWindowsDirectory(machine.windows_directory);
  fake::SetSystemDirectory(machine.system_directory);
  if (machine.version.platform_id == platform::kPlatformNt) {
    fake::RegisterLibraryExport("CLASPS.DLL", "SRV_RegCreateKey",
                                reinterpret_cast<void*>(&SRV_RegCreateKey));
    fake::RegisterLibraryExport("CLASPS.DLL", "SRV_RegDeleteKey",
                                reinterpret_cast<void*>(&SRV_RegDeleteKey));
  }
  if (ie)
    SetText(platform::kLocalMachine, "Software\\Microsoft\\Internet Explorer", "Version", *ie);
  SetText(platform::kCurrentUser, kShellFolders, "Programs",
          machine.profile + "\\Start Menu\\Programs");
  SetText(platform::kCurrentUser, kShellFolders, "Start Menu", machine.profile + "\\Start Menu");
  SetText(platform::kCurrentUser, kShellFolders, "Recent", machine.profile + "\\Recent");
  if (!machine.all_users.empty()) {
    SetText(platform::kLocalMachine, kShellFolders, "Common Programs",
            machine.all_users + "\\Start Menu\\Programs");
    SetText(platform::kLocalMachine, kShellFolders, "Common Start Menu",
            machine.all_users + "\\Start Menu");
  }
  if (machine.version.platform_id == platform::kPlatformWindows) {
    SetText(platform::kLocalMachine, kMyDocumentsKey, "", "My Documents");
  }
  fake::PutFile(kBootFile, "[Paths]\r\nWinDir=" + machine.windows_directory +
                               "\r\n\r\n[Options]\r\nBootGUI=1\r\n");
  fake::PutFile(machine.system_directory + "\\Timedate.cpl", "MZ");
  fake::PutFile(machine.profile + "\\Recent\\Report.doc.lnk", "L");
  fake::MakeDirectories(platform::ProgramDirectory() + "\\tmp");
}

// ------------------------------------------------------------- snapshots

struct RegSnapshot {
  // Full key path ("HKEY_CURRENT_USER\Software\...") -> value name -> value.
  std::map<std::string, std::map<std::string, fake::RegValueInfo>> keys;
  std::vector<std::string> order;  // keys in tree order
};

constexpr std::pair<platform::RegKey, const char*> kRoots[] = {
    {platform::kClassesRoot, "HKEY_CLASSES_ROOT"},
    {platform::kCurrentUser, "HKEY_CURRENT_USER"},
    {platform::kLocalMachine, "HKEY_LOCAL_MACHINE"},
    {platform::kUsers, "HKEY_USERS"},
    {platform::kCurrentConfig, "HKEY_CURRENT_CONFIG"},
    {platform::kDynData, "HKEY_DYN_DATA"}};

void SnapshotKey(platform::RegKey root, const std::string& root_name, const std::string& path,
                 RegSnapshot& snapshot) {
  const std::string full = path.empty() ? root_name : root_name + "\\" + path;
  auto& values = snapshot.keys[full];
  snapshot.order.push_back(full);
  for (const fake::RegValueInfo& value : fake::RegKeyValues(root, path)) {
    values[FoldCase(value.name)] = value;
  }
  for (const std::string& child : fake::RegSubkeyNames(root, path)) {
    SnapshotKey(root, root_name, path.empty() ? child : path + "\\" + child, snapshot);
  }
}

RegSnapshot SnapshotRegistry() {
  RegSnapshot snapshot;
  for (const auto& [root, name] : kRoots) SnapshotKey(root, name, "", snapshot);
  return snapshot;
}

std::map<std::string, std::string> SnapshotFiles() {
  std::map<std::string, std::string> files;
  for (const std::string& path : fake::AllFiles()) files[path] = fake::FileBytes(path).value_or("");
  return files;
}

// ------------------------------------------------------------ the result

struct ValueChange {
  std::string key;
  fake::RegValueInfo value;
};

struct PlanResult {
  std::vector<ValueChange> written;
  std::vector<ValueChange> deleted_values;
  std::vector<std::string> deleted_keys;
  std::vector<std::string> file_lines;  // "renamed A -> B", "deleted A", ...
  std::vector<std::string> boot_switches;
  std::vector<std::pair<std::string, std::string>> start_menu;
  std::vector<std::string> disc_lines;
  std::vector<fake::ProgramStart> programs;
  std::optional<RuntimeError> failure;
};

bool SameValue(const fake::RegValueInfo& a, const fake::RegValueInfo& b) {
  return a.type == b.type && a.data == b.data && a.name == b.name;
}

void CompareRegistry(const RegSnapshot& before, const RegSnapshot& after, PlanResult& result) {
  for (const std::string& key : before.order) {
    if (after.keys.count(key)) {
      const auto& now = after.keys.at(key);
      for (const auto& [folded, value] : before.keys.at(key)) {
        if (!now.count(folded)) result.deleted_values.push_back({key, value});
      }
      continue;
    }
    const size_t slash = key.rfind('\\');
    const bool parent_gone = slash != std::string::npos &&
                             before.keys.count(key.substr(0, slash)) &&
                             !after.keys.count(key.substr(0, slash));
    if (!parent_gone) result.deleted_keys.push_back(key);
  }
  for (const std::string& key : after.order) {
    const auto old = before.keys.find(key);
    for (const auto& [folded, value] : after.keys.at(key)) {
      const bool same = old != before.keys.end() && old->second.count(folded) &&
                        SameValue(old->second.at(folded), value);
      if (!same) result.written.push_back({key, value});
    }
  }
}

void CompareFiles(const std::map<std::string, std::string>& before,
                  const std::map<std::string, std::string>& after, PlanResult& result) {
  std::set<std::string> created_used;
  for (const auto& [path, bytes] : before) {
    const auto now = after.find(path);
    if (now != after.end()) {
      if (now->second != bytes) result.file_lines.push_back("changed " + path);
      continue;
    }
    std::string renamed_to;
    for (const auto& [new_path, new_bytes] : after) {
      if (!before.count(new_path) && !created_used.count(new_path) && new_bytes == bytes) {
        renamed_to = new_path;
        break;
      }
    }
    if (renamed_to.empty()) {
      result.file_lines.push_back("deleted " + path);
    } else {
      created_used.insert(renamed_to);
      result.file_lines.push_back("renamed " + path + " -> " + renamed_to);
    }
  }
  for (const auto& [path, bytes] : after) {
    if (!before.count(path) && !created_used.count(path)) {
      result.file_lines.push_back("created " + path);
    }
  }
}

PlanResult RunWriteSettings(const UserRecord& record, int n, const std::string& typed_name) {
  const RegSnapshot registry_before = SnapshotRegistry();
  const std::map<std::string, std::string> files_before = SnapshotFiles();
  PlanResult result;
  frmLogin form;
  form.current_user = record;
  form.current_record_number = std::to_string(n);
  form.Text1[0].text = typed_name;
  try {
    form.WriteSettings();
  } catch (const fake::ProgramEnded&) {
    // The normal end: every window closed.
  } catch (const RuntimeError& error) {
    result.failure = error;
  }
  CompareRegistry(registry_before, SnapshotRegistry(), result);
  CompareFiles(files_before, SnapshotFiles(), result);
  for (const char* name : {"BootMulti", "BootWarn", "BootKeys"}) {
    const std::string value = platform::GetProfileString("Options", name, "", kBootFile);
    if (!value.empty()) result.boot_switches.push_back(std::string(name) + "=" + value);
  }
  for (const char* folder : {"Programs", "Start Menu"}) {
    if (auto value = fake::RegGetValue(platform::kCurrentUser, kUserShellFolders, folder)) {
      std::string text = value->data;
      if (!text.empty() && text.back() == '\0') text.pop_back();
      result.start_menu.emplace_back(folder, text);
    }
  }
  result.disc_lines = form.List1.items;
  result.programs = fake::ProgramStarts();
  return result;
}

// ------------------------------------------------------------- printing

std::string Hex(uint32_t value, int digits) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "%0*x", digits, value);
  return buffer;
}

uint32_t DwordOf(const std::string& data) {
  uint32_t value = 0;
  for (size_t i = 0; i < 4 && i < data.size(); ++i) {
    value |= static_cast<uint32_t>(static_cast<unsigned char>(data[i])) << (8 * i);
  }
  return value;
}

std::string TextOf(const std::string& data) {
  std::string text = data;
  if (!text.empty() && text.back() == '\0') text.pop_back();
  return text;
}

NOX_GCC12_BUG105329_BEGIN
std::string HexBytes(const std::string& data) {
  std::string text;
  for (char c : data) text += (text.empty() ? "" : ",") + Hex(static_cast<unsigned char>(c), 2);
  return text;
}
NOX_GCC12_BUG105329_END

std::string ReadableValue(const fake::RegValueInfo& value) {
  switch (value.type) {
    case platform::kRegSz:
      return "REG_SZ \"" + AnsiToOutput(TextOf(value.data)) + "\"";
    case platform::kRegDword:
      return "REG_DWORD " + std::to_string(DwordOf(value.data)) + " (0x" +
             Hex(DwordOf(value.data), 8) + ")";
    case platform::kRegBinary:
      return "REG_BINARY " + HexBytes(value.data);
    default:
      return "type " + std::to_string(value.type) + " " + HexBytes(value.data);
  }
}

bool IsControl(char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; }

bool HasControl(const std::string& text) {
  return std::any_of(text.begin(), text.end(), IsControl);
}

std::string RegFileText(const std::string& text) {
  std::string escaped;
  for (char c : text) {
    if (c == '\\' || c == '"') escaped.push_back('\\');
    escaped.push_back(c);
  }
  return escaped;
}

// A comment's text kept on its one line: control characters as \xNN, so
// that no text from the tables can start a line of its own.
std::string RegComment(const std::string& text) {
  std::string shown;
  for (char c : text) {
    shown += IsControl(c) ? "\\x" + Hex(static_cast<unsigned char>(c), 2) : std::string(1, c);
  }
  return shown;
}

// A key or value name holding a control character has no form in a .reg
// file that regedit reads back as the same name.
const std::string& RegFileName(const std::string& name, const char* what) {
  if (HasControl(name)) {
    throw Failure(std::string("the plan writes a ") + what + " whose name holds \"" +
                  RegComment(name) +
                  "\", with a line break or control character that a .reg file cannot hold; "
                  "use --format text");
  }
  return name;
}

NOX_GCC12_BUG105329_BEGIN
std::string RegFileValue(const fake::RegValueInfo& value) {
  const std::string name =
      value.name.empty() ? "@" : "\"" + RegFileText(RegFileName(value.name, "value")) + "\"";
  switch (value.type) {
    case platform::kRegSz:
      // A text with a line break or control character goes as its bytes.
      if (HasControl(TextOf(value.data))) return name + "=hex(1):" + HexBytes(value.data);
      return name + "=\"" + RegFileText(TextOf(value.data)) + "\"";
    case platform::kRegDword:
      return name + "=dword:" + Hex(DwordOf(value.data), 8);
    case platform::kRegBinary:
      return name + "=hex:" + HexBytes(value.data);
    default:
      return name + "=hex(" + std::to_string(value.type) + "):" + HexBytes(value.data);
  }
}
NOX_GCC12_BUG105329_END

std::string WindowStateText(platform::WindowState state) {
  switch (state) {
    case platform::WindowState::kMaximizedFocus:
      return "maximized";
    case platform::WindowState::kMinimizedFocus:
      return "minimized";
    case platform::WindowState::kHidden:
      return "hidden";
    default:
      return "normal";
  }
}

// Groups consecutive values of the same key.
template <typename Print>
void ForEachKey(const std::vector<ValueChange>& changes, Print print) {
  for (size_t i = 0; i < changes.size();) {
    size_t j = i;
    while (j < changes.size() && changes[j].key == changes[i].key) ++j;
    print(changes[i].key, std::vector<ValueChange>(changes.begin() + i, changes.begin() + j));
    i = j;
  }
}

void PrintText(std::ostream& out, const PlanResult& result) {
  if (result.failure) {
    out << "The login fails with error " << result.failure->number() << " ("
        << result.failure->description() << "); what it did before that stays:\n\n";
  }
  out << "Registry values written:\n";
  ForEachKey(result.written, [&](const std::string& key, const std::vector<ValueChange>& values) {
    out << "  " << AnsiToOutput(key) << "\n";
    for (const ValueChange& change : values) {
      out << "    " << (change.value.name.empty() ? "(default)" : AnsiToOutput(change.value.name))
          << " = " << ReadableValue(change.value) << "\n";
    }
  });
  if (!result.deleted_keys.empty()) {
    out << "Registry keys deleted:\n";
    for (const std::string& key : result.deleted_keys) out << "  " << AnsiToOutput(key) << "\n";
  }
  if (!result.deleted_values.empty()) {
    out << "Registry values deleted:\n";
    for (const ValueChange& change : result.deleted_values) {
      out << "  " << AnsiToOutput(change.key) << "  " << AnsiToOutput(change.value.name) << "\n";
    }
  }
  out << "Files:\n";
  for (const std::string& line : result.file_lines) out << "  " << AnsiToOutput(line) << "\n";
  if (result.file_lines.empty()) out << "  none changed\n";
  out << "Boot options (" << kBootFile << "): ";
  std::string switches;
  for (const std::string& line : result.boot_switches)
    switches += (switches.empty() ? "" : ", ") + line;
  out << (switches.empty() ? "not written" : switches) << "\n";
  out << "Start menu:\n";
  for (const auto& [folder, path] : result.start_menu) {
    out << "  " << folder << " -> " << AnsiToOutput(path) << "\n";
  }
  out << "Disc labels the disc guard lets in:";
  for (const std::string& line : result.disc_lines) {
    out << " \"" << AnsiToOutput(line.size() > 3 ? line.substr(3) : "") << "\"";
  }
  out << (result.disc_lines.empty() ? " none\n" : "\n");
  out << "Programs started:\n";
  for (const fake::ProgramStart& start : result.programs) {
    out << "  " << AnsiToOutput(start.command_line) << " (" << WindowStateText(start.state)
        << ")\n";
  }
  if (result.programs.empty()) out << "  none\n";
}

void PrintRegFile(std::ostream& out, const PlanResult& result, const std::string& title) {
  // Built whole first: a name that cannot be written leaves no half file.
  std::ostringstream file;
  file << "REGEDIT4\r\n\r\n; " << RegComment(title) << "\r\n";
  if (result.failure) {
    file << "; the login fails with error " << result.failure->number() << " ("
         << RegComment(result.failure->description()) << ") after these changes\r\n";
  }
  for (const std::string& line : result.file_lines) file << "; file " << RegComment(line) << "\r\n";
  for (const fake::ProgramStart& start : result.programs) {
    file << "; starts " << RegComment(start.command_line) << "\r\n";
  }
  for (const std::string& key : result.deleted_keys) {
    file << "\r\n[-" << RegFileName(key, "key") << "]\r\n";
  }
  ForEachKey(result.deleted_values,
             [&](const std::string& key, const std::vector<ValueChange>& values) {
               file << "\r\n[" << RegFileName(key, "key") << "]\r\n";
               for (const ValueChange& change : values) {
                 file << "\"" << RegFileText(RegFileName(change.value.name, "value")) << "\"=-\r\n";
               }
             });
  ForEachKey(result.written, [&](const std::string& key, const std::vector<ValueChange>& values) {
    file << "\r\n[" << RegFileName(key, "key") << "]\r\n";
    for (const ValueChange& change : values) file << RegFileValue(change.value) << "\r\n";
  });
  out << file.str();
}

platform::LocalTime LoginTime(Session& session, const ParsedArgs& args) {
  platform::LocalTime time = session.context().now;
  time.second = 0;
  time.millisecond = 0;
  if (std::optional<std::string> at = args.Option("at")) {
    const std::optional<std::string> normal = NormalTime(*at);
    if (!normal) throw UsageError("--at: \"" + *at + "\" is not a time of day HH:MM");
    time.hour = std::stoi(normal->substr(0, 2));
    time.minute = std::stoi(normal->substr(3, 2));
  }
  return time;
}

}  // namespace

int Plan(Session& session, const ParsedArgs& args) {
  const std::string format = args.Option("format").value_or("text");
  if (format != "text" && format != "reg") throw UsageError("--format: text or reg");
  const PlanMachine machine = MachineFor(args.Option("windows").value_or("98"));
  std::optional<std::string> ie = args.Option("ie").value_or("5.00");
  if (*ie == "none") ie.reset();
  const platform::LocalTime at = LoginTime(session, args);

  const UserTable table = session.LoadTable();
  const int n = session.FindUser(table, args.positional[0]);
  const std::string table_bytes = session.Folder().Read("USER.TBL").value_or("");
  const std::optional<std::string> program_list = session.Folder().Read(std::to_string(n) + ".TBL");

  PrepareMachine(machine, ie);
  fake::SetLocalTime(at);
  fake::PutFile(machine.system_directory + "\\USER.TBL", table_bytes);
  if (program_list) {
    fake::PutFile(machine.system_directory + "\\" + std::to_string(n) + ".TBL", *program_list);
  }
  const UserRecord& record = table.record(n);
  const PlanResult result = RunWriteSettings(record, n, record.TrimmedName());

  const std::string title = "noxadmin plan: " + AnsiToOutput(record.TrimmedName()) + " (record " +
                            std::to_string(n) + ") logging in at " + (at.hour < 10 ? "0" : "") +
                            std::to_string(at.hour) + ":" + (at.minute < 10 ? "0" : "") +
                            std::to_string(at.minute) + " on " + machine.windows_name +
                            ", Internet Explorer " + (ie ? *ie : "not installed");
  if (format == "reg") {
    PrintRegFile(session.out(), result, title);
  } else {
    session.out() << title << "\n\n";
    PrintText(session.out(), result);
  }
  return result.failure ? kExitFailed : kExitOk;
}

}  // namespace nox::admin
