// The library's frame: its entry point and DllGetVersion.
#include <windows.h>

#include <cstring>

#include "tessel/tessel.h"

// Nothing to set up: the exports keep no state between calls except
// GetURL's, which lives in its own fetches.
BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) DisableThreadLibraryCalls(instance);
  return TRUE;
}

// Reports version 1.4 on the Windows platform, after clearing the caller's
// structure over the size it declares. A declared size too small for the
// fields is refused with E_INVALIDARG, leaving the structure untouched.
extern "C" HRESULT __stdcall DllGetVersion(DLLVERSIONINFO* info) {
  if (info == nullptr) return E_FAIL;
  if (info->cbSize < sizeof(DLLVERSIONINFO)) return E_INVALIDARG;
  std::memset(info, 0, info->cbSize);
  info->dwMajorVersion = 1;
  info->dwMinorVersion = 4;
  info->dwPlatformID = DLLVER_PLATFORM_WINDOWS;
  return S_OK;
}
