// How long users wait for explorer.exe: automatic login of an "Education
// High" user with 1 and with 10,000 users in USER.TBL (the user last), beside
// two floors, starting and ending an empty Win32 program and starting the
// two programs every login starts (the shell, then pelorus.exe), and beside
// "regedit /s" importing the values that login writes. Run by bench/login_bench.sh in a
// fresh Wine prefix (logon name "pupil"); prints one table.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "bench/bench_runs.h"
#include "tests/e2e/e2e_machine.h"

namespace {

using nox::bench::Median;
using nox::bench::OwnDirectory;
using nox::bench::RunToEnd;
using nox::e2e::Machine;
using nox::e2e::MakeUser;
using Clock = std::chrono::steady_clock;

constexpr int kRuns = 15;
constexpr const char* kEducationHigh = "53520,63759,3670485";

struct Timing {
  double median_ms = 0;
  double min_ms = 0;
};

Timing Summary(const std::vector<double>& times) {
  return {Median(times), *std::min_element(times.begin(), times.end())};
}

// The run's time in milliseconds; nothing when it failed.
std::optional<double> Time(const std::function<bool()>& run) {
  const auto start = Clock::now();
  if (!run()) return std::nullopt;
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Runs the programs in turn, one warm-up round and then kRuns timed rounds,
// so that a slow spell of the machine weighs on all of them alike; `settle`
// runs untimed after each. Each program's times in milliseconds, by round;
// empty when one failed.
std::vector<std::vector<double>> Interleaved(const std::vector<std::function<bool()>>& runs,
                                             const std::function<void()>& settle) {
  std::vector<std::vector<double>> times(runs.size());
  for (int round = 0; round <= kRuns; ++round) {
    for (size_t i = 0; i < runs.size(); ++i) {
      const std::optional<double> ms = Time(runs[i]);
      if (!ms) return {};
      settle();
      if (round > 0) times[i].push_back(*ms);
    }
  }
  return times;
}

// The median over the rounds of each round's `ratio`.
double MedianRatio(const std::vector<std::vector<double>>& times,
                   const std::function<double(const std::vector<double>&)>& ratio) {
  std::vector<double> ratios;
  for (size_t round = 0; round < times.front().size(); ++round) {
    std::vector<double> row;
    for (const std::vector<double>& program : times) row.push_back(program[round]);
    ratios.push_back(ratio(row));
  }
  return Median(ratios);
}

std::vector<nox::UserRecord> Table(int users) {
  std::vector<nox::UserRecord> records;
  for (int i = 1; i < users; ++i) {
    records.push_back(MakeUser("user" + std::to_string(i), "pw" + std::to_string(i), "0,0,0"));
  }
  records.push_back(MakeUser("PUPIL", "never-typed", kEducationHigh));
  return records;
}

bool Login(Machine* machine) { return machine->StartExplorer() && machine->WaitForExit(120000); }

// The columns of the interleaved rounds.
enum Program { kEmpty, kTwoStarts, kLogin, kRegedit };

}  // namespace

int main() {
  Machine machine;
  machine.SetUp();
  machine.WriteSystemFile("Timedate.cpl", "panel");

  const std::string bin = OwnDirectory();
  // The two-start floor runs from the login's program directory, where
  // pelorus.exe lies.
  const std::string floor_program = std::string(nox::e2e::kProgramDir) + "\\two_start_floor.exe";
  CopyFileA((bin + "\\two_start_floor.exe").c_str(), floor_program.c_str(), FALSE);

  // The values the login writes, as the administration tool plans them.
  const std::string reg_file = std::string(nox::e2e::kRoot) + "\\login.reg";
  machine.WriteUserTable(Table(1));
  RunToEnd("", "cmd.exe /c \"" + bin + "\\noxadmin.exe\" plan PUPIL --windows nt --ie 5.50 " +
                   "--format reg > " + reg_file);

  // The shell and pelorus.exe stubs run on after the program that started
  // them has ended (their starts were made before it ended): the next
  // program is started only once they have ended too, so that it does not
  // share the machine with them.
  auto settle = [&] { machine.WaitForStubs(); };
  const std::vector<std::vector<double>> rounds =
      Interleaved({
                      [&] { return RunToEnd(bin + "\\empty_program.exe", "empty_program.exe"); },
                      [&] { return RunToEnd(floor_program, "two_start_floor.exe"); },
                      [&] { return Login(&machine); },
                      [&] { return RunToEnd("", "C:\\windows\\regedit.exe /s " + reg_file); },
                  },
                  settle);
  machine.WriteUserTable(Table(10000));
  const std::vector<std::vector<double>> many =
      Interleaved({[&] { return Login(&machine); }}, settle);
  // Each run of the floor and of the login starts the shell and pelorus.exe
  // once: a login that started fewer would only look fast.
  const size_t starts = machine.Starts().size();
  const size_t expected_starts = 2 * 3 * (kRuns + 1);
  machine.TearDown();
  if (rounds.empty() || many.empty()) {
    std::printf("a program of the benchmark failed to run\n");
    return 1;
  }
  if (starts != expected_starts) {
    std::printf("%zu program starts were recorded, %zu expected\n", starts, expected_starts);
    return 1;
  }

  std::printf("%-52s %10s %10s\n", "", "median ms", "min ms");
  auto row = [](const char* what, const Timing& t) {
    std::printf("%-52s %10.1f %10.1f\n", what, t.median_ms, t.min_ms);
  };
  row("empty Win32 program (floor)", Summary(rounds[kEmpty]));
  row("two-start floor: the shell, then pelorus.exe", Summary(rounds[kTwoStarts]));
  row("explorer.exe, automatic login, 1 user", Summary(rounds[kLogin]));
  row("explorer.exe, automatic login, 10,000 users (last)", Summary(many[0]));
  row("regedit /s of the same values", Summary(rounds[kRegedit]));

  auto ratio = [&](Program over, Program under) {
    return MedianRatio(rounds, [=](const std::vector<double>& t) { return t[over] / t[under]; });
  };
  const double over_both = MedianRatio(rounds, [](const std::vector<double>& t) {
    return t[kLogin] / (t[kRegedit] + t[kTwoStarts]);
  });
  std::printf("\nRatios of 1-user logins, medians over %d interleaved rounds:\n", kRuns);
  std::printf("  login / empty program floor:            %5.2f (goal <= 1.5)\n",
              ratio(kLogin, kEmpty));
  std::printf("  login / two-start floor:                %5.2f (goal <= 1.25)\n",
              ratio(kLogin, kTwoStarts));
  std::printf("  login / regedit:                        %5.2f (goal < 1)\n",
              ratio(kLogin, kRegedit));
  std::printf("  login / (regedit + two-start floor):    %5.2f\n", over_both);
  std::printf("10,000 users / 1 user (medians):          %5.2f (goal <= 2)\n",
              Median(many[0]) / Median(rounds[kLogin]));
  return 0;
}
