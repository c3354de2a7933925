// The undo journal: what a hive held before Nox first changed it, so that
// the uninstall puts every value back as it was instead of writing 0.
//
// A hive's journal is one REG_MULTI_SZ value "Entries", one entry a line:
//   "K <key>"                            the key was missing: Nox created it
//   "A <key>,<value>"                    the value was missing
//   "V <type> <hex bytes> <key>,<value>" the value's type (decimal) and bytes
//   "T <key>"                            every value below the key, at any
//                                        depth, has its entry (written before
//                                        Nox first deleted the key)
// Key paths are relative to the hive's root, without a final backslash; the
// value name is everything after the first comma. Only the first entry for
// a key or value counts: later logins never replace it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"

namespace nox {

struct JournalEntry {
  enum class Kind { kCreatedKey, kAbsentValue, kValue, kTreeRecorded };
  Kind kind = Kind::kAbsentValue;
  std::string key;
  std::string value_name;
  uint32_t type = 0;
  std::string data;  // the raw bytes

  bool operator==(const JournalEntry&) const = default;

  static JournalEntry Key(Kind kind, std::string key);
  static JournalEntry Value(std::string key, std::string value_name, Kind kind = Kind::kAbsentValue,
                            uint32_t type = 0, std::string data = {});
};

std::string FormatJournalLine(const JournalEntry& entry);
// nullopt for a line that is no entry.
std::optional<JournalEntry> ParseJournalLine(std::string_view line);

struct ParsedJournal {
  std::vector<JournalEntry> entries;
  size_t damaged_lines = 0;
};
// The lines of a REG_MULTI_SZ, each parsed; the empty line ends the list.
ParsedJournal ParseJournal(std::string_view multi_sz);
// Lines as REG_MULTI_SZ bytes: each with its zero, then one more.
std::string JoinJournalLines(const std::vector<std::string>& lines);

// What first-write-wins compares: the folded key, and for a value entry
// "," and the folded value name. Entry kinds of one subject: K and T name a
// key (with a "K " or "T " in front), A and V a value.
std::string JournalSubject(const JournalEntry& entry);
std::string ValueSubject(std::string_view key, std::string_view value_name);

// A key path as the journal keeps it: without final backslashes.
std::string JournalKeyPath(std::string_view key);

// Where one journal lives.
struct JournalPlace {
  platform::RegKey root = platform::kNoKey;
  std::string key;
};
inline constexpr const char* kJournalRoot = "Software\\Quillon\\Nox\\Journal";
inline constexpr const char* kJournalValue = "Entries";
// In the user's own hive (no service: the login writes it itself).
JournalPlace HiveJournalPlace();
// Out of the pupil's reach, written by the service for the account `sid`.
JournalPlace ServiceJournalPlace(const std::string& sid);
// The machine's values.
JournalPlace MachineJournalPlace();

// A value's bytes and type, however long; nullopt when it cannot be read.
// `initial_size` is the first buffer's, enough for most values.
std::optional<std::string> ReadValueBytes(platform::RegKey key, const std::string& name,
                                          uint32_t* type, size_t initial_size = 256);

// The journal at `place`; nullopt when there is none or its value is not a
// REG_MULTI_SZ.
std::optional<ParsedJournal> ReadJournal(const JournalPlace& place);

// Whether the login writes values in the key (`root`: kCurrentUser for a
// user's hive, kLocalMachine), and whether it may have created the key (one
// of those keys or a key above them). A journal entry naming any other key
// is never acted on.
bool KeyNoxWrites(platform::RegKey root, std::string_view key);
bool KeyNoxMayCreate(platform::RegKey root, std::string_view key);

}  // namespace nox
