// USER.TBL and NoxSettings.TBL: fixed-length binary records.
//
// Texts are fixed-width ANSI fields filled with blanks; numbers are
// little-endian; no header, padding or checksum.
//
// UserRecord, 2689 bytes; record n (1-based) starts at (n - 1) * 2689:
//   0   40  user name            text ("EOF" trimmed ends the table)
//   40  40  password             text, plain
//   80  30  level triple         text "m1,m2,m3"
//   110 255 start page           text
//   365 2   reserved             bytes
//   367 10  reserved             text
//   377 10  reserved             text
//   387 2   reserved             bytes
//   389 200 reserved             text
//   589 200 reserved             text
//   789 2   network level        int16
//   791 1   reserved             byte
//   792 1400 drive schedule      28 texts of 50
//   2192 1  program list count   uint8
//   2193 1  allowed program count uint8
//   2194 275 proxy table         5 x (server text 50, port text 5): http, https, ftp, gopher, socks
//   2469 2  reserved             bytes
//   2471 200 search page         text
//   2671 4  allowed minutes      int32
//   2675 4  used minutes         int32
//   2679 8  last-use date        double, OLE Automation date
//   2687 2  reserved             bytes
//
// SettingsRecord, 204 bytes, the whole of NoxSettings.TBL:
//   0   200 master path          text
//   200 2   option word          int16 (1 in the default record)
//   202 2   copy-from-master flag int16 (0 in the default record)
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace nox {

template <size_t N>
using TextField = std::array<char, N>;

// A fixed-width text field as a string (all N bytes, padding included).
template <size_t N>
std::string FieldText(const TextField<N>& field) {
  return std::string(field.data(), N);
}

// Stores `text` into the field, cut to N and filled with blanks.
template <size_t N>
void SetFieldText(TextField<N>& field, std::string_view text) {
  field.fill(' ');
  for (size_t i = 0; i < N && i < text.size(); ++i) field[i] = text[i];
}

struct ProxyEntry {
  TextField<50> server{};
  TextField<5> port{};
};

enum ProxyIndex { kProxyHttp = 0, kProxyHttps, kProxyFtp, kProxyGopher, kProxySocks };

struct UserRecord {
  static constexpr size_t kSize = 2689;
  static constexpr size_t kScheduleCount = 28;
  static constexpr size_t kScheduleWidth = 50;

  TextField<40> user_name{};
  TextField<40> password{};
  TextField<30> level_triple{};
  TextField<255> start_page{};
  std::array<char, 2> reserved_365{};
  TextField<10> reserved_367{};
  TextField<10> reserved_377{};
  std::array<char, 2> reserved_387{};
  TextField<200> reserved_389{};
  TextField<200> reserved_589{};
  int16_t network_level = 0;
  std::array<char, 1> reserved_791{};
  std::array<TextField<kScheduleWidth>, kScheduleCount> drive_schedule{};
  uint8_t program_list_count = 0;
  uint8_t allowed_program_count = 0;
  std::array<ProxyEntry, 5> proxy{};
  std::array<char, 2> reserved_2469{};
  TextField<200> search_page{};
  int32_t allowed_minutes = 0;
  int32_t used_minutes = 0;
  double last_use_date = 0.0;
  std::array<char, 2> reserved_2687{};

  // A record of blanks in every text field and zeros elsewhere, as the
  // administration program starts one.
  static UserRecord Blank();
  // The all-zero record whose user name is "EOF" and 37 blanks.
  static UserRecord EndOfTable();

  // The user name trimmed of blanks.
  std::string TrimmedName() const;
};

struct SettingsRecord {
  static constexpr size_t kSize = 204;
  TextField<200> master_path{};
  int16_t option_word = 0;
  int16_t copy_from_master = 0;
};

using UserRecordBytes = std::array<char, UserRecord::kSize>;
using SettingsRecordBytes = std::array<char, SettingsRecord::kSize>;

UserRecordBytes EncodeUserRecord(const UserRecord& record);
// Decodes up to kSize bytes; a shorter input leaves the rest of the record
// zero (a record cut short by the end of the file).
UserRecord DecodeUserRecord(std::string_view bytes);
// The user name of an encoded record without its blanks, as TrimmedName
// gives it, read without decoding the rest.
std::string TrimmedUserName(std::string_view bytes);
SettingsRecordBytes EncodeSettingsRecord(const SettingsRecord& record);
SettingsRecord DecodeSettingsRecord(std::string_view bytes);

// The system directory with "\" appended when it does not end in one.
std::string SystemDirectoryWithSlash();

inline constexpr const char* kUserTable = "USER.TBL";
inline constexpr const char* kSettingsTable = "NoxSettings.TBL";

// Record n of USER.TBL in the system directory; the "EOF" record past the end,
// for a missing or unreadable file (a missing file is left behind empty).
UserRecord ReadUserRecord(int32_t n);
// Writes record n (a number, or its decimal text) at (n - 1) * 2689 after
// setting the file's attributes to normal. Raises file errors.
void WriteUserRecord(int32_t n, const UserRecord& record);
void WriteUserRecord(const std::string& n, const UserRecord& record);
// NoxSettings.TBL, or the default record when the file cannot be read or is
// empty.
SettingsRecord ReadSettingsRecord();
SettingsRecord DefaultSettingsRecord();

}  // namespace nox
