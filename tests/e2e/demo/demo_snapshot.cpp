// Prints the registry values and files a login of Nox may change, one per
// line, so that two snapshots (before and after a login) can be compared:
//   REG|<root>\<key>|<value name>|<type>|<value>
//   FILE|<path>|<size in bytes>
// Used by "./nox demo".
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/win32/scoped_handles.h"
#include "platform/win32/win32_api.h"

namespace {

struct Watched {
  HKEY root;
  const char* root_name;
  const char* key;
  bool recursive;
};

const Watched kKeys[] = {
    {HKEY_CURRENT_USER, "HKCU", "Software\\Microsoft\\Windows\\CurrentVersion\\Policies", true},
    {HKEY_CURRENT_USER, "HKCU", "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings",
     false},
    {HKEY_CURRENT_USER, "HKCU",
     "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\Zones\\3", false},
    {HKEY_CURRENT_USER, "HKCU", "Software\\Microsoft\\Internet Explorer\\Main", false},
    {HKEY_CURRENT_USER, "HKCU",
     "Software\\Microsoft\\Windows\\CurrentVersion\\explorer\\User Shell Folders", false},
    {HKEY_CURRENT_USER, "HKCU",
     "Software\\Microsoft\\Windows\\CurrentVersion\\explorer\\Shell Folders", false},
    {HKEY_LOCAL_MACHINE, "HKLM", "Software\\Quillon", true},
    {HKEY_LOCAL_MACHINE, "HKLM", "Software\\Microsoft\\Windows\\CurrentVersion\\Policies", true},
    {HKEY_LOCAL_MACHINE, "HKLM",
     "Software\\Microsoft\\Windows\\CurrentVersion\\explorer\\User Shell Folders", false},
    {HKEY_LOCAL_MACHINE, "HKLM",
     "Software\\Microsoft\\Windows\\CurrentVersion\\explorer\\Shell Folders", false},
};

std::string Hex(const BYTE* data, DWORD size) {
  std::string text;
  char byte[4];
  for (DWORD i = 0; i < size; ++i) {
    std::snprintf(byte, sizeof byte, i ? " %02x" : "%02x", data[i]);
    text += byte;
  }
  return text;
}

std::string ValueText(DWORD type, const std::vector<BYTE>& data, DWORD size) {
  switch (type) {
    case REG_SZ:
    case REG_EXPAND_SZ: {
      std::string text(reinterpret_cast<const char*>(data.data()), size);
      if (!text.empty() && text.back() == '\0') text.pop_back();
      return "\"" + text + "\"";
    }
    case REG_DWORD:
      if (size == 4) {
        DWORD value;
        std::memcpy(&value, data.data(), 4);
        char text[32];
        std::snprintf(text, sizeof text, value > 9 ? "%lu (0x%lx)" : "%lu", value, value);
        return text;
      }
      return Hex(data.data(), size);
    case REG_MULTI_SZ: {
      // A list (the undo journals): how many lines it holds.
      const std::string text(reinterpret_cast<const char*>(data.data()), size);
      size_t lines = 0;
      for (size_t at = 0; at < text.size() && text[at] != '\0'; at = text.find('\0', at) + 1) {
        ++lines;
        if (text.find('\0', at) == std::string::npos) break;
      }
      return std::to_string(lines) + " lines";
    }
    default:
      return "bytes " + Hex(data.data(), size);
  }
}

const char* TypeName(DWORD type) {
  switch (type) {
    case REG_SZ:
      return "REG_SZ";
    case REG_EXPAND_SZ:
      return "REG_EXPAND_SZ";
    case REG_DWORD:
      return "REG_DWORD";
    case REG_BINARY:
      return "REG_BINARY";
    case REG_MULTI_SZ:
      return "REG_MULTI_SZ";
    default:
      return "REG_OTHER";
  }
}

void DumpKey(HKEY root, const std::string& root_name, const std::string& key, bool recursive) {
  platform::win32::ScopedKey opened;
  if (RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, opened.receive()) != ERROR_SUCCESS) return;
  for (DWORD index = 0;; ++index) {
    char name[512];
    DWORD name_size = sizeof name;
    DWORD type = 0;
    std::vector<BYTE> data(16384);
    DWORD size = static_cast<DWORD>(data.size());
    if (RegEnumValueA(opened.get(), index, name, &name_size, nullptr, &type, data.data(), &size) !=
        ERROR_SUCCESS) {
      break;
    }
    std::printf("REG|%s\\%s|%s|%s|%s\n", root_name.c_str(), key.c_str(),
                name_size ? name : "(default)", TypeName(type),
                ValueText(type, data, size).c_str());
  }
  if (recursive) {
    char sub[256];
    for (DWORD index = 0; RegEnumKeyA(opened.get(), index, sub, sizeof sub) == ERROR_SUCCESS;
         ++index) {
      DumpKey(root, root_name, key + "\\" + sub, true);
    }
  }
}

void DumpFile(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return;
  std::printf("FILE|%s|%lu\n", path.c_str(), data.nFileSizeLow);
}

}  // namespace

int main(int argc, char** argv) {
  for (const Watched& watched : kKeys) {
    DumpKey(watched.root, watched.root_name, watched.key, watched.recursive);
  }
  char system[MAX_PATH] = {};
  GetSystemDirectoryA(system, MAX_PATH);
  for (const char* name : {"Timedate.cpl", "123456789.123", "user.cur"}) {
    DumpFile(std::string(system) + "\\" + name);
  }
  // Further files to watch, given on the command line.
  for (int i = 1; i < argc; ++i) DumpFile(argv[i]);
  return 0;
}
