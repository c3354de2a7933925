#include "noxadmin/user_fields.h"

#include <array>
#include <cstdint>
#include <limits>

#include "common/catalogue.h"
#include "common/ole_date.h"
#include "common/password_field.h"
#include "common/runtime_error.h"
#include "noxadmin/problem.h"
#include "noxadmin/text.h"

namespace nox::admin {
namespace {

// Positions (0-based) inside a drive schedule text.
constexpr size_t kScheduleStart = 7;
constexpr size_t kScheduleEnd = 19;
constexpr size_t kScheduleFlag = 24;
constexpr size_t kScheduleFlagWidth = 6;

constexpr int kMaxListEntries = 255;

struct ProxyField {
  const char* name;
  ProxyIndex index;
};
constexpr std::array<ProxyField, 5> kProxyFields = {{{"proxy-http", kProxyHttp},
                                                     {"proxy-https", kProxyHttps},
                                                     {"proxy-ftp", kProxyFtp},
                                                     {"proxy-gopher", kProxyGopher},
                                                     {"proxy-socks", kProxySocks}}};

[[noreturn]] void Refuse(std::string_view field, const std::string& why) {
  throw Refusal::OfField(std::string(field), why);
}

std::string CharacterCount(size_t count) {
  return std::to_string(count) + (count == 1 ? " character" : " characters");
}

bool HasControl(std::string_view text) {
  for (char c : text) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return true;
  }
  return false;
}

// Stores a text into a fixed field, refusing what does not fit.
template <size_t N>
void StoreText(TextField<N>& target, std::string_view field, std::string_view value) {
  if (value.size() > N) {
    Refuse(field, CharacterCount(value.size()) + ", at most " + std::to_string(N) + " fit");
  }
  if (HasControl(value)) Refuse(field, "control characters (tabs, line breaks) do not fit");
  SetFieldText(target, value);
}

std::optional<int64_t> WholeNumber(std::string_view text) {
  if (text.empty() || text.size() > 10) return std::nullopt;
  int64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  return value;
}

std::string TripleText(uint32_t mask1, uint32_t mask2, uint32_t mask3) {
  return std::to_string(mask1) + "," + std::to_string(mask2) + "," + std::to_string(mask3);
}

std::optional<LevelMasks> StoredMasks(const UserRecord& record) {
  try {
    return ReadLevelTriple(FieldText(record.level_triple));
  } catch (const RuntimeError&) {
    return std::nullopt;
  }
}

void StoreTriple(UserRecord& record, std::string_view field, const LevelMasks& masks) {
  const std::string text = TripleText(masks.mask1, masks.mask2, masks.mask3);
  if (text.size() > record.level_triple.size()) {
    Refuse(field, "the triple " + text + " needs " + CharacterCount(text.size()) + ", at most " +
                      std::to_string(record.level_triple.size()) + " fit");
  }
  SetFieldText(record.level_triple, text);
}

// "m1,m2,m3": three plain decimal numbers up to 2147483647, blanks allowed.
std::optional<LevelMasks> ParseTriple(std::string_view text) {
  const std::vector<std::string> parts = SplitList(text, ',');
  if (parts.size() != 3) return std::nullopt;
  std::array<uint32_t, 3> masks{};
  for (size_t i = 0; i < 3; ++i) {
    const std::optional<int64_t> value = WholeNumber(parts[i]);
    if (!value || *value > std::numeric_limits<int32_t>::max()) return std::nullopt;
    masks[i] = static_cast<uint32_t>(*value);
  }
  return LevelMasks{masks[0], masks[1], masks[2]};
}

void ApplyLevel(UserRecord& record, std::string_view value) {
  const std::optional<std::string> named = TripleForLevelName(TrimBlanks(value));
  if (named) {
    LevelMasks masks = ReadLevelTriple(*named);
    if (BudgetOn(record)) masks.mask3 |= kBudgetBit;
    StoreTriple(record, "level", masks);
    return;
  }
  const std::optional<LevelMasks> masks = ParseTriple(value);
  if (!masks) {
    std::string names;
    for (const SecurityLevel& level : kSecurityLevels) {
      names += std::string(names.empty() ? "" : ", ") + "\"" + level.name + "\"";
    }
    Refuse("level", "\"" + std::string(value) + "\" is neither a level name (" + names +
                        ") nor a triple of three numbers such as 4096,32776,4");
  }
  StoreTriple(record, "level", *masks);
}

void ApplyMinutes(UserRecord& record, std::string_view value) {
  std::optional<LevelMasks> masks = StoredMasks(record);
  if (!masks) Refuse("minutes", "the stored level triple cannot be read; set the level first");
  const std::string text = TrimBlanks(value);
  if (text == "none") {
    masks->mask3 &= ~kBudgetBit;
    StoreTriple(record, "minutes", *masks);
    return;
  }
  const std::optional<int64_t> minutes = WholeNumber(text);
  if (!minutes || *minutes > std::numeric_limits<int32_t>::max()) {
    Refuse("minutes", "\"" + text + "\" is neither a number of minutes per day nor \"none\"");
  }
  masks->mask3 |= kBudgetBit;
  StoreTriple(record, "minutes", *masks);
  record.allowed_minutes = static_cast<int32_t>(*minutes);
}

void ApplyNetwork(UserRecord& record, std::string_view value) {
  const std::optional<int64_t> level = WholeNumber(TrimBlanks(value));
  if (!level || *level > 3) Refuse("network", "\"" + std::string(value) + "\" is not 0, 1, 2 or 3");
  record.network_level = static_cast<int16_t>(*level);
}

void ApplyProxy(UserRecord& record, const ProxyField& proxy, std::string_view value) {
  const std::string text = TrimBlanks(value);
  const size_t colon = text.rfind(':');
  const std::string host = colon == std::string::npos ? text : text.substr(0, colon);
  const std::string port = colon == std::string::npos ? "" : text.substr(colon + 1);
  if (host.find(' ') != std::string::npos) Refuse(proxy.name, "a host name holds no blank");
  if (host.empty() && !port.empty()) Refuse(proxy.name, "a port without a host");
  ProxyEntry& entry = record.proxy[proxy.index];
  if (port.size() > entry.port.size()) {
    Refuse(proxy.name, "port " + port + ": " + CharacterCount(port.size()) + ", at most " +
                           std::to_string(entry.port.size()) + " fit");
  }
  const std::optional<int64_t> number = WholeNumber(port);
  if (!port.empty() && (!number || *number < 1 || *number > 65535)) {
    Refuse(proxy.name, "port \"" + port + "\" is not a number from 1 to 65535");
  }
  ProxyEntry updated = entry;
  StoreText(updated.server, proxy.name, host);
  SetFieldText(updated.port, port);
  entry = updated;
}

// "C=08:00-17:00" or "C=off" into the letter's schedule text.
void ApplyDrive(UserRecord& record, std::string_view field, std::string_view value) {
  const std::string text = TrimBlanks(value);
  const size_t equals = text.find('=');
  const std::string letter_text =
      equals == std::string::npos ? "" : TrimBlanks(text.substr(0, equals));
  const char letter = letter_text.size() == 1 ? FoldCase(letter_text)[0] : '\0';
  if (letter < 'A' || letter > 'Z') {
    Refuse(field, "\"" + text + "\" is not LETTER=HH:MM-HH:MM or LETTER=off (C=08:00-17:00)");
  }
  TextField<UserRecord::kScheduleWidth>& schedule = record.drive_schedule[letter - 'A' + 1];
  const std::string window = TrimBlanks(text.substr(equals + 1));
  std::string flag = "True";
  std::optional<std::string> start, end;
  if (window == "off") {
    flag = "False";
  } else {
    const size_t dash = window.find('-');
    if (dash != std::string::npos) {
      start = NormalTime(window.substr(0, dash));
      end = NormalTime(window.substr(dash + 1));
    }
    if (!start || !end) {
      Refuse(field, std::string("drive ") + letter + ": \"" + window +
                        "\" is not HH:MM-HH:MM (times of day, 00:00 to 23:59) or off");
    }
    if (*start == *end) {
      Refuse(field, std::string("drive ") + letter +
                        ": a window that starts where it ends never hides the drive");
    }
  }
  if (start) std::copy(start->begin(), start->end(), schedule.begin() + kScheduleStart);
  if (end) std::copy(end->begin(), end->end(), schedule.begin() + kScheduleEnd);
  flag.resize(kScheduleFlagWidth, ' ');
  std::copy(flag.begin(), flag.end(), schedule.begin() + kScheduleFlag);
}

void ApplyDrives(UserRecord& record, std::string_view value) {
  UserRecord updated = record;
  for (int letter = 0; letter < 26; ++letter) {
    if (ScheduleOf(updated, letter + 1)) {
      ApplyDrive(updated, "drives", std::string(1, static_cast<char>('A' + letter)) + "=off");
    }
  }
  std::string list(value);
  for (char& c : list) {
    if (c == ' ') c = ';';
  }
  for (const std::string& entry : SplitList(list, ';')) {
    if (!entry.empty()) ApplyDrive(updated, "drives", entry);
  }
  record = updated;
}

std::vector<std::string> ListValue(std::string_view value) {
  const std::string text = TrimBlanks(value);
  if (text == "none") return {};
  return SplitList(text, ';');
}

void ApplyDiscs(UserDraft& draft, std::string_view value) {
  const std::vector<std::string> labels = ListValue(value);
  if (labels.size() > kMaxListEntries) Refuse("discs", "at most 255 disc labels");
  for (const std::string& label : labels) {
    if (std::optional<std::string> problem = DiscLabelProblem(label)) Refuse("discs", *problem);
  }
  draft.programs.SetDiscLabels(labels);
  draft.record.program_list_count = static_cast<uint8_t>(labels.size());
  draft.discs_set = true;
}

void ApplyPrograms(UserDraft& draft, std::string_view value) {
  const std::vector<std::string> names = ListValue(value);
  if (names.size() > kMaxListEntries) Refuse("programs", "at most 255 programs");
  std::vector<ProgramEntry> entries;
  for (const std::string& name : names) {
    if (std::optional<std::string> problem = ProgramNameProblem(name)) {
      Refuse("programs", *problem);
    }
    ProgramEntry entry;
    entry.name = name;
    entries.push_back(entry);
  }
  draft.programs.programs = entries;
  draft.record.allowed_program_count = static_cast<uint8_t>(entries.size());
  draft.programs_set = true;
}

std::string JoinList(const std::vector<std::string>& items) {
  std::string text;
  for (const std::string& item : items) text += (text.empty() ? "" : ";") + item;
  return text;
}

// A typed password is stored one-way; a stored field (an export's cell)
// that is already one-way is kept as it is, so export and import round-trip.
void ApplyPassword(UserRecord& record, std::string_view value, FieldSource source) {
  constexpr std::string_view field = "password";
  if (IsOneWayPasswordField(value)) {
    if (source == FieldSource::kTyped) {
      Refuse(field,
             "a password cannot begin with \"$N\", a digit and \"$\": that marks a hashed "
             "password");
    }
    if (!ParsePasswordHash(value)) {
      Refuse(field, "not a hashed password this version can check");
    }
    StoreText(record.password, field, value);
    return;
  }
  if (!value.empty() && (value.front() == ' ' || value.back() == ' ')) {
    Refuse(field, "a password cannot begin or end with a blank (the login program trims them)");
  }
  StoreText(record.password, field, value);
  // An empty password stays empty: ".Default" logs in by it without asking.
  if (value.empty()) return;
  const std::optional<std::string> hashed = HashPassword(value);
  if (!hashed) {
    Refuse(field, "this Windows has no PBKDF2 (bcrypt.dll), so the password cannot be hashed");
  }
  SetFieldText(record.password, *hashed);
}

}  // namespace

const std::vector<FieldInfo> kFields = {
    {"name", "NAME", "login name, at most 40 characters"},
    {"password", "TEXT",
     "password, at most 40 characters, letter case counts; stored hashed (one-way)"},
    {"level", "LEVEL",
     "a level name (\"Education High\", see \"noxadmin levels\") or a triple "
     "m1,m2,m3"},
    {"minutes", "N|none", "minutes allowed per day (switches the daily budget on) or none"},
    {"network", "0-3",
     "Network Neighborhood: 0 all, 1 no entire network, 2 also no "
     "workgroup contents, 3 hidden"},
    {"start-page", "URL", "browser start page (used when the level says so), at most 255"},
    {"search-page", "URL", "browser search page (used when the level says so), at most 200"},
    {"proxy-http", "HOST:PORT", "http proxy (host at most 50, port at most 5 characters)"},
    {"proxy-https", "HOST:PORT", "https proxy"},
    {"proxy-ftp", "HOST:PORT", "ftp proxy"},
    {"proxy-gopher", "HOST:PORT", "gopher proxy"},
    {"proxy-socks", "HOST:PORT", "socks proxy"},
    {"drives", "C=HH:MM-HH:MM;...",
     "every drive schedule: each drive named is hidden from the "
     "start time up to the end time; the others are not"},
    {"discs", "LABEL;...|none", "labels of the CD-ROMs the disc guard lets in"},
    {"programs", "NAME;...|none",
     "the only programs the user may run, or none for no "
     "restriction"},
};

bool IsField(std::string_view name) {
  for (const FieldInfo& field : kFields) {
    if (name == field.name) return true;
  }
  return false;
}

void CheckProgramListEdit(const UserDraft& draft) {
  if (draft.programs_complete || !(draft.discs_set || draft.programs_set)) return;
  if (!draft.discs_set && draft.record.program_list_count > 0) {
    Refuse("discs",
           "the program list file is missing or short, so its disc labels are unknown; give "
           "the discs too");
  }
  if (!draft.programs_set && draft.record.allowed_program_count > 0) {
    Refuse("programs",
           "the program list file is missing or short, so its programs are unknown; give the "
           "programs too");
  }
}

std::optional<std::string> UserNameProblem(std::string_view name) {
  if (name.empty()) return "an empty name";
  if (name.size() > UserRecord{}.user_name.size()) {
    return CharacterCount(name.size()) + ", at most 40 fit";
  }
  if (name.front() == ' ' || name.back() == ' ') return "a name cannot begin or end with a blank";
  if (HasControl(name)) return "control characters (tabs, line breaks) do not fit";
  if (EqualsIgnoreCase(name, "EOF")) return "\"EOF\" marks the end of the table";
  return std::nullopt;
}

void ApplyField(UserDraft& draft, std::string_view field, std::string_view value,
                FieldSource source) {
  UserDraft updated = draft;
  UserRecord& record = updated.record;
  if (field == "name") {
    if (std::optional<std::string> problem = UserNameProblem(value)) Refuse("name", *problem);
    SetFieldText(record.user_name, value);
  } else if (field == "password") {
    ApplyPassword(record, value, source);
  } else if (field == "level") {
    ApplyLevel(record, value);
  } else if (field == "minutes") {
    ApplyMinutes(record, value);
  } else if (field == "network") {
    ApplyNetwork(record, value);
  } else if (field == "start-page") {
    StoreText(record.start_page, field, TrimBlanks(value));
  } else if (field == "search-page") {
    StoreText(record.search_page, field, TrimBlanks(value));
  } else if (field == "drive") {
    ApplyDrive(record, field, value);
  } else if (field == "drives") {
    ApplyDrives(record, value);
  } else if (field == "discs") {
    ApplyDiscs(updated, value);
  } else if (field == "programs") {
    ApplyPrograms(updated, value);
  } else {
    bool found = false;
    for (const ProxyField& proxy : kProxyFields) {
      if (field == proxy.name) {
        ApplyProxy(record, proxy, value);
        found = true;
      }
    }
    if (!found) throw Refusal("no field \"" + std::string(field) + "\"");
  }
  draft = updated;
}

std::string PasswordState(const UserRecord& record) {
  const std::string stored = TrimBlanks(FieldText(record.password));
  if (stored.empty()) return "not set";
  return IsOneWayPasswordField(stored) ? "set" : "set, in plain text";
}

std::string FieldValue(const UserDraft& draft, std::string_view field) {
  const UserRecord& record = draft.record;
  if (field == "name") return record.TrimmedName();
  if (field == "password") return TrimBlanks(FieldText(record.password));
  if (field == "level") {
    const std::string name = LevelName(record);
    if (name == "Invalid") return TrimBlanks(FieldText(record.level_triple));
    if (name != kCustomLevel) return name;
    const LevelMasks masks = *StoredMasks(record);
    return TripleText(masks.mask1, masks.mask2, masks.mask3 & ~kBudgetBit);
  }
  if (field == "minutes") {
    return BudgetOn(record) ? std::to_string(record.allowed_minutes) : "none";
  }
  if (field == "network") return std::to_string(record.network_level);
  if (field == "start-page") return TrimBlanks(FieldText(record.start_page));
  if (field == "search-page") return TrimBlanks(FieldText(record.search_page));
  if (field == "drives") {
    std::vector<std::string> entries;
    for (int letter = 1; letter <= 26; ++letter) {
      if (std::optional<DriveSchedule> schedule = ScheduleOf(record, letter)) {
        entries.push_back(std::string(1, schedule->letter) + "=" + schedule->start + "-" +
                          schedule->end);
      }
    }
    return JoinList(entries);
  }
  if (field == "discs") return JoinList(draft.programs.DiscLabels());
  if (field == "programs") {
    if (draft.programs.programs.empty() || draft.programs.programs.front().flag == "True") {
      return "none";
    }
    std::vector<std::string> names;
    for (const ProgramEntry& entry : draft.programs.programs) names.push_back(entry.name);
    return JoinList(names);
  }
  for (const ProxyField& proxy : kProxyFields) {
    if (field != proxy.name) continue;
    const std::string host = TrimBlanks(FieldText(record.proxy[proxy.index].server));
    const std::string port = TrimBlanks(FieldText(record.proxy[proxy.index].port));
    return port.empty() ? host : host + ":" + port;
  }
  return "";
}

std::string LevelName(const UserRecord& record) {
  const std::optional<LevelMasks> masks = StoredMasks(record);
  if (!masks) return "Invalid";
  return LevelNameForTriple(TripleText(masks->mask1, masks->mask2, masks->mask3 & ~kBudgetBit));
}

bool BudgetOn(const UserRecord& record) {
  return MinuteBudgetOnIfReadable(FieldText(record.level_triple));
}

int64_t MinutesLeftToday(const UserRecord& record, const platform::LocalTime& now) {
  return nox::MinutesLeftToday(record.allowed_minutes, record.used_minutes, record.last_use_date,
                               now);
}

void GrantMinutes(UserRecord& record, int32_t minutes, const platform::LocalTime& now) {
  if (!BudgetOn(record)) throw Refusal("the user has no daily budget (minutes: none)");
  const bool new_day = IsNewBudgetDayOrNoDate(record.last_use_date, now);
  const int64_t used = new_day ? 0 : record.used_minutes;
  const int64_t granted = used - minutes;
  if (granted < std::numeric_limits<int32_t>::min()) {
    Refuse("minutes", "that many extra minutes do not fit the used-minutes count");
  }
  record.used_minutes = static_cast<int32_t>(granted);
  if (new_day) record.last_use_date = ToOleDate(now);
}

std::optional<DriveSchedule> ScheduleOf(const UserRecord& record, int letter_index) {
  const std::string text = FieldText(record.drive_schedule[letter_index]);
  if (TrimBlanks(text.substr(kScheduleFlag, kScheduleFlagWidth)) != "True") return std::nullopt;
  return DriveSchedule{static_cast<char>('A' + letter_index - 1), text.substr(kScheduleStart, 5),
                       text.substr(kScheduleEnd, 5)};
}

std::optional<std::string> NormalTime(std::string_view text) {
  const std::string time = TrimBlanks(text);
  const size_t colon = time.find(':');
  if (colon == std::string::npos || colon == 0 || colon > 2 || time.size() - colon - 1 < 1 ||
      time.size() - colon - 1 > 2) {
    return std::nullopt;
  }
  const std::optional<int64_t> hours = WholeNumber(time.substr(0, colon));
  const std::optional<int64_t> minutes = WholeNumber(time.substr(colon + 1));
  if (!hours || !minutes || *hours > 23 || *minutes > 59) return std::nullopt;
  const auto two = [](int64_t n) { return std::string(n < 10 ? "0" : "") + std::to_string(n); };
  return two(*hours) + ":" + two(*minutes);
}

}  // namespace nox::admin
