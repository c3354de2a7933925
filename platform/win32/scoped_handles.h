// Owners for the Win32 handles the platform opens; each closes its handle
// when it goes out of scope. Copying is deleted, moving is not needed.
// (Registry keys handed to callers are owned through platform::ScopedRegKey.)
#pragma once

#include "platform/win32/win32_api.h"

namespace platform::win32 {

// A kernel object handle (file, process, thread); INVALID_HANDLE_VALUE and
// null both mean "none".
class ScopedHandle {
 public:
  explicit ScopedHandle(HANDLE handle) : handle_(handle) {}
  ~ScopedHandle() {
    if (valid()) CloseHandle(handle_);
  }
  ScopedHandle(const ScopedHandle&) = delete;
  ScopedHandle& operator=(const ScopedHandle&) = delete;
  bool valid() const { return handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE; }
  HANDLE get() const { return handle_; }

 private:
  HANDLE handle_;
};

// A file opened with CreateFileA; INVALID_HANDLE_VALUE means "none".
class ScopedFile {
 public:
  explicit ScopedFile(HANDLE handle) : handle_(handle) {}
  ~ScopedFile() {
    if (valid()) CloseHandle(handle_);
  }
  ScopedFile(const ScopedFile&) = delete;
  ScopedFile& operator=(const ScopedFile&) = delete;
  bool valid() const { return handle_ != INVALID_HANDLE_VALUE; }
  HANDLE get() const { return handle_; }

 private:
  HANDLE handle_;
};

// A library loaded with LoadLibraryA; null means "none".
class ScopedLibrary {
 public:
  explicit ScopedLibrary(HMODULE module) : module_(module) {}
  ~ScopedLibrary() {
    if (valid()) FreeLibrary(module_);
  }
  ScopedLibrary(const ScopedLibrary&) = delete;
  ScopedLibrary& operator=(const ScopedLibrary&) = delete;
  bool valid() const { return module_ != nullptr; }
  HMODULE get() const { return module_; }

 private:
  HMODULE module_;
};

// A FindFirstFileA search.
class ScopedFind {
 public:
  explicit ScopedFind(HANDLE handle) : handle_(handle) {}
  ~ScopedFind() {
    if (valid()) FindClose(handle_);
  }
  ScopedFind(const ScopedFind&) = delete;
  ScopedFind& operator=(const ScopedFind&) = delete;
  bool valid() const { return handle_ != INVALID_HANDLE_VALUE; }
  HANDLE get() const { return handle_; }

 private:
  HANDLE handle_;
};

// Memory the system allocated with LocalAlloc (security descriptors, SID
// texts); null means "none".
template <typename Pointer>
class ScopedLocal {
 public:
  ScopedLocal() = default;
  ~ScopedLocal() {
    if (pointer_ != nullptr) LocalFree(reinterpret_cast<HLOCAL>(pointer_));
  }
  ScopedLocal(const ScopedLocal&) = delete;
  ScopedLocal& operator=(const ScopedLocal&) = delete;
  Pointer get() const { return pointer_; }
  Pointer* receive() { return &pointer_; }

 private:
  Pointer pointer_ = nullptr;
};

// A handle of the service control manager or of one service.
class ScopedServiceHandle {
 public:
  explicit ScopedServiceHandle(SC_HANDLE handle) : handle_(handle) {}
  ~ScopedServiceHandle() {
    if (handle_ != nullptr) CloseServiceHandle(handle_);
  }
  ScopedServiceHandle(const ScopedServiceHandle&) = delete;
  ScopedServiceHandle& operator=(const ScopedServiceHandle&) = delete;
  bool valid() const { return handle_ != nullptr; }
  SC_HANDLE get() const { return handle_; }

 private:
  SC_HANDLE handle_;
};

}  // namespace platform::win32
