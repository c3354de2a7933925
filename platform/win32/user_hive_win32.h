// The hive that the root kCurrentUser stands for on the calling thread.
#pragma once

#include "platform/win32/win32_api.h"

namespace platform::win32 {

// HKEY_CURRENT_USER, or the caller's hive while a ScopedUserHive is in force
// (null when that hive could not be opened, so that every call on it fails
// instead of reaching the service's own hive).
HKEY CurrentUserRoot();

}  // namespace platform::win32
