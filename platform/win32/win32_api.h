// <windows.h> for code that also uses platform/platform.h.
//
// The Windows headers define ANSI/Unicode macros (CopyFile -> CopyFileA,
// RegCreateKey -> RegCreateKeyA, MessageBox -> MessageBoxA, ...) that would
// silently rename the facade's functions of the same names in any file that
// sees both. Include this instead of <windows.h> there, and call the Win32
// functions by their explicit ...A names.
#pragma once

#include <windows.h>

#undef CopyFile
#undef CreateDirectory
#undef DeleteFile
#undef ExitWindows
#undef GetDriveType
#undef GetFileAttributes
#undef GetProfileString
#undef MessageBox
#undef MoveFile
#undef RegCreateKey
#undef RegDeleteKey
#undef RegDeleteValue
#undef RegEnumKey
#undef RegEnumValue
#undef RegOpenKey
#undef RegQueryValue
#undef RegSetValue
#undef RemoveDirectory
#undef ReplaceFile
#undef SetFileAttributes
#undef WriteProfileString
