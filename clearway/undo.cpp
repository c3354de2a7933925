#include "clearway/undo.h"

#include <algorithm>

#include "clearway/snare/traced_routine.h"
#include "common/ansi_text.h"

namespace nox::clearway {
namespace {

constexpr const char* kProfileList = "Software\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";
constexpr const char* kPrivateHivePrefix = "NoxUndo_";
// Local system, local service and network service never log in to Nox.
constexpr const char* kSystemAccounts[] = {"S-1-5-18", "S-1-5-19", "S-1-5-20"};
// The journal keys are removed up to here, each once it is empty.
constexpr const char* kProductKey = "Software\\Quillon";

thread_local const HiveUndo* t_user_undo = nullptr;
thread_local const HiveUndo* t_machine_undo = nullptr;

bool ValueExists(platform::RegKey root, const std::string& key, const std::string& name) {
  platform::ScopedRegKey opened;
  if (platform::RegOpenKey(root, key, platform::kKeyRead, opened.receive()) != platform::kSuccess) {
    return false;
  }
  return platform::RegQueryValue(opened.get(), name, nullptr, nullptr, nullptr) ==
         platform::kSuccess;
}

bool KeyIsEmpty(platform::RegKey root, const std::string& key) {
  platform::ScopedRegKey opened;
  if (platform::RegOpenKey(root, key, platform::kKeyRead, opened.receive()) != platform::kSuccess) {
    return false;
  }
  std::string name;
  uint32_t type = 0;
  std::string data;
  return platform::RegEnumKey(opened.get(), 0, &name) == platform::kNoMoreItems &&
         platform::RegEnumValue(opened.get(), 0, &name, &type, &data) == platform::kNoMoreItems;
}

void DeleteKeyIfEmpty(platform::RegKey root, const std::string& key) {
  if (KeyIsEmpty(root, key)) platform::RegDeleteKey(root, key);
}

size_t Depth(const std::string& key) { return std::count(key.begin(), key.end(), '\\'); }

void TraceIgnored(const std::string& line) {
  TracedRoutine routine("hide", "Sub IgnoreJournalEntry", [&] {
    return ArgumentList({{"entry", line}});
  });
}

void TraceDamaged(const JournalPlace& place, size_t lines) {
  TracedRoutine routine("hide", "Sub IgnoreDamagedJournalLines", [&] {
    return ArgumentList({{"journal", place.key}, {"lines", std::to_string(lines)}});
  });
}

void RestoreValue(platform::RegKey root, const JournalEntry& entry) {
  platform::ScopedRegKey key;
  if (entry.kind == JournalEntry::Kind::kValue) {
    if (platform::RegCreateKey(root, entry.key, key.receive()) == platform::kSuccess) {
      platform::RegSetValue(key.get(), entry.value_name, entry.type, entry.data);
    }
  } else if (platform::RegOpenKey(root, entry.key, platform::kKeySetValue, key.receive()) ==
             platform::kSuccess) {
    platform::RegDeleteValue(key.get(), entry.value_name);
  }
}

// The journal's value, its key, and the product's keys above it that are
// left empty.
void RemoveJournal(const JournalPlace& place) {
  platform::ScopedRegKey key;
  if (platform::RegOpenKey(place.root, place.key, platform::kKeySetValue, key.receive()) ==
      platform::kSuccess) {
    platform::RegDeleteValue(key.get(), kJournalValue);
  }
  key.Reset();
  for (std::string path = place.key; path.size() > std::string_view(kProductKey).size();
       path = path.substr(0, path.rfind('\\'))) {
    DeleteKeyIfEmpty(place.root, path);
  }
  DeleteKeyIfEmpty(place.root, kProductKey);
}

}  // namespace

HiveUndo::HiveUndo(platform::RegKey root, std::vector<JournalPlace> places)
    : root_(root), places_(std::move(places)) {
  for (const JournalPlace& place : places_) {
    std::optional<ParsedJournal> journal = ReadJournal(place);
    if (!journal) continue;
    has_journal_ = true;
    if (journal->damaged_lines != 0) TraceDamaged(place, journal->damaged_lines);
    for (JournalEntry& entry : journal->entries) {
      if (subjects_.insert(JournalSubject(entry)).second) entries_.push_back(std::move(entry));
    }
  }
}

bool HiveUndo::ResetWrites(const std::string& key, const std::string& value_name) const {
  if (!has_journal_) return true;
  if (subjects_.count(ValueSubject(key, value_name)) != 0) return false;
  return ValueExists(root_, key, value_name);
}

void HiveUndo::Restore() const {
  std::vector<std::string> created_keys;
  for (const JournalEntry& entry : entries_) {
    switch (entry.kind) {
      case JournalEntry::Kind::kTreeRecorded:
        break;
      case JournalEntry::Kind::kCreatedKey:
        if (KeyNoxMayCreate(root_, entry.key)) {
          created_keys.push_back(entry.key);
        } else {
          TraceIgnored(FormatJournalLine(entry));
        }
        break;
      case JournalEntry::Kind::kAbsentValue:
      case JournalEntry::Kind::kValue:
        if (KeyNoxWrites(root_, entry.key)) {
          RestoreValue(root_, entry);
        } else {
          TraceIgnored(FormatJournalLine(entry));
        }
        break;
    }
  }
  std::stable_sort(created_keys.begin(), created_keys.end(),
                   [](const std::string& a, const std::string& b) { return Depth(a) > Depth(b); });
  for (const std::string& key : created_keys) DeleteKeyIfEmpty(root_, key);
  for (const JournalPlace& place : places_) RemoveJournal(place);
}

UndoScope::UndoScope(const HiveUndo* user, const HiveUndo* machine) {
  t_user_undo = user;
  t_machine_undo = machine;
}

UndoScope::~UndoScope() {
  t_user_undo = nullptr;
  t_machine_undo = nullptr;
}

bool ResetWrites(const RegPath& path) {
  const HiveUndo* undo = path.root == platform::kCurrentUser    ? t_user_undo
                         : path.root == platform::kLocalMachine ? t_machine_undo
                                                                : nullptr;
  return undo == nullptr || undo->ResetWrites(path.key, path.value_name);
}

std::vector<Profile> ListProfiles() {
  std::vector<Profile> profiles;
  platform::ScopedRegKey list;
  if (platform::RegOpenKey(platform::kLocalMachine, kProfileList, platform::kKeyRead,
                           list.receive()) != platform::kSuccess) {
    return profiles;
  }
  std::string sid;
  for (uint32_t i = 0; platform::RegEnumKey(list.get(), i, &sid) == platform::kSuccess; ++i) {
    sid = sid.substr(0, sid.find('\0'));
    if (std::any_of(std::begin(kSystemAccounts), std::end(kSystemAccounts),
                    [&](const char* system) { return EqualsIgnoreCase(sid, system); })) {
      continue;
    }
    std::string folder = RegReadTrimmed(
        std::string("Local_Machine,") + kProfileList + "\\" + sid + ",ProfileImagePath",
        RegFlavor::kUninstaller);
    profiles.push_back({sid, platform::ExpandEnvironmentText(folder)});
  }
  return profiles;
}

MountedProfile::MountedProfile(const Profile& profile) : name_(profile.sid) {
  platform::ScopedRegKey loaded;
  if (platform::RegOpenKey(platform::kUsers, profile.sid, platform::kKeyRead, loaded.receive()) ==
      platform::kSuccess) {
    return;
  }
  name_ = kPrivateHivePrefix + profile.sid;
  file_ = profile.folder + "\\NTUSER.DAT";
  error_ = platform::LoadUserHiveFile(name_, file_);
  loaded_here_ = error_ == platform::kSuccess;
}

MountedProfile::~MountedProfile() {
  if (loaded_here_) platform::UnloadUserHiveFile(name_, file_);
}

}  // namespace nox::clearway
