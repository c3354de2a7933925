// The exports of Tessel.dll: plain undecorated names (tessel.def), the
// standard Windows calling convention, 32-bit signed results (-1 true or
// success, 0 false or failure, other negative values for specific failures).
// Strings are zero-terminated ANSI texts in buffers the caller owns and sizes.
#pragma once

#include <shlwapi.h>
#include <windows.h>

#include <cstdint>

extern "C" {

// Cipher (cipher.cpp). The string exports return the length of the buffer's
// text after the call; the file exports -1 done, 0 failed.
int32_t __stdcall EncryptString(char* text);
int32_t __stdcall DecryptString(char* text);
int32_t __stdcall Encrypt_File(const char* path);
int32_t __stdcall Decrypt_File(const char* path);

// Administrator password store (password_store.cpp).
int32_t __stdcall CheckPassword(const char* candidate);
int32_t __stdcall SetPassword(char* password);

// Drive ejection (eject.cpp): -1 attempted, 0 the system version was unreadable.
int32_t __stdcall EjectDrive(const char* drive);

// Process and session control (process_control.cpp).
int32_t __stdcall RunApplication(const char* command_line, int32_t delay_seconds);
int32_t __stdcall KillApplication(const char* window_title);
int32_t __stdcall LogOff();
int32_t __stdcall GetSysDate(char* out);

// File version information (file_info.cpp) and URL fetch (url_fetch.cpp).
int32_t __stdcall GetFileInfo(const char* path, int32_t item, char* out);
int32_t __stdcall GetURL(const char* url, char* out, int32_t max_chars, HWND window);

// The library's own version (dll_main.cpp): 0, or E_FAIL for no structure.
HRESULT __stdcall DllGetVersion(DLLVERSIONINFO* info);

}  // extern "C"
