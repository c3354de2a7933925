// CLASPS.DLL, our stand-in for the installation's hook library. On Windows
// NT the login program hands every registry write and key deletion to its
// first two exports; they perform the same direct writes as the Windows 95/98
// path. The third, which a caller looks for and may do without, lets a run
// of writes open each key once.
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

// keep = 1: the keys the writes open stay open (on this thread) until
// keep = 0; a key deleted through SRV_RegDeleteKey first lets go of those
// kept so far. The caller asks for 0 before a program starts, before it waits
// for the user, before a key is deleted elsewhere and when it is done.
// Always 0.
int32_t NOX_STDCALL SRV_KeepKeys(int32_t keep);
}
