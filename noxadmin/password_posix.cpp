// "noxadmin password" on Linux: the administrator password lives in the
// registry of the Windows machine, reached only by noxadmin.exe there.
#include "noxadmin/session.h"

namespace nox::admin {

int PasswordSet(Session&, const ParsedArgs&) {
  throw Failure(
      "password set works only in noxadmin.exe on the Windows machine itself (the "
      "password lives in its registry, through Tessel.dll)");
}

int PasswordCheck(Session&, const ParsedArgs&) {
  throw Failure(
      "password check works only in noxadmin.exe on the Windows machine itself (the "
      "password lives in its registry, through Tessel.dll)");
}

}  // namespace nox::admin
