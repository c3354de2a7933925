#include "pelorus/lab_usage.h"

#include <algorithm>
#include <cstring>

#include "common/ansi_text.h"
#include "common/ole_date.h"
#include "explorer/records.h"

namespace nox {
namespace {

constexpr char kMagic[] = "NOXUSE01";
constexpr size_t kNameWidth = 40;
// More entries than any lab writes: a count beyond it is damage.
constexpr uint32_t kMaxEntries = 1'000'000;

void PutUint32(std::string& out, uint32_t value) {
  for (int i = 0; i < 4; ++i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

uint32_t GetUint32(std::string_view bytes, size_t offset) {
  uint32_t value = 0;
  for (int i = 0; i < 4; ++i) {
    value |= static_cast<uint32_t>(static_cast<unsigned char>(bytes[offset + i])) << (8 * i);
  }
  return value;
}

uint32_t Fnv1a(std::string_view bytes) {
  uint32_t hash = 2166136261u;
  for (char c : bytes) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 16777619u;
  }
  return hash;
}

bool EndsWithIgnoreCase(std::string_view text, std::string_view suffix) {
  return text.size() >= suffix.size() &&
         EqualsIgnoreCase(text.substr(text.size() - suffix.size()), suffix);
}

// Days since 1970 of a yyyymmdd number.
int64_t DaysOfDayNumber(int32_t day) {
  return DaysFromCivil(day / 10000, day / 100 % 100, day % 100);
}

// This PC's entries: none for a missing or damaged file (it is ours to
// rewrite), nullopt when it cannot be read now (its history must not be lost).
std::optional<std::vector<UsageEntry>> ReadOwnEntries(const std::string& path) {
  std::string bytes;
  const long read = platform::ReadWholeFile(path, &bytes);
  if (read == platform::kFileNotFound) return std::vector<UsageEntry>{};
  if (read != platform::kSuccess) return std::nullopt;
  return DecodeUsageFile(bytes).value_or(std::vector<UsageEntry>{});
}

}  // namespace

std::string EncodeUsageFile(const std::vector<UsageEntry>& entries) {
  std::string body;
  body.reserve(entries.size() * kUsageEntrySize);
  for (const UsageEntry& entry : entries) {
    std::string name = entry.user.substr(0, kNameWidth);
    name.resize(kNameWidth, ' ');
    body += name;
    PutUint32(body, static_cast<uint32_t>(entry.day));
    PutUint32(body, static_cast<uint32_t>(entry.minutes));
  }
  std::string file(kMagic, 8);
  PutUint32(file, static_cast<uint32_t>(entries.size()));
  PutUint32(file, Fnv1a(body));
  return file + body;
}

std::optional<std::vector<UsageEntry>> DecodeUsageFile(std::string_view bytes) {
  if (bytes.size() < kUsageHeaderSize || bytes.substr(0, 8) != std::string_view(kMagic, 8)) {
    return std::nullopt;
  }
  const uint32_t count = GetUint32(bytes, 8);
  if (count > kMaxEntries || bytes.size() != kUsageHeaderSize + size_t{count} * kUsageEntrySize ||
      GetUint32(bytes, 12) != Fnv1a(bytes.substr(kUsageHeaderSize))) {
    return std::nullopt;
  }
  std::vector<UsageEntry> entries(count);
  for (uint32_t i = 0; i < count; ++i) {
    const size_t at = kUsageHeaderSize + size_t{i} * kUsageEntrySize;
    entries[i].user = TrimBlanks(bytes.substr(at, kNameWidth));
    entries[i].day = static_cast<int32_t>(GetUint32(bytes, at + kNameWidth));
    entries[i].minutes = static_cast<int32_t>(GetUint32(bytes, at + kNameWidth + 4));
  }
  return entries;
}

int32_t DayNumber(const platform::LocalTime& time) {
  return time.year * 10000 + time.month * 100 + time.day;
}

std::string UsageFileName(const std::string& computer_name) {
  if (computer_name.empty()) return "";
  std::string name = computer_name;
  for (char& c : name) {
    if (static_cast<unsigned char>(c) < 32 || std::strchr("\\/:*?\"<>|", c) != nullptr) c = '_';
  }
  return name + ".tbl";
}

std::optional<std::string> LabUsageFolder() {
  const std::string path = TrimBlanks(FieldText(ReadSettingsRecord().master_path));
  const size_t last = path.find_last_of("\\/");
  if (last == std::string::npos) return std::nullopt;
  const std::string folder = path.substr(0, last + 1) + "usage";
  uint32_t attributes = 0;
  if (platform::GetFileAttributes(folder, &attributes) != platform::kSuccess ||
      (attributes & platform::kAttrDirectory) == 0) {
    return std::nullopt;
  }
  return folder + "\\";
}

std::optional<std::vector<PcUsage>> ReadLabUsage(const std::string& folder) {
  std::vector<platform::FindEntry> found;
  const long listed = platform::FindFiles(folder + "*.tbl", &found);
  if (listed == platform::kFileNotFound) return std::vector<PcUsage>{};
  if (listed != platform::kSuccess) return std::nullopt;
  std::vector<PcUsage> usage;
  for (const platform::FindEntry& entry : found) {
    if ((entry.attributes & platform::kAttrDirectory) != 0 ||
        !EndsWithIgnoreCase(entry.name, ".tbl")) {
      continue;
    }
    std::string bytes;
    if (platform::ReadWholeFile(folder + entry.name, &bytes) != platform::kSuccess) continue;
    if (std::optional<std::vector<UsageEntry>> entries = DecodeUsageFile(bytes)) {
      usage.push_back({entry.name, std::move(*entries)});
    }
  }
  return usage;
}

std::optional<int64_t> LabMinutes(const std::string& folder, const std::string& user, int32_t day) {
  const std::optional<std::vector<PcUsage>> usage = ReadLabUsage(folder);
  if (!usage) return std::nullopt;
  int64_t sum = 0;
  for (const PcUsage& pc : *usage) {
    for (const UsageEntry& entry : pc.entries) {
      if (entry.day == day && EqualsIgnoreCase(entry.user, user)) sum += entry.minutes;
    }
  }
  return sum;
}

bool AddOwnUsage(const std::string& folder, const std::string& file_name, const std::string& user,
                 const platform::LocalTime& today, int32_t minutes) {
  const std::string path = folder + file_name;
  const int32_t day = DayNumber(today);
  const int64_t oldest_kept = DaysOfDayNumber(day) - kUsageDaysKept;
  std::optional<std::vector<UsageEntry>> own = ReadOwnEntries(path);
  if (!own) return false;
  std::vector<UsageEntry>& entries = *own;
  std::erase_if(entries, [&](const UsageEntry& e) {
    return e.day < 10000 || DaysOfDayNumber(e.day) < oldest_kept;
  });
  auto mine = std::find_if(entries.begin(), entries.end(), [&](const UsageEntry& e) {
    return e.day == day && EqualsIgnoreCase(e.user, user);
  });
  if (mine == entries.end()) {
    entries.push_back({TrimBlanks(user), day, 0});
    mine = entries.end() - 1;
  }
  const int64_t total = int64_t{mine->minutes} + minutes;
  mine->minutes = static_cast<int32_t>(std::clamp<int64_t>(total, 0, INT32_MAX));
  const std::string temporary = path.substr(0, path.size() - 4) + ".tmp";
  if (platform::WriteWholeFile(temporary, EncodeUsageFile(entries)) != platform::kSuccess) {
    return false;
  }
  return platform::ReplaceFile(temporary, path) == platform::kSuccess;
}

}  // namespace nox
