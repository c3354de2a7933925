// noxadmin: the administration tool of Nox (see admin_cli.h).
#include <iostream>
#include <string>
#include <vector>

#include "tools/admin_cli.h"

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  nox::admin::AdminContext context{std::cout, std::cerr, std::cin, nox::admin::HostNow()};
  return nox::admin::RunNoxadmin(args, context);
}
