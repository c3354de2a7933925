// The registry facade over advapi32.
#include <vector>

#include "platform/platform.h"
#include "platform/reg_key_cache.h"
#include "platform/win32/user_hive_win32.h"
#include "platform/win32/win32_api.h"

namespace platform {

namespace {

// The predefined roots are 32-bit values; as HKEYs they are sign-extended
// on 64-bit Windows (HKEY_CURRENT_USER is 0xFFFFFFFF80000001 there).
// kCurrentUser is the caller's hive while a ScopedUserHive is in force.
HKEY ToHkey(RegKey key) {
  if (key == kCurrentUser) return win32::CurrentUserRoot();
  if (key >= kClassesRoot && key <= kDynData) {
    return reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(static_cast<LONG>(key)));
  }
  return reinterpret_cast<HKEY>(key);
}

// A predefined root handed back by the API (RegOpenKeyExA with an empty
// path returns it) becomes its 32-bit value again.
RegKey FromHkey(HKEY key) {
  for (RegKey root = kClassesRoot; root <= kDynData; ++root) {
    if (key == ToHkey(root)) return root;
  }
  return reinterpret_cast<RegKey>(key);
}

}  // namespace

long uncached::RegCreateKey(RegKey parent, const std::string& subkey, RegKey* out) {
  HKEY key = nullptr;
  char no_class[] = "";
  LONG result = RegCreateKeyExA(ToHkey(parent), subkey.c_str(), 0, no_class, 0, KEY_ALL_ACCESS,
                                nullptr, &key, nullptr);
  *out = result == ERROR_SUCCESS ? FromHkey(key) : kNoKey;
  return result;
}

long uncached::RegOpenKey(RegKey parent, const std::string& subkey, uint32_t access, RegKey* out) {
  HKEY key = nullptr;
  LONG result = RegOpenKeyExA(ToHkey(parent), subkey.c_str(), 0, access, &key);
  *out = result == ERROR_SUCCESS ? FromHkey(key) : kNoKey;
  return result;
}

long RegSetValue(RegKey key, const std::string& name, uint32_t type, std::string_view data) {
  // NT adds a terminator to a text whose given size leaves it out, if the
  // byte after the data happens to be zero. A non-zero byte there keeps the
  // stored bytes exactly the ones given.
  std::vector<BYTE> bytes(data.begin(), data.end());
  bytes.push_back(0xFF);
  return RegSetValueExA(ToHkey(key), name.c_str(), 0, type, bytes.data(),
                        static_cast<DWORD>(data.size()));
}

long RegQueryValue(RegKey key, const std::string& name, uint32_t* type, char* data,
                   uint32_t* size) {
  if (data != nullptr && size == nullptr) return kInvalidParameter;
  // Through locals: the API writes type and size even on some failures
  // (Windows 95 style REG_NONE, a size of 0); the facade leaves them alone.
  DWORD value_type = 0;
  DWORD value_size = size != nullptr ? *size : 0;
  LONG result = RegQueryValueExA(ToHkey(key), name.c_str(), nullptr, &value_type,
                                 reinterpret_cast<BYTE*>(data), size ? &value_size : nullptr);
  if (result == ERROR_SUCCESS || result == ERROR_MORE_DATA) {
    if (type != nullptr) *type = value_type;
    if (size != nullptr) *size = value_size;
  }
  return result;
}

long RegEnumKey(RegKey key, uint32_t index, std::string* name) {
  char buffer[MAX_PATH + 1] = {};
  LONG result = RegEnumKeyA(ToHkey(key), index, buffer, sizeof buffer);
  if (result == ERROR_SUCCESS) *name = buffer;
  return result;
}

long RegEnumValue(RegKey key, uint32_t index, std::string* name, uint32_t* type,
                  std::string* data) {
  LONG result = ERROR_MORE_DATA;
  // The sizes can change between the two calls; a few rounds settle it.
  for (int round = 0; round < 4 && result == ERROR_MORE_DATA; ++round) {
    DWORD max_name = 0;
    DWORD max_data = 0;
    result = RegQueryInfoKeyA(ToHkey(key), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                              nullptr, &max_name, &max_data, nullptr, nullptr);
    if (result != ERROR_SUCCESS) return result;
    std::vector<char> name_buffer(max_name + 1);
    std::vector<BYTE> data_buffer(max_data + 1);
    DWORD name_size = static_cast<DWORD>(name_buffer.size());
    DWORD data_size = static_cast<DWORD>(data_buffer.size());
    DWORD value_type = 0;
    result = RegEnumValueA(ToHkey(key), index, name_buffer.data(), &name_size, nullptr, &value_type,
                           data_buffer.data(), &data_size);
    if (result == ERROR_SUCCESS) {
      name->assign(name_buffer.data(), name_size);
      *type = value_type;
      data->assign(reinterpret_cast<const char*>(data_buffer.data()), data_size);
    }
  }
  return result;
}

long uncached::RegDeleteKey(RegKey parent, const std::string& subkey) {
  return RegDeleteKeyA(ToHkey(parent), subkey.c_str());
}

long RegDeleteValue(RegKey key, const std::string& name) {
  return RegDeleteValueA(ToHkey(key), name.c_str());
}

long uncached::RegCloseKey(RegKey key) { return ::RegCloseKey(ToHkey(key)); }

long RegFlushKey(RegKey key) { return ::RegFlushKey(ToHkey(key)); }

}  // namespace platform
