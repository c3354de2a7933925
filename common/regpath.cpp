#include "common/regpath.h"

#include <array>
#include <cctype>
#include <cstdio>
#include <limits>

#include "common/ansi_text.h"
#include "common/library_binder.h"
#include "common/runtime_error.h"
#include "common/undo_recorder.h"

namespace nox {
namespace {

constexpr const char* kSource = "RegPath";

std::string UpperAscii(std::string_view text) {
  std::string upper(text);
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return upper;
}

// The hook library's exports are bound by name at each call (the platform
// keeps the library loaded); a missing library raises 53, a missing export
// 453, in the calling routine.
void* BindClaspsExport(const char* export_name) {
  return BindLibraryExport(kClaspsLibrary, export_name, kSource);
}

// While the login's key cache keeps its keys open, the hook library may keep
// the keys it writes to open as well (a run of writes to one key then opens
// it once); a library without SRV_KeepKeys opens and closes each key.
void KeepHookLibraryKeys(bool keep) {
  if (void* keep_keys = platform::FindLibraryExport(kClaspsLibrary, "SRV_KeepKeys")) {
    reinterpret_cast<SrvKeepKeysFn>(keep_keys)(keep ? 1 : 0);
  }
}

// The login program writes through the hook library on NT; the service,
// which runs the same login for a client's hive, has the rights to write
// itself.
bool WritesThroughHookLibrary(RegFlavor flavor) {
  return flavor == RegFlavor::kLogin && !platform::UserHiveMapped() && IsWindowsNT();
}

}  // namespace

platform::RegKey RootHandle(std::string_view root_word) {
  static constexpr std::array<const char*, 7> kRootNames = {
      "HKEY_CLASSES_ROOT",     "HKEY_CURRENT_USER",   "HKEY_LOCAL_MACHINE", "HKEY_USERS",
      "HKEY_PERFORMANCE_DATA", "HKEY_CURRENT_CONFIG", "HKEY_DYN_DATA"};
  const std::string name = "HKEY_" + UpperAscii(root_word);
  for (size_t i = 0; i < kRootNames.size(); ++i) {
    if (name == kRootNames[i]) return platform::kClassesRoot + i;
  }
  return platform::kNoKey;
}

RegPath SplitRegPath(std::string_view regline) {
  std::array<std::string, 4> fields;
  size_t current = 1;
  for (char c : regline) {
    if (c == ',') {
      ++current;
    } else if (current >= fields.size()) {
      Raise(kErrSubscript, kSource);
    } else {
      fields[current].push_back(c);
    }
  }
  return RegPath{RootHandle(fields[1]), fields[2], fields[3]};
}

std::string RegValue::AsText() const { return is_number_ ? std::to_string(number_) : text_; }

int64_t RegValue::AsNumber() const {
  if (is_number_) return number_;
  // A text stands for the number it spells, blanks around it allowed.
  const std::string text = TrimBlanks(text_);
  size_t pos = 0;
  bool negative = false;
  if (pos < text.size() && (text[pos] == '-' || text[pos] == '+')) negative = text[pos++] == '-';
  int base = 10;
  if (text.size() - pos > 2 && text[pos] == '&' && (text[pos + 1] == 'H' || text[pos + 1] == 'h')) {
    base = 16;
    pos += 2;
  }
  if (pos >= text.size()) Raise(kErrTypeMismatch, kSource);
  int64_t value = 0;
  for (; pos < text.size(); ++pos) {
    const int c = std::tolower(static_cast<unsigned char>(text[pos]));
    int digit;
    if (c >= '0' && c <= '9') {
      digit = c - '0';
    } else if (base == 16 && c >= 'a' && c <= 'f') {
      digit = c - 'a' + 10;
    } else {
      Raise(kErrTypeMismatch, kSource);
    }
    value = value * base + digit;
    if (value > std::numeric_limits<uint32_t>::max()) Raise(kErrOverflow, kSource);
  }
  return negative ? -value : value;
}

std::string dectoHextoDec(int64_t value) {
  if (value < std::numeric_limits<int32_t>::min() || value > std::numeric_limits<uint32_t>::max()) {
    Raise(kErrOverflow, "dectoHextoDec");
  }
  uint32_t bits = static_cast<uint32_t>(value);
  std::string bytes;
  do {
    bytes.push_back(static_cast<char>(bits & 0xFF));
    bits >>= 8;
  } while (bits != 0);
  return bytes;
}

void RegWriteDirect(const RegPath& path, int32_t dwtype,
                    const std::function<std::string()>& convert) {
  platform::ScopedRegKey key;
  platform::RegCreateKey(path.root, path.key, key.receive());
  std::string data = convert();
  if (dwtype == platform::kRegDword || dwtype == platform::kRegBinary) {
    data.resize(4, '\0');
  } else {
    data.push_back('\0');
  }
  platform::RegSetValue(key.get(), path.value_name, static_cast<uint32_t>(dwtype), data);
}

void RegWrite(std::string_view regline, const RegValue& regvalue, int32_t dwtype,
              RegFlavor flavor) {
  const RegPath path = SplitRegPath(regline);
  JournalValueChange(path.root, path.key, path.value_name);
  if (WritesThroughHookLibrary(flavor)) {
    auto create = reinterpret_cast<SrvRegCreateKeyFn>(BindClaspsExport("SRV_RegCreateKey"));
    platform::ShareKeptRegKeys(&KeepHookLibraryKeys);
    const std::string text = regvalue.AsText();
    create(static_cast<int32_t>(path.root), path.key.c_str(), path.value_name.c_str(), text.c_str(),
           dwtype);
    return;
  }
  const bool as_bytes = dwtype == platform::kRegDword || dwtype == platform::kRegBinary;
  RegWriteDirect(path, dwtype,
                 [&] { return as_bytes ? dectoHextoDec(regvalue.AsNumber()) : regvalue.AsText(); });
}

std::string RegRead(std::string_view regline, RegFlavor flavor) {
  const RegPath path = SplitRegPath(regline);
  const uint32_t access =
      flavor == RegFlavor::kUninstaller ? platform::kKeyAllAccess : platform::kKeyRead;
  platform::ScopedRegKey key;
  platform::RegOpenKey(path.root, path.key, access, key.receive());
  std::array<char, 255> buffer;
  buffer.fill(' ');
  uint32_t size = 254;
  uint32_t type = 0;
  platform::RegQueryValue(key.get(), path.value_name, &type, buffer.data(), &size);
  key.Reset();
  // The first (size - 1) characters; a size past the buffer gives all of it.
  const size_t keep = size == 0 ? 0 : std::min<size_t>(size - 1, buffer.size());
  return std::string(buffer.data(), keep) + "\\";
}

std::string RegReadTrimmed(std::string_view regline, RegFlavor flavor) {
  std::string value = RegRead(regline, flavor);
  value.pop_back();
  return TrimBlanks(value);
}

void DeleteRegKey(platform::RegKey root, const std::string& key, RegFlavor flavor) {
  JournalKeyDeletion(root, key);
  if (WritesThroughHookLibrary(flavor)) {
    auto remove = reinterpret_cast<SrvRegDeleteKeyFn>(BindClaspsExport("SRV_RegDeleteKey"));
    // The key may be one this program or the library keeps open.
    platform::ReleaseKeptRegKeys();
    remove(static_cast<int32_t>(root), key.c_str());
    return;
  }
  platform::RegDeleteKey(root, key);
}

void RegDeleteKeyTree(platform::RegKey root, const std::string& key) {
  JournalKeyDeletion(root, key);
  platform::ScopedRegKey opened;
  platform::RegOpenKey(root, key, platform::kKeyEnumerateSubKeys, opened.receive());
  std::string previous;
  std::string name;
  while (platform::RegEnumKey(opened.get(), 0, &name) == platform::kSuccess) {
    name = name.substr(0, name.find('\0'));
    // A subkey that survives its own deletion (access denied) would come back
    // at index 0 for ever: stop instead.
    if (!previous.empty() && name == previous) break;
    RegDeleteKeyTree(opened.get(), name);
    previous = name;
  }
  opened.Reset();
  platform::RegDeleteKey(root, key);
}

bool IsWindowsNT() {
  platform::OsVersion version;
  return platform::GetOsVersion(&version) && version.platform_id == platform::kPlatformNt;
}

bool IsWindows98() {
  platform::OsVersion version;
  return platform::GetOsVersion(&version) && version.platform_id == platform::kPlatformWindows &&
         version.minor == 10;
}

bool DeleteRegValue(std::string_view regline) {
  const RegPath path = SplitRegPath(regline);
  JournalValueChange(path.root, path.key, path.value_name);
  platform::ScopedRegKey key;
  const long opened =
      platform::RegOpenKey(path.root, path.key, platform::kKeySetValue, key.receive());
  if (opened != platform::kSuccess) return opened == platform::kFileNotFound;
  const long deleted = platform::RegDeleteValue(key.get(), path.value_name);
  return deleted == platform::kSuccess || deleted == platform::kFileNotFound;
}

}  // namespace nox
