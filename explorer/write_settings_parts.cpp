#include "explorer/write_settings_parts.h"

#include <array>
#include <vector>

#include "common/ansi_text.h"
#include "common/list_input.h"
#include "common/modern_switches.h"
#include "common/regpath.h"
#include "common/runtime_error.h"

namespace nox {
namespace {

constexpr const char* kSource = "WriteSettings";
constexpr const char* kRestrictRunKey =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer\\RestrictRun";
constexpr const char* kRestrictRunValue =
    "Current_User,Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer,RestrictRun";
constexpr std::array<const char*, 5> kAlwaysAllowed = {"wardkeep.exe", "Regedit.exe", "Ntsieve.exe",
                                                       "Mendkit.exe", "pelorus.exe"};

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Characters [start, start + length) of `text`, counting from 1, cut at its end.
std::string_view Mid(std::string_view text, size_t start, size_t length) {
  if (start - 1 >= text.size()) return {};
  return text.substr(start - 1, length);
}

// Reads a run of one or two digits at `pos`; -1 when there is none.
int ReadTwoDigits(std::string_view text, size_t* pos) {
  int value = 0;
  size_t count = 0;
  while (*pos < text.size() && IsDigit(text[*pos]) && count < 2) {
    value = value * 10 + (text[(*pos)++] - '0');
    ++count;
  }
  return count == 0 ? -1 : value;
}

std::string WithoutTrailingSlash(std::string path) {
  if (path.size() > 1 && path.back() == '\\') path.pop_back();
  return path;
}

// The folder part of a pattern, up to and including its last backslash.
std::string FolderOf(const std::string& pattern) {
  const size_t slash = pattern.find_last_of('\\');
  return slash == std::string::npos ? "" : pattern.substr(0, slash + 1);
}

bool IsReparsePoint(uint32_t attributes) {
  return attributes != platform::kInvalidAttributes && (attributes & platform::kAttrReparsePoint);
}

// Removes a link itself: a folder link with RemoveDirectory, a file link
// with DeleteFile. Neither touches what the link points to.
void RemoveLink(const std::string& path, uint32_t attributes) {
  if (attributes & platform::kAttrDirectory) {
    RaiseIfFileError(platform::RemoveDirectory(path), kSource);
  } else {
    RaiseIfFileError(platform::DeleteFile(path), kSource);
  }
}

// Lists queue entry `index`: folders join the queue, files and links go.
void ListQueuedFolder(ListBox& queue, size_t index) {
  std::string& entry = queue.items[index];
  if (entry.empty() || entry.back() != '\\') entry.push_back('\\');
  const std::string folder = entry;  // the queue may grow below
  uint32_t attributes = platform::kInvalidAttributes;
  platform::GetFileAttributes(WithoutTrailingSlash(folder), &attributes);
  // A temporary folder that is itself a link is removed as a link later,
  // never listed: its contents lie elsewhere.
  if (IsReparsePoint(attributes)) return;
  std::vector<platform::FindEntry> entries;
  RaiseIfFileError(platform::FindFiles(folder + "*", &entries), kSource);
  for (const platform::FindEntry& found : entries) {
    if (found.name == "." || found.name == "..") continue;
    const std::string path = folder + found.name;
    if (IsReparsePoint(found.attributes)) {
      IgnoreErrors([&] { RemoveLink(path, found.attributes); });
    } else if (found.attributes & platform::kAttrDirectory) {
      queue.AddItem(path);
    } else {
      IgnoreErrors([&] { RaiseIfFileError(platform::DeleteFile(path), kSource); });
    }
  }
}

struct ProgramRecord {
  std::string name;
  std::string flag;
  std::string item3;
  std::string item4;
};

// One program record of four items; a failing read leaves the items not yet
// read empty.
ProgramRecord ReadProgramRecord(ListInput& file) {
  ProgramRecord record;
  IgnoreErrors([&] {
    record.name = file.ReadItem();
    record.flag = file.ReadItem();
    record.item3 = file.ReadItem();
    record.item4 = file.ReadItem();
  });
  return record;
}

void WriteRestrictRun(bool on) {
  IgnoreErrors([&] { RegWrite(kRestrictRunValue, on ? 1 : 0, platform::kRegDword); });
  IgnoreErrors([] { RegDeleteKeyTree(platform::kCurrentUser, kRestrictRunKey); });
}

void WriteAllowedProgram(int number, const std::string& name) {
  IgnoreErrors([&] {
    RegWrite(std::string("Current_User,") + kRestrictRunKey + "," + std::to_string(number), name,
             platform::kRegSz);
  });
}

}  // namespace

int ClockMinutes(std::string_view text) {
  const std::string time = TrimBlanks(text);
  size_t pos = 0;
  const int hours = ReadTwoDigits(time, &pos);
  const bool colon = pos < time.size() && time[pos] == ':';
  if (colon) ++pos;
  const int minutes = ReadTwoDigits(time, &pos);
  if (hours < 0 || !colon || minutes < 0 || pos != time.size() || hours > 23 || minutes > 59) {
    Raise(kErrTypeMismatch, kSource);
  }
  return hours * 60 + minutes;
}

bool ScheduleHidesDrive(std::string_view schedule, const platform::LocalTime& now) {
  if (TrimBlanks(Mid(schedule, 25, 6)) != "True") return false;
  const int start = ClockMinutes(Mid(schedule, 8, 5));
  const int end = ClockMinutes(Mid(schedule, 20, 5));
  int window = end - start;
  if (window < 0) window += 1440;
  int elapsed = now.hour * 60 + now.minute - start;
  if (elapsed < 0) elapsed += 1440;
  return window > elapsed;
}

std::string ProxyText(const UserRecord& record) {
  const auto pair = [&](ProxyIndex index) {
    return TrimBlanks(FieldText(record.proxy[index].server)) + ":" +
           TrimBlanks(FieldText(record.proxy[index].port));
  };
  return "ftp=" + pair(kProxyFtp) + ";gopher=" + pair(kProxyGopher) + ";http=" + pair(kProxyHttp) +
         ";https=" + pair(kProxyHttps) + ";socks=" + pair(kProxySocks);
}

bool InternetExplorerAbove47(const std::string& version) {
  const std::string text = TrimBlanks(version);
  if (text.size() <= 1) return false;
  const std::string_view head = std::string_view(text).substr(0, 4);
  // Thousandths are exact for the at most three decimals four characters hold.
  size_t pos = 0;
  bool negative = false;
  if (pos < head.size() && (head[pos] == '+' || head[pos] == '-')) negative = head[pos++] == '-';
  int64_t thousandths = 0;
  bool any_digit = false;
  for (; pos < head.size() && IsDigit(head[pos]); ++pos, any_digit = true) {
    thousandths = thousandths * 10 + (head[pos] - '0');
  }
  thousandths *= 1000;
  if (pos < head.size() && head[pos] == '.') {
    int scale = 100;
    for (++pos; pos < head.size() && IsDigit(head[pos]); ++pos, scale /= 10, any_digit = true) {
      thousandths += (head[pos] - '0') * scale;
    }
  }
  if (!any_digit) Raise(kErrTypeMismatch, kSource);
  return !negative && thousandths > 4700;
}

void WipeTemporaryFolder(ListBox& queue, const std::string& tmp) {
  queue.Clear();
  queue.AddItem(tmp);
  for (size_t i = 0; i < queue.ListCount(); ++i) {
    IgnoreErrors([&] { ListQueuedFolder(queue, i); });
  }
  // The last added first, so that each folder is empty when its turn comes.
  for (size_t i = queue.ListCount(); i-- > 0;) {
    const std::string folder = WithoutTrailingSlash(queue.items[i]);
    IgnoreErrors([&] { RaiseIfFileError(platform::RemoveDirectory(folder), kSource); });
  }
  IgnoreErrors([&] { RaiseIfFileError(platform::CreateDirectory(tmp), kSource); });
}

void Kill(const std::string& pattern) {
  std::vector<platform::FindEntry> entries;
  RaiseIfFileError(platform::FindFiles(pattern, &entries), kSource);
  const std::string folder = FolderOf(pattern);
  bool any = false;
  for (const platform::FindEntry& found : entries) {
    if (found.attributes & platform::kAttrDirectory) continue;
    any = true;
    RaiseIfFileError(platform::DeleteFile(folder + found.name), kSource);
  }
  if (!any) Raise(kErrFileNotFound, kSource);
}

void DeleteRecentFiles(const std::string& recent_value) {
  const std::string folder = recent_value.substr(0, recent_value.size() - 1);
  if (TrimBlanks(folder).empty()) return;
  Kill(recent_value + "*.*");
}

void ApplyProgramList(const UserRecord& record, const std::string& record_number, ListBox& list1) {
  ListInput file;
  IgnoreErrors(
      [&] { file = ListInput::Open(platform::SystemDirectory() + "\\" + record_number + ".TBL"); });
  IgnoreErrors([&] {
    file.ReadItem();
    file.ReadItem();
  });
  for (int i = 0; i < record.program_list_count; ++i) {
    std::string line;
    IgnoreErrors([&] { line = file.ReadLine(); });
    list1.AddItem(line);
  }
  const int allowed = record.allowed_program_count;
  if (allowed == 0) {
    WriteRestrictRun(false);
    return;
  }
  const ProgramRecord first = ReadProgramRecord(file);
  if (first.flag == "True") {
    WriteRestrictRun(false);
    return;
  }
  WriteRestrictRun(true);
  WriteAllowedProgram(1, first.name);
  for (int index = 2; index <= allowed; ++index) {
    WriteAllowedProgram(index, ReadProgramRecord(file).name);
  }
  for (size_t k = 0; k < kAlwaysAllowed.size(); ++k) {
    WriteAllowedProgram(allowed + 1 + static_cast<int>(k), kAlwaysAllowed[k]);
  }
}

void WriteModernSwitches(uint32_t mask2, uint32_t drive_mask) {
  uint32_t written = 0;
  IgnoreErrors([&] { written = ReadWrittenSwitches(RegRead(kWrittenSwitches)); });
  const uint32_t on = mask2 & kModernSwitchBits;
  if (on == 0 && written == 0) return;
  const auto mark = [](uint32_t bits) {
    IgnoreErrors([&] {
      if (bits != 0) RegWrite(kWrittenSwitches, std::to_string(bits), platform::kRegSz);
      if (bits == 0) DeleteRegValue(kWrittenSwitches);
    });
  };
  // Grown first, so that a login cut short leaves no value unrecorded.
  if ((written | on) != written) mark(written | on);
  uint32_t left = 0;
  for (int bit = 16; bit <= 27; ++bit) {
    const uint32_t one = 1u << bit;
    if (!(written & one) || (on & one)) continue;
    bool removed = true;
    for (const RegStep& step : SwitchRemovals(one)) {
      if (IgnoreErrors([&] { removed = RunRegStep(step, RegFlavor::kLogin) && removed; })) {
        removed = false;
      }
    }
    if (!removed) left |= one;
  }
  for (const RegStep& step : SwitchWrites(on, drive_mask)) {
    IgnoreErrors([&] { RunRegStep(step, RegFlavor::kLogin); });
  }
  mark(on | left);
}

}  // namespace nox
