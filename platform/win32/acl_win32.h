// Reading a file's access list the way the access check does. Its own small
// library: noxadmin.exe, which runs the login's logic on the fake platform,
// reads the real tables' rights through it too.
#pragma once

#include <string>

#include "platform/win32/win32_api.h"

namespace platform::win32 {

// Whether the entries grant members of Users read access to the data,
// directly or through Everyone or Authenticated Users: in order, the first
// allowed or denied entry for one of those SIDs that covers reading decides;
// none means no.
bool AclLetsUsersRead(const ACL* acl);

// The same for a file's descriptor: true where there is no descriptor to
// read (Windows 95/98, or a file without a DACL), false when the file cannot
// be asked.
bool FileLetsUsersRead(const std::string& path);

}  // namespace platform::win32
