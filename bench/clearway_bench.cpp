// How long Clearway.exe takes beside the login it undoes: "Clearway.exe
// secret /u" on a machine after a restrictive login, the automatic login of
// an "Education High" user, and the floor of an empty Win32 program. Run by
// bench/clearway_bench.sh in a fresh Wine prefix (logon name "pupil");
// prints one table.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "bench/bench_runs.h"
#include "platform/win32/scoped_handles.h"
#include "tests/e2e/e2e_machine.h"

namespace {

using nox::bench::Median;
using nox::bench::OwnDirectory;
using nox::bench::RunToEnd;
using nox::e2e::Machine;
using nox::e2e::MakeUser;
using platform::win32::ScopedFile;
using Clock = std::chrono::steady_clock;

constexpr int kRuns = 15;
constexpr const char* kEducationHigh = "53520,63759,3670485";

// One warm-up run, then kRuns timed ones; `prepare` runs untimed before each.
double MedianMs(const std::function<bool()>& run, const std::function<bool()>& prepare) {
  if (!prepare() || !run()) return 0;
  std::vector<double> times;
  for (int i = 0; i < kRuns; ++i) {
    if (!prepare()) return 0;
    const auto start = Clock::now();
    if (!run()) return 0;
    times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
  }
  return Median(std::move(times));
}

std::string ReadFileText(const std::string& path) {
  const ScopedFile file(
      CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  if (!file.valid()) return "";
  std::string data(GetFileSize(file.get(), nullptr), '\0');
  DWORD read = 0;
  ReadFile(file.get(), data.data(), static_cast<DWORD>(data.size()), &read, nullptr);
  return data.substr(0, read);
}

void WriteFileText(const std::string& path, const std::string& text) {
  const ScopedFile file(
      CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  DWORD written = 0;
  WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

// Entry and exit lines of a trace file.
size_t TraceLines(const std::string& trace) {
  size_t lines = 0;
  for (size_t at = trace.find("] ["); at != std::string::npos; at = trace.find("] [", at + 1)) {
    ++lines;
  }
  return lines;
}

}  // namespace

int main() {
  Machine machine;
  machine.SetUp();
  machine.WriteSystemFile("Timedate.cpl", "panel");
  machine.WriteUserTable({MakeUser("PUPIL", "never-typed", kEducationHigh)});
  auto login = [&] { return machine.StartExplorer() && machine.WaitForExit(120000); };
  auto nothing = [] { return true; };

  const std::string bin = OwnDirectory();
  const double floor =
      MedianMs([&] { return RunToEnd(bin + "\\empty_program.exe", "empty_program.exe"); }, nothing);
  const double login_ms = MedianMs(login, nothing);
  const double clearway_ms = MedianMs(
      [&] { return machine.StartProgram("Clearway.exe", "secret /u") && machine.WaitForExit(); },
      login);
  // The same run with every traced call written to disk, one file append a line.
  const std::string settings = std::string(nox::e2e::kProgramDir) + "\\SNCLIENT.INI";
  const std::string trace = std::string(nox::e2e::kRoot) + "\\trace.log";
  WriteFileText(settings,
                "[preferences]\r\nSilent Run=1\r\n[log file]\r\nWrite To Disk=1\r\n"
                "Capture To Disk=1\r\nLog File=" +
                    trace + "\r\n");
  const double traced_ms = MedianMs(
      [&] { return machine.StartProgram("Clearway.exe", "secret /u") && machine.WaitForExit(); },
      [&] { return DeleteFileA(trace.c_str()), login(); });
  const size_t lines = TraceLines(ReadFileText(trace));
  DeleteFileA(settings.c_str());
  DeleteFileA(trace.c_str());
  machine.TearDown();

  std::printf("%-52s %10s\n", "", "median ms");
  std::printf("%-52s %10.1f\n", "empty Win32 program (floor)", floor);
  std::printf("%-52s %10.1f\n", "explorer.exe, automatic login (Education High)", login_ms);
  std::printf("%-52s %10.1f\n", "Clearway.exe secret /u, after that login", clearway_ms);
  std::printf("%-52s %10.1f\n", "Clearway.exe secret /u, every call traced to disk", traced_ms);
  std::printf("\nClearway / login: %.2f (goal <= 2)\n", clearway_ms / login_ms);
  if (lines > 0) {
    std::printf("trace: %zu lines a run, %.1f us a line\n", lines,
                (traced_ms - clearway_ms) * 1000.0 / static_cast<double>(lines));
  }
  return 0;
}
