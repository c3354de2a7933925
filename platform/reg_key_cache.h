// Inside the facade only: each implementation's registry calls that open,
// create, delete and close keys, without the key cache of RegKeyCacheScope
// (platform/reg_key_cache.cpp puts the cache in front of them), and the
// cache's release before a program starts or a message box waits
// (ReleaseKeptRegKeys, in platform.h).
#pragma once

#include <string>

#include "platform/platform.h"

namespace platform::uncached {

long RegCreateKey(RegKey parent, const std::string& subkey, RegKey* out);
long RegOpenKey(RegKey parent, const std::string& subkey, uint32_t access, RegKey* out);
long RegDeleteKey(RegKey parent, const std::string& subkey);
long RegCloseKey(RegKey key);

}  // namespace platform::uncached
