// One minute budget across the PCs of a lab: the usage folder.
//
// When the settings' master folder holds a folder "usage", every PC keeps
// its own usage file there, "<COMPUTERNAME>.tbl", and only that PC writes it.
// A usage file, little-endian, no padding:
//   0   8   magic                "NOXUSE01"
//   8   4   entry count          uint32
//   12  4   checksum             uint32, FNV-1a of every byte after the header
//   16  48  entry 1, then the others:
//           0  40 user name      text, blank-padded (as in USER.TBL)
//           40 4  day            int32, year * 10000 + month * 100 + day
//           44 4  minutes        int32, minutes this user used on this PC that day
// A file whose length, magic or checksum does not match is damaged and read
// as nothing. Files are replaced through a temporary file and a rename, so a
// reader sees the old file or the new one.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"

namespace nox {

struct UsageEntry {
  std::string user;  // trimmed of blanks
  int32_t day = 0;   // yyyymmdd
  int32_t minutes = 0;
  bool operator==(const UsageEntry&) const = default;
};

inline constexpr size_t kUsageHeaderSize = 16;
inline constexpr size_t kUsageEntrySize = 48;
// Days a PC keeps in its file: a month of history for `noxadmin usage`.
inline constexpr int kUsageDaysKept = 40;

std::string EncodeUsageFile(const std::vector<UsageEntry>& entries);
// The entries; nullopt for a damaged file.
std::optional<std::vector<UsageEntry>> DecodeUsageFile(std::string_view bytes);

// yyyymmdd of the date.
int32_t DayNumber(const platform::LocalTime& time);

// "<name>.tbl" with the characters not allowed in file names (and controls)
// replaced by "_"; empty for an empty computer name (lab-wide counting off).
std::string UsageFileName(const std::string& computer_name);

// "<master folder>\usage\" when the settings name a master folder and that
// folder exists; nullopt otherwise.
std::optional<std::string> LabUsageFolder();

struct PcUsage {
  std::string file;  // the usage file's name
  std::vector<UsageEntry> entries;
};
// Every readable usage file of the folder (damaged, locked or vanished ones
// are left out); nullopt when the folder cannot be listed.
std::optional<std::vector<PcUsage>> ReadLabUsage(const std::string& folder);

// The user's minutes of the day over every PC's file; nullopt when the
// folder cannot be listed.
std::optional<int64_t> LabMinutes(const std::string& folder, const std::string& user, int32_t day);

// Adds `minutes` to the user's entry of `today` in this PC's own file,
// dropping days older than kUsageDaysKept. A damaged own file starts afresh.
// False when the file could not be read or written.
bool AddOwnUsage(const std::string& folder, const std::string& file_name, const std::string& user,
                 const platform::LocalTime& today, int32_t minutes);

}  // namespace nox
