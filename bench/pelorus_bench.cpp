// What a counted minute of pelorus.exe costs: the user's record read and
// written in a USER.TBL of 1,000 users, alone and with the lab-wide budget
// on (this PC's usage file rewritten, the usage folder listed and 60 PCs'
// files of 1,000 entries each read). Runs MinuteKeeper on the real file
// system and registry in a fresh Wine prefix (bench/pelorus_bench.sh);
// prints one table.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "common/product_registry.h"
#include "common/regpath.h"
#include "explorer/records.h"
#include "pelorus/lab_usage.h"
#include "pelorus/minute_keeper.h"
#include "platform/platform.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kUsers = 1000;
constexpr int kKeptUser = 500;
constexpr int kPcs = 60;
constexpr int kMinutes = 200;
constexpr const char* kMaster = "C:\\nox-bench\\master\\";
constexpr const char* kUsage = "C:\\nox-bench\\master\\usage\\";

std::string Name(int n) { return "user" + std::to_string(n); }

void WriteTables() {
  std::string table;
  for (int n = 1; n <= kUsers; ++n) {
    nox::UserRecord user = nox::UserRecord::Blank();
    nox::SetFieldText(user.user_name, Name(n));
    nox::SetFieldText(user.level_triple, "0,0,33554432");
    user.allowed_minutes = INT32_MAX;  // never logged off here
    const nox::UserRecordBytes bytes = nox::EncodeUserRecord(user);
    table.append(bytes.data(), bytes.size());
  }
  platform::WriteWholeFile(nox::SystemDirectoryWithSlash() + nox::kUserTable, table);
  nox::RegWrite(nox::kLoggedOnRecordValue, std::to_string(kKeptUser), 1);
  nox::RegWrite(nox::kLoggedOnNameValue, Name(kKeptUser), 1);
}

void WriteSettings(const std::string& master_path) {
  nox::SettingsRecord settings = nox::DefaultSettingsRecord();
  nox::SetFieldText(settings.master_path, master_path);
  const nox::SettingsRecordBytes bytes = nox::EncodeSettingsRecord(settings);
  platform::WriteWholeFile(nox::SystemDirectoryWithSlash() + nox::kSettingsTable,
                           std::string(bytes.data(), bytes.size()));
}

// Every other PC of the lab: 40 days of 25 users each.
void WriteLab() {
  platform::CreateDirectory("C:\\nox-bench");
  platform::CreateDirectory(kMaster);
  platform::CreateDirectory(kUsage);
  for (int pc = 1; pc < kPcs; ++pc) {
    std::vector<nox::UsageEntry> entries;
    for (int day = 0; day < 40; ++day) {
      for (int u = 0; u < 25; ++u) {
        entries.push_back({Name((pc * 37 + u * 13) % kUsers + 1), 20261101 + day % 30, 30});
      }
    }
    platform::WriteWholeFile(std::string(kUsage) + "LABPC" + std::to_string(pc) + ".tbl",
                             nox::EncodeUsageFile(entries));
  }
}

struct Timing {
  double median_ms, p90_ms, max_ms;
};

Timing TimeMinutes() {
  nox::MinuteKeeper keeper({[](const std::string&) {}, [] {}, nullptr});
  if (!keeper.Start()) {
    std::fprintf(stderr, "pelorus_bench: the keeper found no user\n");
    std::exit(1);
  }
  std::vector<double> ms;
  for (int i = 0; i < kMinutes; ++i) {
    const Clock::time_point start = Clock::now();
    keeper.CountMinute();
    ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
  }
  std::sort(ms.begin(), ms.end());
  return {ms[ms.size() / 2], ms[ms.size() * 9 / 10], ms.back()};
}

void Row(const char* what, const Timing& t) {
  std::printf("%-58s %8.3f %8.3f %8.3f\n", what, t.median_ms, t.p90_ms, t.max_ms);
}

}  // namespace

int main() {
  WriteTables();
  WriteLab();
  std::printf("pelorus.exe, one counted minute (%d users in USER.TBL, %d minutes timed)\n", kUsers,
              kMinutes);
  std::printf("%-58s %8s %8s %8s\n", "", "median", "p90", "max");
  WriteSettings("C:\\nox-bench\\elsewhere\\USER.TBL");  // no usage folder: local count only
  Row("local: record read + write (ms)", TimeMinutes());
  WriteSettings(std::string(kMaster) + "USER.TBL");
  Row("lab-wide: + own usage file, folder read, 60 PC files (ms)", TimeMinutes());
  return 0;
}
