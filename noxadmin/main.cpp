// noxadmin: the administration tool of Nox (see cli.h).
#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#endif

#include <iostream>
#include <string>
#include <vector>

#include "noxadmin/cli.h"

int main(int argc, char** argv) {
#if defined(_WIN32)
  // Byte for byte: CSV rows and .reg files end their lines in CR LF
  // themselves, which a text-mode stream would turn into CR CR LF.
  _setmode(_fileno(stdout), _O_BINARY);
#endif
  const std::vector<std::string> args(argv + 1, argv + argc);
  nox::admin::AdminContext context{std::cout, std::cerr, std::cin, nox::admin::HostNow()};
  return nox::admin::RunNoxadmin(args, context);
}
