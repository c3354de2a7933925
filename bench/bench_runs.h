// What the Wine benchmarks share: running a program to its end, the median
// of a set of times (and the benchmark's own folder).
#pragma once

#include <algorithm>
#include <string>
#include <vector>

#include "platform/win32/scoped_handles.h"
#include "tests/e2e/e2e_helpers.h"
#include "tests/e2e/e2e_machine.h"

namespace nox::bench {

using nox::e2e::OwnDirectory;

// Runs a program to its end, its current directory the machine's root;
// false when it could not be started.
inline bool RunToEnd(const std::string& program, std::string command_line) {
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  if (!CreateProcessA(program.empty() ? nullptr : program.c_str(), command_line.data(), nullptr,
                      nullptr, FALSE, 0, nullptr, nox::e2e::kRoot, &startup, &process)) {
    return false;
  }
  const platform::win32::ScopedHandle thread(process.hThread);
  const platform::win32::ScopedHandle started(process.hProcess);
  WaitForSingleObject(started.get(), INFINITE);
  return true;
}

inline double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

}  // namespace nox::bench
