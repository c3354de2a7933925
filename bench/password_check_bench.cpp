// One window login's password check: MatchPassword of a one-way field, the
// KDF at the stored iteration count, median and slowest of 30 checks. Run
// natively (libcrypto) and under Wine (CNG):
//   build/native/bin/password_check_bench
//   tests/wine/run build/mingw64/bin/password_check_bench.exe
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "common/password_field.h"

int main() {
  const std::optional<std::string> field = nox::HashPassword("Teacher 1");
  if (!field) {
    std::puts("no KDF on this system");
    return 1;
  }
  std::vector<double> times;
  for (int run = 0; run < 30; ++run) {
    const auto start = std::chrono::steady_clock::now();
    const bool matched = nox::MatchPassword(*field, "Teacher 1") == nox::PasswordMatch::kMatch;
    times.push_back(
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
            .count());
    if (!matched) return 1;
  }
  std::sort(times.begin(), times.end());
  std::printf(
      "one password check (PBKDF2-HMAC-SHA256, %u iterations): median %.1f ms, slowest %.1f ms\n",
      nox::kPasswordIterations, times[times.size() / 2], times.back());
  return 0;
}
