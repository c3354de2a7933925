// Owners for the Win32 handles the product opens. Each kind of handle names
// its own "none" value (a failed CreateFileA gives INVALID_HANDLE_VALUE, a
// failed OpenProcess gives null) and its own closer; the owner closes a
// handle that is not "none" exactly once, when it is reset or goes out of
// scope. Owners cannot be copied; moving one hands the handle over.
// (Registry keys of the platform facade are owned through
// platform::ScopedRegKey.)
#pragma once

#include <utility>

#include "platform/win32/win32_api.h"
// After <windows.h>, which they need.
#include <wincrypt.h>
#include <wininet.h>

namespace platform::win32 {

// Kind supplies: the Handle type, Empty() (the "none" value) and
// Close(handle), which reports whether closing succeeded.
template <typename Kind>
class Scoped {
 public:
  using Handle = typename Kind::Handle;

  Scoped() = default;
  explicit Scoped(Handle handle) : handle_(handle) {}
  ~Scoped() { Reset(); }
  Scoped(const Scoped&) = delete;
  Scoped& operator=(const Scoped&) = delete;
  Scoped(Scoped&& other) noexcept : handle_(other.Release()) {}
  Scoped& operator=(Scoped&& other) noexcept {
    Reset(other.Release());
    return *this;
  }

  bool valid() const { return handle_ != Kind::Empty(); }
  Handle get() const { return handle_; }
  // Closes the handle held, then lets a Win32 call store a new one.
  Handle* receive() {
    Reset();
    return &handle_;
  }
  // Gives up ownership without closing.
  Handle Release() { return std::exchange(handle_, Kind::Empty()); }
  // Closes the handle held and takes ownership of `handle`.
  void Reset(Handle handle = Kind::Empty()) {
    Close();
    handle_ = handle;
  }
  // Closes the handle now and reports whether closing succeeded; holding
  // none counts as success.
  bool Close() {
    const Handle closing = Release();
    return closing == Kind::Empty() || Kind::Close(closing);
  }

 private:
  Handle handle_ = Kind::Empty();
};

// The kinds of handle, by how they are opened.
namespace kinds {

// Kernel objects that come back null on failure: events, threads,
// processes, tokens.
struct Kernel {
  using Handle = HANDLE;
  static Handle Empty() { return nullptr; }
  static bool Close(Handle handle) { return CloseHandle(handle) != FALSE; }
};

// Handles that come back INVALID_HANDLE_VALUE on failure: CreateFileA (files,
// devices, pipe clients), CreateNamedPipeA, CreateToolhelp32Snapshot.
struct File {
  using Handle = HANDLE;
  static Handle Empty() { return INVALID_HANDLE_VALUE; }
  static bool Close(Handle handle) { return CloseHandle(handle) != FALSE; }
};

// A FindFirstFileA search.
struct Find {
  using Handle = HANDLE;
  static Handle Empty() { return INVALID_HANDLE_VALUE; }
  static bool Close(Handle handle) { return FindClose(handle) != FALSE; }
};

// A registry key opened through advapi32 directly.
struct Key {
  using Handle = HKEY;
  static Handle Empty() { return nullptr; }
  static bool Close(Handle key) { return RegCloseKey(key) == ERROR_SUCCESS; }
};

// A loaded library.
struct Library {
  using Handle = HMODULE;
  static Handle Empty() { return nullptr; }
  static bool Close(Handle module) { return FreeLibrary(module) != FALSE; }
};

// The service control manager or one service.
struct Service {
  using Handle = SC_HANDLE;
  static Handle Empty() { return nullptr; }
  static bool Close(Handle handle) { return CloseServiceHandle(handle) != FALSE; }
};

// Memory the system allocated with LocalAlloc (security descriptors, SID
// texts).
template <typename Pointer>
struct Local {
  using Handle = Pointer;
  static Handle Empty() { return nullptr; }
  static bool Close(Handle pointer) {
    return LocalFree(reinterpret_cast<HLOCAL>(pointer)) == nullptr;
  }
};

// A CryptoAPI context, hash or key; 0 when none.
struct CryptProv {
  using Handle = HCRYPTPROV;
  static Handle Empty() { return 0; }
  static bool Close(Handle prov) { return CryptReleaseContext(prov, 0) != FALSE; }
};
struct CryptHash {
  using Handle = HCRYPTHASH;
  static Handle Empty() { return 0; }
  static bool Close(Handle hash) { return CryptDestroyHash(hash) != FALSE; }
};
struct CryptKey {
  using Handle = HCRYPTKEY;
  static Handle Empty() { return 0; }
  static bool Close(Handle key) { return CryptDestroyKey(key) != FALSE; }
};

// A GDI font.
struct Font {
  using Handle = HFONT;
  static Handle Empty() { return nullptr; }
  static bool Close(Handle font) { return DeleteObject(font) != FALSE; }
};

// A window this thread created.
struct Window {
  using Handle = HWND;
  static Handle Empty() { return nullptr; }
  static bool Close(Handle window) { return DestroyWindow(window) != FALSE; }
};

// A WinInet session or resource.
struct Internet {
  using Handle = HINTERNET;
  static Handle Empty() { return nullptr; }
  static bool Close(Handle handle) { return InternetCloseHandle(handle) != FALSE; }
};

}  // namespace kinds

using ScopedHandle = Scoped<kinds::Kernel>;
using ScopedFile = Scoped<kinds::File>;
using ScopedFind = Scoped<kinds::Find>;
using ScopedKey = Scoped<kinds::Key>;
using ScopedLibrary = Scoped<kinds::Library>;
using ScopedServiceHandle = Scoped<kinds::Service>;
using ScopedCryptProv = Scoped<kinds::CryptProv>;
using ScopedCryptHash = Scoped<kinds::CryptHash>;
using ScopedCryptKey = Scoped<kinds::CryptKey>;
using ScopedInternet = Scoped<kinds::Internet>;
using ScopedFont = Scoped<kinds::Font>;
using ScopedWindow = Scoped<kinds::Window>;
template <typename Pointer>
using ScopedLocal = Scoped<kinds::Local<Pointer>>;

}  // namespace platform::win32
