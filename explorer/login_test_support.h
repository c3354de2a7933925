// Shared arrangements of the login tests on the fake platform.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "clasps/clasps.h"
#include "common/local_time_test_support.h"
#include "common/ole_date.h"
#include "common/regpath.h"
#include "explorer/frm_login.h"
#include "explorer/records.h"
#include "platform/fake/fake_control.h"

namespace nox::testing_support {

inline constexpr const char* kSystemDir = "C:\\WINDOWS\\SYSTEM\\";
inline constexpr const char* kUserTablePath = "C:\\WINDOWS\\SYSTEM\\USER.TBL";
inline constexpr const char* kNetsieveKey = "Software\\Quillon\\Netsieve\\CurrentVersion";
inline constexpr const char* kBudgetTriple = "0,0,33554432";

// A fresh machine (Windows NT, so registry writes go through the hook
// library, which is there as it is on an installed machine).
inline void ResetMachine() {
  platform::fake::Reset();
  platform::fake::RegisterLibraryExport("CLASPS.DLL", "SRV_RegCreateKey",
                                        reinterpret_cast<void*>(&SRV_RegCreateKey));
  platform::fake::RegisterLibraryExport("CLASPS.DLL", "SRV_RegDeleteKey",
                                        reinterpret_cast<void*>(&SRV_RegDeleteKey));
}

inline UserRecord MakeUser(const std::string& name, const std::string& password,
                           const std::string& triple = "0,0,0") {
  UserRecord record = UserRecord::Blank();
  SetFieldText(record.user_name, name);
  SetFieldText(record.password, password);
  SetFieldText(record.level_triple, triple);
  return record;
}

inline UserRecord MakeBudgetUser(const std::string& name, int32_t allowed, int32_t used,
                                 const platform::LocalTime& last_use) {
  UserRecord record = MakeUser(name, "", kBudgetTriple);
  record.allowed_minutes = allowed;
  record.used_minutes = used;
  record.last_use_date = ToOleDate(last_use);
  return record;
}

inline std::string TableBytes(const std::vector<UserRecord>& records) {
  std::string bytes;
  for (const UserRecord& record : records) {
    UserRecordBytes encoded = EncodeUserRecord(record);
    bytes.append(encoded.data(), encoded.size());
  }
  return bytes;
}

inline void PutUserTable(const std::vector<UserRecord>& records) {
  platform::fake::PutFile(kUserTablePath, TableBytes(records));
}

// Record n of the table as stored now.
inline UserRecord StoredUser(int n) {
  std::optional<std::string> bytes = platform::fake::FileBytes(kUserTablePath);
  return DecodeUserRecord(
      std::string_view(*bytes).substr((n - 1) * UserRecord::kSize, UserRecord::kSize));
}

// A text value as stored (without its terminating zero); nullopt when missing.
inline std::optional<std::string> RegText(platform::RegKey root, const std::string& key,
                                          const std::string& name) {
  auto value = platform::fake::RegGetValue(root, key, name);
  if (!value) return std::nullopt;
  std::string data = value->data;
  if (!data.empty() && data.back() == '\0') data.pop_back();
  return data;
}

// Runs a handler; true when it ended the program.
template <typename Handler>
bool Ends(Handler&& handler) {
  try {
    handler();
    return false;
  } catch (const platform::fake::ProgramEnded&) {
    return true;
  }
}

// True when the login handed over to the shell (what the restrictions'
// last step does): the Windows directory's explorer.exe was started.
inline bool ShellStarted() {
  for (const auto& start : platform::fake::ProgramStarts()) {
    if (start.command_line == "C:\\WINDOWS\\explorer.exe") return true;
  }
  return false;
}

// Every key and value below a key, by path: "<shown>\Key\Sub|Name" ->
// "type:data", and "<shown>\Key\Sub\" -> "key" for each key.
using Snapshot = std::map<std::string, std::string>;

inline void CollectRegistry(platform::RegKey root, const std::string& path,
                            const std::string& shown, Snapshot* out) {
  (*out)[shown + "\\"] = "key";
  for (const auto& value : platform::fake::RegKeyValues(root, path)) {
    (*out)[shown + "|" + value.name] = std::to_string(value.type) + ":" + value.data;
  }
  for (const std::string& name : platform::fake::RegSubkeyNames(root, path)) {
    CollectRegistry(root, path.empty() ? name : path + "\\" + name, shown + "\\" + name, out);
  }
}

}  // namespace nox::testing_support
