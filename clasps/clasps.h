// CLASPS.DLL, our stand-in for the installation's hook library. On Windows
// NT the login program hands every registry write and key deletion to these
// two exports; they perform the same direct writes as the Windows 95/98 path.
#pragma once

#include <cstdint>

#include "platform/platform.h"

extern "C" {

// Creates the key when missing and stores the value: with type 3 or 4 the
// value text is a decimal number stored as 4 bytes, lowest first; with any
// other type the text with its terminating zero. 0 on success, else the
// Win32 error code.
int32_t NOX_STDCALL SRV_RegCreateKey(int32_t root, const char* key, const char* value_name,
                                     const char* value, int32_t type);

// Deletes the key (it must have no subkeys). 0 on success, else the Win32
// error code.
int32_t NOX_STDCALL SRV_RegDeleteKey(int32_t root, const char* key);
}
