// Reading a file's access list the way the access check does.
#pragma once

#include "platform/win32/win32_api.h"

namespace platform::win32 {

// Whether the entries grant members of Users read access to the data,
// directly or through Everyone or Authenticated Users: in order, the first
// allowed or denied entry for one of those SIDs that covers reading decides;
// none means no.
bool AclLetsUsersRead(const ACL* acl);

}  // namespace platform::win32
