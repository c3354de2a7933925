// How long users wait for explorer.exe: automatic login of an "Education
// High" user with 1 and with 10,000 users in USER.TBL (the user last), beside
// the floor of starting and ending an empty Win32 program and "regedit /s"
// importing the values that login writes. Run by bench/login_bench.sh in a
// fresh Wine prefix (logon name "pupil"); prints one table.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "tests/e2e/e2e_machine.h"

namespace {

using nox::e2e::Machine;
using nox::e2e::MakeUser;
using Clock = std::chrono::steady_clock;

constexpr int kRuns = 15;
constexpr const char* kEducationHigh = "53520,63759,3670485";

std::string OwnDirectory() {
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string folder = path;
  return folder.substr(0, folder.find_last_of('\\'));
}

// Runs a program to its end; false when it could not be started.
bool RunToEnd(const std::string& program, std::string command_line) {
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  if (!CreateProcessA(program.empty() ? nullptr : program.c_str(), command_line.data(), nullptr,
                      nullptr, FALSE, 0, nullptr, nox::e2e::kRoot, &startup, &process)) {
    return false;
  }
  WaitForSingleObject(process.hProcess, INFINITE);
  CloseHandle(process.hProcess);
  CloseHandle(process.hThread);
  return true;
}

struct Timing {
  double median_ms = 0;
  double min_ms = 0;
};

// One warm-up run, then kRuns timed ones.
Timing Measure(const std::function<bool()>& run) {
  if (!run()) return {};
  std::vector<double> times;
  for (int i = 0; i < kRuns; ++i) {
    const auto start = Clock::now();
    if (!run()) return {};
    times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
  }
  std::sort(times.begin(), times.end());
  return {times[times.size() / 2], times.front()};
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

}  // namespace

int main() {
  Machine machine;
  machine.SetUp();
  machine.WriteSystemFile("Timedate.cpl", "panel");

  const std::string bin = OwnDirectory();
  const Timing floor =
      Measure([&] { return RunToEnd(bin + "\\empty_program.exe", "empty_program.exe"); });

  machine.WriteUserTable(Table(1));
  const Timing one = Measure([&] { return Login(&machine); });
  machine.WriteUserTable(Table(10000));
  const Timing many = Measure([&] { return Login(&machine); });

  // The values the login writes, as the administration tool plans them.
  const std::string reg_file = std::string(nox::e2e::kRoot) + "\\login.reg";
  machine.WriteUserTable(Table(1));
  RunToEnd("", "cmd.exe /c \"" + bin + "\\noxadmin.exe\" plan PUPIL --windows nt --ie 5.50 " +
                   "--format reg > " + reg_file);
  const Timing regedit =
      Measure([&] { return RunToEnd("", "C:\\windows\\regedit.exe /s " + reg_file); });
  machine.TearDown();

  std::printf("%-52s %10s %10s\n", "", "median ms", "min ms");
  auto row = [](const char* what, const Timing& t) {
    std::printf("%-52s %10.1f %10.1f\n", what, t.median_ms, t.min_ms);
  };
  row("empty Win32 program (floor)", floor);
  row("explorer.exe, automatic login, 1 user", one);
  row("explorer.exe, automatic login, 10,000 users (last)", many);
  row("regedit /s of the same values", regedit);
  std::printf(
      "\n1 user / floor: %.2f (goal <= 1.5)   1 user / regedit: %.2f (goal < 1)   "
      "10,000 / 1 user: %.2f (goal <= 2)\n",
      one.median_ms / floor.median_ms, one.median_ms / regedit.median_ms,
      many.median_ms / one.median_ms);
  return 0;
}
