// Inside the facade only: each implementation's registry calls that open,
// create, delete and close keys, without the key cache of RegKeyCacheScope
// (platform/reg_key_cache.cpp puts the cache in front of them), and the
// cache's release before a program starts or a message box waits.
#pragma once

#include <string>

#include "platform/platform.h"

namespace platform::uncached {

long RegCreateKey(RegKey parent, const std::string& subkey, RegKey* out);
long RegOpenKey(RegKey parent, const std::string& subkey, uint32_t access, RegKey* out);
long RegDeleteKey(RegKey parent, const std::string& subkey);
long RegCloseKey(RegKey key);

}  // namespace platform::uncached

namespace platform {

// Closes the kept keys of this thread's scope that nobody holds and keeps
// none of the others for later: the shell starts with none open, and none is
// kept while the user takes their time (another program may delete a key).
void ReleaseKeptRegKeys();

}  // namespace platform
