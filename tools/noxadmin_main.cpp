// noxadmin: the administration tool of Nox (see admin_cli.h).
#include <ctime>
#include <iostream>
#include <string>
#include <vector>

#include "tools/admin_cli.h"

namespace {

platform::LocalTime HostNow() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
#if defined(_WIN32)
  localtime_s(&local, &now);
#else
  localtime_r(&now, &local);
#endif
  platform::LocalTime time;
  time.year = local.tm_year + 1900;
  time.month = local.tm_mon + 1;
  time.day = local.tm_mday;
  time.hour = local.tm_hour;
  time.minute = local.tm_min;
  time.second = local.tm_sec;
  return time;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  nox::admin::AdminContext context{std::cout, std::cerr, std::cin, HostNow()};
  return nox::admin::RunNoxadmin(args, context);
}
