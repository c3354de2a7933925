#include "common/undo_journal.h"

#include <array>
#include <charconv>

#include "common/ansi_text.h"

namespace nox {
namespace {

constexpr char kHexDigits[] = "0123456789abcdef";

// Where the login writes in a user's hive and in the machine's.
constexpr std::array<const char*, 8> kUserKeys = {
    "Software\\Microsoft\\Windows\\CurrentVersion\\Policies",
    "Software\\Policies",
    "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings",
    "Software\\Microsoft\\Windows\\CurrentVersion\\explorer\\Shell folders",
    "Software\\Microsoft\\Windows\\CurrentVersion\\explorer\\User Shell folders",
    "Software\\Microsoft\\Internet Explorer\\Main",
    "Software\\Microsoft\\Windows Script Host\\Settings",
    "Control Panel\\Accessibility",
};
constexpr std::array<const char*, 6> kMachineKeys = {
    "Software\\Microsoft\\Windows\\CurrentVersion\\Policies",
    "Software\\Policies",
    "Software\\Quillon\\Netsieve\\CurrentVersion",
    "Software\\Microsoft\\Windows\\CurrentVersion\\explorer\\Shell folders",
    "Software\\Microsoft\\Windows\\CurrentVersion\\explorer\\User Shell folders",
    "Software\\Microsoft\\Windows\\CurrentVersion\\explorer\\Desktop\\NameSpace\\"
    "{450d8fba-ad25-11d0-98a8-0800361b1103}",
};

// `inner` is `outer` or a key below it.
bool WithinKey(std::string_view inner, std::string_view outer) {
  const std::string folded_inner = FoldCase(inner);
  const std::string folded_outer = FoldCase(outer);
  if (folded_inner.size() < folded_outer.size()) return false;
  if (folded_inner.compare(0, folded_outer.size(), folded_outer) != 0) return false;
  return folded_inner.size() == folded_outer.size() || folded_inner[folded_outer.size()] == '\\';
}

template <size_t N>
bool AnyKey(const std::array<const char*, N>& keys, std::string_view key, bool or_above) {
  for (const char* written : keys) {
    if (WithinKey(key, written) || (or_above && !key.empty() && WithinKey(written, key))) {
      return true;
    }
  }
  return false;
}

bool KeyAllowed(platform::RegKey root, std::string_view key, bool or_above) {
  if (root == platform::kCurrentUser) return AnyKey(kUserKeys, key, or_above);
  if (root == platform::kLocalMachine) return AnyKey(kMachineKeys, key, or_above);
  return false;
}

std::string Hex(std::string_view bytes) {
  std::string hex;
  hex.reserve(bytes.size() * 2);
  for (unsigned char byte : bytes) {
    hex.push_back(kHexDigits[byte >> 4]);
    hex.push_back(kHexDigits[byte & 0xF]);
  }
  return hex;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

std::optional<std::string> Unhex(std::string_view hex) {
  if (hex.size() % 2 != 0) return std::nullopt;
  std::string bytes;
  bytes.reserve(hex.size() / 2);
  for (size_t i = 0; i < hex.size(); i += 2) {
    const int high = HexDigit(hex[i]);
    const int low = HexDigit(hex[i + 1]);
    if (high < 0 || low < 0) return std::nullopt;
    bytes.push_back(static_cast<char>(high << 4 | low));
  }
  return bytes;
}

// Splits "<key>,<value>"; false without a comma or with an empty key.
bool SplitValuePath(std::string_view path, JournalEntry* entry) {
  const size_t comma = path.find(',');
  if (comma == std::string_view::npos || comma == 0) return false;
  entry->key = std::string(path.substr(0, comma));
  entry->value_name = std::string(path.substr(comma + 1));
  return true;
}

// The next blank-ended field of `rest`, which loses it and the blank.
std::optional<std::string_view> TakeField(std::string_view* rest) {
  const size_t blank = rest->find(' ');
  if (blank == std::string_view::npos) return std::nullopt;
  const std::string_view field = rest->substr(0, blank);
  rest->remove_prefix(blank + 1);
  return field;
}

std::optional<JournalEntry> ParseValueLine(std::string_view rest) {
  JournalEntry entry;
  entry.kind = JournalEntry::Kind::kValue;
  const std::optional<std::string_view> type = TakeField(&rest);
  const std::optional<std::string_view> hex = TakeField(&rest);
  if (!type || !hex || type->empty()) return std::nullopt;
  const auto [end, error] = std::from_chars(type->data(), type->data() + type->size(), entry.type);
  if (error != std::errc() || end != type->data() + type->size()) return std::nullopt;
  std::optional<std::string> data = Unhex(*hex);
  if (!data || !SplitValuePath(rest, &entry)) return std::nullopt;
  entry.data = std::move(*data);
  return entry;
}

}  // namespace

JournalEntry JournalEntry::Key(Kind kind, std::string key) {
  JournalEntry entry;
  entry.kind = kind;
  entry.key = std::move(key);
  return entry;
}

JournalEntry JournalEntry::Value(std::string key, std::string value_name, Kind kind, uint32_t type,
                                 std::string data) {
  JournalEntry entry;
  entry.kind = kind;
  entry.key = std::move(key);
  entry.value_name = std::move(value_name);
  entry.type = type;
  entry.data = std::move(data);
  return entry;
}

std::string FormatJournalLine(const JournalEntry& entry) {
  using Kind = JournalEntry::Kind;
  switch (entry.kind) {
    case Kind::kCreatedKey:
      return "K " + entry.key;
    case Kind::kTreeRecorded:
      return "T " + entry.key;
    case Kind::kAbsentValue:
      return "A " + entry.key + "," + entry.value_name;
    case Kind::kValue:
      break;
  }
  return "V " + std::to_string(entry.type) + " " + Hex(entry.data) + " " + entry.key + "," +
         entry.value_name;
}

std::optional<JournalEntry> ParseJournalLine(std::string_view line) {
  if (line.size() < 3 || line[1] != ' ') return std::nullopt;
  const std::string_view rest = line.substr(2);
  JournalEntry entry;
  switch (line[0]) {
    case 'K':
    case 'T':
      if (rest.empty() || rest.find(',') != std::string_view::npos) return std::nullopt;
      entry.kind =
          line[0] == 'K' ? JournalEntry::Kind::kCreatedKey : JournalEntry::Kind::kTreeRecorded;
      entry.key = std::string(rest);
      return entry;
    case 'A':
      if (!SplitValuePath(rest, &entry)) return std::nullopt;
      return entry;
    case 'V':
      return ParseValueLine(rest);
    default:
      return std::nullopt;
  }
}

ParsedJournal ParseJournal(std::string_view multi_sz) {
  ParsedJournal journal;
  while (!multi_sz.empty()) {
    const size_t end = multi_sz.find('\0');
    const std::string_view line = multi_sz.substr(0, end);
    if (line.empty()) break;
    if (std::optional<JournalEntry> entry = ParseJournalLine(line)) {
      journal.entries.push_back(std::move(*entry));
    } else {
      ++journal.damaged_lines;
    }
    if (end == std::string_view::npos) break;
    multi_sz.remove_prefix(end + 1);
  }
  return journal;
}

std::string JoinJournalLines(const std::vector<std::string>& lines) {
  std::string bytes;
  for (const std::string& line : lines) {
    bytes += line;
    bytes.push_back('\0');
  }
  bytes.push_back('\0');
  return bytes;
}

std::string ValueSubject(std::string_view key, std::string_view value_name) {
  return FoldCase(JournalKeyPath(key)) + "," + FoldCase(value_name);
}

std::string JournalSubject(const JournalEntry& entry) {
  using Kind = JournalEntry::Kind;
  if (entry.kind == Kind::kCreatedKey) return "K " + FoldCase(entry.key);
  if (entry.kind == Kind::kTreeRecorded) return "T " + FoldCase(entry.key);
  return ValueSubject(entry.key, entry.value_name);
}

std::string JournalKeyPath(std::string_view key) {
  while (!key.empty() && key.back() == '\\') key.remove_suffix(1);
  return std::string(key);
}

JournalPlace HiveJournalPlace() { return {platform::kCurrentUser, kJournalRoot}; }

JournalPlace ServiceJournalPlace(const std::string& sid) {
  return {platform::kLocalMachine, std::string(kJournalRoot) + "\\" + sid};
}

JournalPlace MachineJournalPlace() {
  return {platform::kLocalMachine, std::string(kJournalRoot) + "\\Machine"};
}

std::optional<ParsedJournal> ReadJournal(const JournalPlace& place) {
  platform::ScopedRegKey key;
  if (platform::RegOpenKey(place.root, place.key, platform::kKeyRead, key.receive()) !=
      platform::kSuccess) {
    return std::nullopt;
  }
  // One query for a journal of a few hundred entries.
  uint32_t type = 0;
  const std::optional<std::string> bytes = ReadValueBytes(key.get(), kJournalValue, &type, 16384);
  if (!bytes || type != platform::kRegMultiSz) return std::nullopt;
  return ParseJournal(*bytes);
}

std::optional<std::string> ReadValueBytes(platform::RegKey key, const std::string& name,
                                          uint32_t* type, size_t initial_size) {
  std::string data(initial_size, '\0');
  for (;;) {
    uint32_t size = static_cast<uint32_t>(data.size());
    const long result = platform::RegQueryValue(key, name, type, data.data(), &size);
    if (result == platform::kMoreData && size > data.size()) {
      data.resize(size);
      continue;
    }
    if (result != platform::kSuccess) return std::nullopt;
    data.resize(size);
    return data;
  }
}

bool KeyNoxWrites(platform::RegKey root, std::string_view key) {
  return KeyAllowed(root, key, false);
}

bool KeyNoxMayCreate(platform::RegKey root, std::string_view key) {
  return KeyAllowed(root, key, true);
}

}  // namespace nox
