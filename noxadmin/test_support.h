// Shared arrangements of the noxadmin tests: a fresh table folder per test,
// a command runner, and records built byte by byte from the table layout
// (not through the codec, so the tests check the codec's use too).
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "common/password_field.h"
#include "noxadmin/cli.h"

namespace nox::admin::testing_support {

namespace fs = std::filesystem;

constexpr size_t kRecordSize = 2689;

// A folder of its own under the temporary folder, removed at the end.
class TempFolder {
 public:
  TempFolder() {
    static std::atomic<int> counter{0};
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    path_ = fs::temp_directory_path() / ("noxadmin-test-" + std::string(info ? info->name() : "x") +
                                         "-" + std::to_string(counter++));
    fs::remove_all(path_);
    fs::create_directories(path_);
  }
  ~TempFolder() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const fs::path& path() const { return path_; }
  std::string str() const { return path_.string(); }
  fs::path operator/(const std::string& name) const { return path_ / name; }

  // The names of the files in the folder, sorted.
  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(path_)) {
      names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

 private:
  fs::path path_;
};

inline std::string ReadBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteBytes(const fs::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

struct RunResult {
  int code = -1;
  std::string out;
  std::string err;
};

inline platform::LocalTime TestNow() {
  platform::LocalTime now;
  now.year = 2026;
  now.month = 3;
  now.day = 10;
  now.hour = 12;
  now.minute = 30;
  return now;
}

inline RunResult RunIn(const TempFolder& folder, std::vector<std::string> args,
                       const std::string& input = "", platform::LocalTime now = TestNow()) {
  args.insert(args.begin(), {"--dir", folder.str()});
  std::ostringstream out;
  std::ostringstream err;
  std::istringstream in(input);
  AdminContext context{out, err, in, now};
  RunResult result;
  result.code = RunNoxadmin(args, context);
  result.out = out.str();
  result.err = err.str();
  return result;
}

// A record as noxadmin starts one: blanks in every text field, zeros in the
// numbers and the binary reserved fields.
class RecordBytes {
 public:
  RecordBytes() : bytes_(kRecordSize, ' ') {
    for (auto [offset, size] : {std::pair<size_t, size_t>{365, 2},
                                {387, 2},
                                {789, 3},
                                {2192, 2},
                                {2469, 2},
                                {2671, 18}}) {
      Zero(offset, size);
    }
  }
  explicit RecordBytes(std::string bytes) : bytes_(std::move(bytes)) {}

  RecordBytes& Text(size_t offset, size_t width, const std::string& text) {
    std::string field = text;
    field.resize(width, ' ');
    bytes_.replace(offset, width, field);
    return *this;
  }
  RecordBytes& Zero(size_t offset, size_t size) {
    bytes_.replace(offset, size, std::string(size, '\0'));
    return *this;
  }
  RecordBytes& Int(size_t offset, size_t size, int64_t value) {
    for (size_t i = 0; i < size; ++i) {
      bytes_[offset + i] = static_cast<char>((static_cast<uint64_t>(value) >> (8 * i)) & 0xFF);
    }
    return *this;
  }
  RecordBytes& Name(const std::string& name) { return Text(0, 40, name); }
  RecordBytes& Password(const std::string& password) { return Text(40, 40, password); }
  RecordBytes& Triple(const std::string& triple) { return Text(80, 30, triple); }

  const std::string& str() const { return bytes_; }

 private:
  std::string bytes_;
};

// Where two byte strings first differ, for readable failures.
inline std::string FirstDifference(const std::string& expected, const std::string& actual) {
  if (expected.size() != actual.size()) {
    return "sizes " + std::to_string(expected.size()) + " and " + std::to_string(actual.size());
  }
  for (size_t i = 0; i < expected.size(); ++i) {
    if (expected[i] != actual[i]) {
      return "byte " + std::to_string(i) + " (record " + std::to_string(i / kRecordSize + 1) +
             ", offset " + std::to_string(i % kRecordSize) + ")";
    }
  }
  return "none";
}

#define EXPECT_BYTES_EQ(expected, actual) EXPECT_EQ(FirstDifference((expected), (actual)), "none")

// `actual` with every password field that holds the one-way form of the
// plain password `expected` shows there put back to that plain field, so
// that one byte-exact comparison checks the hash too: a field that does not
// verify stays and shows as a difference.
inline std::string PlainPasswords(const std::string& expected, std::string actual) {
  constexpr size_t kPasswordAt = 40;
  for (size_t at = kPasswordAt;
       at + kPasswordFieldLength <= std::min(expected.size(), actual.size()); at += kRecordSize) {
    const std::string plain = expected.substr(at, kPasswordFieldLength);
    const std::string stored = actual.substr(at, kPasswordFieldLength);
    const std::string typed = plain.substr(0, plain.find_last_not_of(' ') + 1);
    if (IsOneWayPasswordField(stored) && MatchPassword(stored, typed) == PasswordMatch::kMatch) {
      actual.replace(at, kPasswordFieldLength, plain);
    }
  }
  return actual;
}

}  // namespace nox::admin::testing_support
