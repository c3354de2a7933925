// Scoped owners for the Win32 handles the library uses; each closes its
// handle when it goes out of scope and cannot be copied.
#pragma once

#include <wincrypt.h>
#include <windows.h>
#include <wininet.h>

namespace tessel {

template <typename Handle, Handle kEmpty, typename Closer>
class Scoped {
 public:
  Scoped() = default;
  explicit Scoped(Handle handle) : handle_(handle) {}
  ~Scoped() { Reset(); }
  Scoped(const Scoped&) = delete;
  Scoped& operator=(const Scoped&) = delete;

  Handle get() const { return handle_; }
  bool valid() const { return handle_ != kEmpty; }
  Handle* receive() {
    Reset();
    return &handle_;
  }
  void Reset() {
    if (handle_ != kEmpty) Closer()(handle_);
    handle_ = kEmpty;
  }
  // Closes the handle now and reports whether closing succeeded.
  bool Close() {
    const bool closed = handle_ == kEmpty || Closer()(handle_);
    handle_ = kEmpty;
    return closed;
  }

 private:
  Handle handle_ = kEmpty;
};

struct CloseHandleCloser {
  bool operator()(HANDLE handle) const { return CloseHandle(handle) != FALSE; }
};
struct RegKeyCloser {
  bool operator()(HKEY key) const { return RegCloseKey(key) == ERROR_SUCCESS; }
};
struct CryptProvCloser {
  bool operator()(HCRYPTPROV prov) const { return CryptReleaseContext(prov, 0) != FALSE; }
};
struct CryptHashCloser {
  bool operator()(HCRYPTHASH hash) const { return CryptDestroyHash(hash) != FALSE; }
};
struct CryptKeyCloser {
  bool operator()(HCRYPTKEY key) const { return CryptDestroyKey(key) != FALSE; }
};
struct InternetCloser {
  bool operator()(HINTERNET handle) const { return InternetCloseHandle(handle) != FALSE; }
};

// A kernel object handle (event, thread, process); 0 when empty.
using ScopedHandle = Scoped<HANDLE, nullptr, CloseHandleCloser>;
using ScopedKey = Scoped<HKEY, nullptr, RegKeyCloser>;
using ScopedCryptProv = Scoped<HCRYPTPROV, 0, CryptProvCloser>;
using ScopedCryptHash = Scoped<HCRYPTHASH, 0, CryptHashCloser>;
using ScopedCryptKey = Scoped<HCRYPTKEY, 0, CryptKeyCloser>;
using ScopedInternet = Scoped<HINTERNET, nullptr, InternetCloser>;

// A file or device handle, INVALID_HANDLE_VALUE when empty.
class ScopedFile {
 public:
  explicit ScopedFile(HANDLE handle) : handle_(handle) {}
  ~ScopedFile() { Close(); }
  ScopedFile(const ScopedFile&) = delete;
  ScopedFile& operator=(const ScopedFile&) = delete;

  HANDLE get() const { return handle_; }
  bool valid() const { return handle_ != INVALID_HANDLE_VALUE; }
  // Closes the handle now and reports whether closing succeeded.
  bool Close() {
    const bool closed = handle_ == INVALID_HANDLE_VALUE || CloseHandle(handle_) != FALSE;
    handle_ = INVALID_HANDLE_VALUE;
    return closed;
  }

 private:
  HANDLE handle_;
};

}  // namespace tessel
