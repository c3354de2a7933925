// noxadmin: the administration tool of Nox (see cli.h).
#include <iostream>
#include <string>
#include <vector>

#include "noxadmin/cli.h"
#include "noxadmin/host.h"

int main(int argc, char** argv) {
  nox::admin::UseBinaryStandardOutput();
  const std::vector<std::string> args(argv + 1, argv + argc);
  nox::admin::AdminContext context{std::cout, std::cerr, std::cin, nox::admin::HostNow()};
  return nox::admin::RunNoxadmin(args, context);
}
