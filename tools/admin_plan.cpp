#include "tools/admin_session.h"

namespace nox::admin {

int Plan(Session&, const ParsedArgs&) { throw Failure("plan: not yet"); }

}  // namespace nox::admin
