#include "explorer/records.h"

#include <cstring>

#include "common/ansi_text.h"
#include "common/regpath.h"
#include "common/runtime_error.h"
#include "platform/platform.h"

namespace nox {
namespace {

// Field offsets of the two layouts; the static_asserts tie them together so
// a field added or resized anywhere breaks the build, not the files.
namespace user_offsets {
constexpr size_t kUserName = 0;
constexpr size_t kPassword = 40;
constexpr size_t kLevelTriple = 80;
constexpr size_t kStartPage = 110;
constexpr size_t kReserved365 = 365;
constexpr size_t kReserved367 = 367;
constexpr size_t kReserved377 = 377;
constexpr size_t kReserved387 = 387;
constexpr size_t kReserved389 = 389;
constexpr size_t kReserved589 = 589;
constexpr size_t kNetworkLevel = 789;
constexpr size_t kReserved791 = 791;
constexpr size_t kDriveSchedule = 792;
constexpr size_t kProgramListCount = 2192;
constexpr size_t kAllowedProgramCount = 2193;
constexpr size_t kProxy = 2194;
constexpr size_t kReserved2469 = 2469;
constexpr size_t kSearchPage = 2471;
constexpr size_t kAllowedMinutes = 2671;
constexpr size_t kUsedMinutes = 2675;
constexpr size_t kLastUseDate = 2679;
constexpr size_t kReserved2687 = 2687;
constexpr size_t kEnd = 2689;

static_assert(kPassword == kUserName + 40);
static_assert(kLevelTriple == kPassword + 40);
static_assert(kStartPage == kLevelTriple + 30);
static_assert(kReserved365 == kStartPage + 255);
static_assert(kReserved367 == kReserved365 + 2);
static_assert(kReserved377 == kReserved367 + 10);
static_assert(kReserved387 == kReserved377 + 10);
static_assert(kReserved389 == kReserved387 + 2);
static_assert(kReserved589 == kReserved389 + 200);
static_assert(kNetworkLevel == kReserved589 + 200);
static_assert(kReserved791 == kNetworkLevel + 2);
static_assert(kDriveSchedule == kReserved791 + 1);
static_assert(kProgramListCount ==
              kDriveSchedule + UserRecord::kScheduleCount * UserRecord::kScheduleWidth);
static_assert(kAllowedProgramCount == kProgramListCount + 1);
static_assert(kProxy == kAllowedProgramCount + 1);
static_assert(kReserved2469 == kProxy + 5 * (50 + 5));
static_assert(kSearchPage == kReserved2469 + 2);
static_assert(kAllowedMinutes == kSearchPage + 200);
static_assert(kUsedMinutes == kAllowedMinutes + 4);
static_assert(kLastUseDate == kUsedMinutes + 4);
static_assert(kReserved2687 == kLastUseDate + 8);
static_assert(kEnd == kReserved2687 + 2);
static_assert(kEnd == UserRecord::kSize);
}  // namespace user_offsets

namespace settings_offsets {
constexpr size_t kMasterPath = 0;
constexpr size_t kOptionWord = 200;
constexpr size_t kCopyFromMaster = 202;
constexpr size_t kEnd = 204;
static_assert(kOptionWord == kMasterPath + 200);
static_assert(kCopyFromMaster == kOptionWord + 2);
static_assert(kEnd == kCopyFromMaster + 2);
static_assert(kEnd == SettingsRecord::kSize);
}  // namespace settings_offsets

// Little-endian integer and double access, independent of the host's order.
template <typename T>
void PutLittleEndian(char* out, T value) {
  uint64_t bits = 0;
  std::memcpy(&bits, &value, sizeof(T));
  for (size_t i = 0; i < sizeof(T); ++i) out[i] = static_cast<char>((bits >> (8 * i)) & 0xFF);
}

template <typename T>
T GetLittleEndian(const char* in) {
  uint64_t bits = 0;
  for (size_t i = 0; i < sizeof(T); ++i) {
    bits |= static_cast<uint64_t>(static_cast<unsigned char>(in[i])) << (8 * i);
  }
  T value;
  std::memcpy(&value, &bits, sizeof(T));
  return value;
}

template <size_t N>
void PutBytes(char* out, const std::array<char, N>& field) {
  std::memcpy(out, field.data(), N);
}

template <size_t N>
void GetBytes(const char* in, std::array<char, N>& field) {
  std::memcpy(field.data(), in, N);
}

// As much of `input` as fits; the rest of `out` keeps its zeros.
template <size_t N>
void CopyPrefix(std::string_view input, std::array<char, N>& out) {
  if (!input.empty()) std::memcpy(out.data(), input.data(), std::min(input.size(), N));
}

std::string UserTablePath() { return SystemDirectoryWithSlash() + kUserTable; }
std::string SettingsTablePath() { return SystemDirectoryWithSlash() + kSettingsTable; }

int32_t RecordNumberFromText(const std::string& n) {
  const int64_t number = RegValue(n).AsNumber();
  if (number < INT32_MIN || number > INT32_MAX) Raise(kErrOverflow, "WriteUserRecord");
  return static_cast<int32_t>(number);
}

}  // namespace

UserRecord UserRecord::Blank() {
  UserRecord record;
  SetFieldText(record.user_name, "");
  SetFieldText(record.password, "");
  SetFieldText(record.level_triple, "");
  SetFieldText(record.start_page, "");
  SetFieldText(record.reserved_367, "");
  SetFieldText(record.reserved_377, "");
  SetFieldText(record.reserved_389, "");
  SetFieldText(record.reserved_589, "");
  for (auto& schedule : record.drive_schedule) SetFieldText(schedule, "");
  for (auto& entry : record.proxy) {
    SetFieldText(entry.server, "");
    SetFieldText(entry.port, "");
  }
  SetFieldText(record.search_page, "");
  return record;
}

UserRecord UserRecord::EndOfTable() {
  UserRecord record;
  SetFieldText(record.user_name, "EOF");
  return record;
}

std::string UserRecord::TrimmedName() const { return TrimBlanks(FieldText(user_name)); }

std::string TrimmedUserName(std::string_view bytes) {
  using namespace user_offsets;
  decltype(UserRecord::user_name) name{};
  CopyPrefix(bytes.substr(std::min(bytes.size(), kUserName)), name);
  return TrimBlanks(std::string_view(name.data(), name.size()));
}

UserRecordBytes EncodeUserRecord(const UserRecord& r) {
  using namespace user_offsets;
  UserRecordBytes bytes{};
  char* out = bytes.data();
  PutBytes(out + kUserName, r.user_name);
  PutBytes(out + kPassword, r.password);
  PutBytes(out + kLevelTriple, r.level_triple);
  PutBytes(out + kStartPage, r.start_page);
  PutBytes(out + kReserved365, r.reserved_365);
  PutBytes(out + kReserved367, r.reserved_367);
  PutBytes(out + kReserved377, r.reserved_377);
  PutBytes(out + kReserved387, r.reserved_387);
  PutBytes(out + kReserved389, r.reserved_389);
  PutBytes(out + kReserved589, r.reserved_589);
  PutLittleEndian(out + kNetworkLevel, r.network_level);
  PutBytes(out + kReserved791, r.reserved_791);
  for (size_t i = 0; i < UserRecord::kScheduleCount; ++i) {
    PutBytes(out + kDriveSchedule + i * UserRecord::kScheduleWidth, r.drive_schedule[i]);
  }
  out[kProgramListCount] = static_cast<char>(r.program_list_count);
  out[kAllowedProgramCount] = static_cast<char>(r.allowed_program_count);
  for (size_t i = 0; i < r.proxy.size(); ++i) {
    PutBytes(out + kProxy + i * 55, r.proxy[i].server);
    PutBytes(out + kProxy + i * 55 + 50, r.proxy[i].port);
  }
  PutBytes(out + kReserved2469, r.reserved_2469);
  PutBytes(out + kSearchPage, r.search_page);
  PutLittleEndian(out + kAllowedMinutes, r.allowed_minutes);
  PutLittleEndian(out + kUsedMinutes, r.used_minutes);
  PutLittleEndian(out + kLastUseDate, r.last_use_date);
  PutBytes(out + kReserved2687, r.reserved_2687);
  return bytes;
}

UserRecord DecodeUserRecord(std::string_view input) {
  using namespace user_offsets;
  UserRecordBytes bytes{};
  CopyPrefix(input, bytes);
  const char* in = bytes.data();
  UserRecord r;
  GetBytes(in + kUserName, r.user_name);
  GetBytes(in + kPassword, r.password);
  GetBytes(in + kLevelTriple, r.level_triple);
  GetBytes(in + kStartPage, r.start_page);
  GetBytes(in + kReserved365, r.reserved_365);
  GetBytes(in + kReserved367, r.reserved_367);
  GetBytes(in + kReserved377, r.reserved_377);
  GetBytes(in + kReserved387, r.reserved_387);
  GetBytes(in + kReserved389, r.reserved_389);
  GetBytes(in + kReserved589, r.reserved_589);
  r.network_level = GetLittleEndian<int16_t>(in + kNetworkLevel);
  GetBytes(in + kReserved791, r.reserved_791);
  for (size_t i = 0; i < UserRecord::kScheduleCount; ++i) {
    GetBytes(in + kDriveSchedule + i * UserRecord::kScheduleWidth, r.drive_schedule[i]);
  }
  r.program_list_count = static_cast<uint8_t>(in[kProgramListCount]);
  r.allowed_program_count = static_cast<uint8_t>(in[kAllowedProgramCount]);
  for (size_t i = 0; i < r.proxy.size(); ++i) {
    GetBytes(in + kProxy + i * 55, r.proxy[i].server);
    GetBytes(in + kProxy + i * 55 + 50, r.proxy[i].port);
  }
  GetBytes(in + kReserved2469, r.reserved_2469);
  GetBytes(in + kSearchPage, r.search_page);
  r.allowed_minutes = GetLittleEndian<int32_t>(in + kAllowedMinutes);
  r.used_minutes = GetLittleEndian<int32_t>(in + kUsedMinutes);
  r.last_use_date = GetLittleEndian<double>(in + kLastUseDate);
  GetBytes(in + kReserved2687, r.reserved_2687);
  return r;
}

SettingsRecordBytes EncodeSettingsRecord(const SettingsRecord& r) {
  using namespace settings_offsets;
  SettingsRecordBytes bytes{};
  PutBytes(bytes.data() + kMasterPath, r.master_path);
  PutLittleEndian(bytes.data() + kOptionWord, r.option_word);
  PutLittleEndian(bytes.data() + kCopyFromMaster, r.copy_from_master);
  return bytes;
}

SettingsRecord DecodeSettingsRecord(std::string_view input) {
  using namespace settings_offsets;
  SettingsRecordBytes bytes{};
  CopyPrefix(input, bytes);
  SettingsRecord r;
  GetBytes(bytes.data() + kMasterPath, r.master_path);
  r.option_word = GetLittleEndian<int16_t>(bytes.data() + kOptionWord);
  r.copy_from_master = GetLittleEndian<int16_t>(bytes.data() + kCopyFromMaster);
  return r;
}

std::string SystemDirectoryWithSlash() {
  std::string directory = platform::SystemDirectory();
  if (directory.empty() || directory.back() != '\\') directory.push_back('\\');
  return directory;
}

UserRecord ReadUserRecord(int32_t n) {
  const std::string path = UserTablePath();
  // Opening for binary access creates a missing table, left behind empty.
  if (platform::CreateFileIfMissing(path) != platform::kSuccess || n < 1) {
    return UserRecord::EndOfTable();
  }
  uint64_t length = 0;
  if (platform::FileLength(path, &length) != platform::kSuccess) return UserRecord::EndOfTable();
  const uint64_t position = static_cast<uint64_t>(n - 1) * UserRecord::kSize + 1;
  if (position >= length) return UserRecord::EndOfTable();
  std::string bytes;
  if (platform::ReadFileAt(path, position - 1, UserRecord::kSize, &bytes) != platform::kSuccess) {
    return UserRecord::EndOfTable();
  }
  return DecodeUserRecord(bytes);
}

void WriteUserRecord(int32_t n, const UserRecord& record) {
  const std::string path = UserTablePath();
  RaiseIfFileError(platform::SetFileAttributes(path, platform::kAttrNormal), "WriteUserRecord");
  if (n < 1) Raise(63, "WriteUserRecord", "Bad record number");
  const UserRecordBytes bytes = EncodeUserRecord(record);
  const uint64_t offset = static_cast<uint64_t>(n - 1) * UserRecord::kSize;
  RaiseIfFileError(
      platform::WriteFileAt(path, offset, std::string_view(bytes.data(), bytes.size())),
      "WriteUserRecord");
}

void WriteUserRecord(const std::string& n, const UserRecord& record) {
  WriteUserRecord(RecordNumberFromText(n), record);
}

SettingsRecord DefaultSettingsRecord() {
  SettingsRecord record;
  SetFieldText(record.master_path, SystemDirectoryWithSlash());
  record.option_word = 1;
  record.copy_from_master = 0;
  return record;
}

SettingsRecord ReadSettingsRecord() {
  const std::string path = SettingsTablePath();
  uint64_t length = 0;
  std::string bytes;
  if (platform::CreateFileIfMissing(path) != platform::kSuccess ||
      platform::FileLength(path, &length) != platform::kSuccess || length < 1 ||
      platform::ReadFileAt(path, 0, SettingsRecord::kSize, &bytes) != platform::kSuccess) {
    return DefaultSettingsRecord();
  }
  return DecodeSettingsRecord(bytes);
}

}  // namespace nox
