// Files, folders and initialisation files over kernel32.
#include <vector>

#include "platform/platform.h"
#include "platform/win32/scoped_handles.h"
#include "platform/win32/win32_api.h"

namespace platform {

namespace {

using win32::ScopedFile;
using win32::ScopedFind;

constexpr DWORD kShareReadWrite = FILE_SHARE_READ | FILE_SHARE_WRITE;

HANDLE Open(const std::string& path, DWORD access, DWORD disposition) {
  return CreateFileA(path.c_str(), access, kShareReadWrite, nullptr, disposition,
                     FILE_ATTRIBUTE_NORMAL, nullptr);
}

long LastError() { return static_cast<long>(GetLastError()); }

// One WriteFile of all of `data` at `offset`.
long WriteAt(HANDLE file, uint64_t offset, std::string_view data) {
  OVERLAPPED at = {};
  at.Offset = static_cast<DWORD>(offset);
  at.OffsetHigh = static_cast<DWORD>(offset >> 32);
  DWORD written = 0;
  if (!WriteFile(file, data.data(), static_cast<DWORD>(data.size()), &written, &at)) {
    return LastError();
  }
  return written == data.size() ? kSuccess : ERROR_WRITE_FAULT;
}

// Reads up to `size` bytes from `offset`, stopping at the end of the file.
long ReadAt(HANDLE file, uint64_t offset, size_t size, std::string* out) {
  std::string buffer(size, '\0');
  size_t filled = 0;
  while (filled < size) {
    OVERLAPPED at = {};
    uint64_t position = offset + filled;
    at.Offset = static_cast<DWORD>(position);
    at.OffsetHigh = static_cast<DWORD>(position >> 32);
    DWORD got = 0;
    if (!ReadFile(file, buffer.data() + filled, static_cast<DWORD>(size - filled), &got, &at)) {
      if (GetLastError() == ERROR_HANDLE_EOF) break;
      return LastError();
    }
    if (got == 0) break;
    filled += got;
  }
  buffer.resize(filled);
  *out = std::move(buffer);
  return kSuccess;
}

long SizeOf(HANDLE file, uint64_t* size) {
  LARGE_INTEGER length = {};
  if (!GetFileSizeEx(file, &length)) return LastError();
  *size = static_cast<uint64_t>(length.QuadPart);
  return kSuccess;
}

}  // namespace

long CreateFileIfMissing(const std::string& path) {
  ScopedFile file(Open(path, GENERIC_READ | GENERIC_WRITE, OPEN_ALWAYS));
  return file.valid() ? kSuccess : LastError();
}

long OpenForReading(const std::string& path) {
  ScopedFile file(Open(path, GENERIC_READ, OPEN_EXISTING));
  return file.valid() ? kSuccess : LastError();
}

long ReadFileAt(const std::string& path, uint64_t offset, size_t size, std::string* out) {
  ScopedFile file(Open(path, GENERIC_READ, OPEN_EXISTING));
  if (!file.valid()) return LastError();
  return ReadAt(file.get(), offset, size, out);
}

long ReadWholeFile(const std::string& path, std::string* out) {
  ScopedFile file(Open(path, GENERIC_READ, OPEN_EXISTING));
  uint64_t size = 0;
  if (!file.valid()) return LastError();
  if (long error = SizeOf(file.get(), &size)) return error;
  return ReadAt(file.get(), 0, static_cast<size_t>(size), out);
}

long WriteFileAt(const std::string& path, uint64_t offset, std::string_view data) {
  ScopedFile file(Open(path, GENERIC_WRITE, OPEN_ALWAYS));
  if (!file.valid()) return LastError();
  return data.empty() ? kSuccess : WriteAt(file.get(), offset, data);
}

long WriteWholeFile(const std::string& path, std::string_view data) {
  ScopedFile file(Open(path, GENERIC_WRITE, CREATE_ALWAYS));
  if (!file.valid()) return LastError();
  return data.empty() ? kSuccess : WriteAt(file.get(), 0, data);
}

long FileLength(const std::string& path, uint64_t* length) {
  ScopedFile file(Open(path, FILE_READ_ATTRIBUTES, OPEN_EXISTING));
  if (!file.valid()) return LastError();
  return SizeOf(file.get(), length);
}

long CopyFile(const std::string& source, const std::string& dest) {
  return CopyFileA(source.c_str(), dest.c_str(), FALSE) ? kSuccess : LastError();
}

long DeleteFile(const std::string& path) {
  return DeleteFileA(path.c_str()) ? kSuccess : LastError();
}

long MoveFile(const std::string& source, const std::string& dest) {
  return MoveFileA(source.c_str(), dest.c_str()) ? kSuccess : LastError();
}

long ReplaceFile(const std::string& source, const std::string& dest) {
  return MoveFileExA(source.c_str(), dest.c_str(), MOVEFILE_REPLACE_EXISTING) ? kSuccess
                                                                              : LastError();
}

long GetFileAttributes(const std::string& path, uint32_t* attributes) {
  DWORD result = GetFileAttributesA(path.c_str());
  if (result == INVALID_FILE_ATTRIBUTES) return LastError();
  *attributes = result;
  return kSuccess;
}

long SetFileAttributes(const std::string& path, uint32_t attributes) {
  return SetFileAttributesA(path.c_str(), attributes) ? kSuccess : LastError();
}

long CreateDirectory(const std::string& path) {
  return CreateDirectoryA(path.c_str(), nullptr) ? kSuccess : LastError();
}

long RemoveDirectory(const std::string& path) {
  return RemoveDirectoryA(path.c_str()) ? kSuccess : LastError();
}

long FindFiles(const std::string& pattern, std::vector<FindEntry>* entries) {
  entries->clear();
  WIN32_FIND_DATAA found = {};
  ScopedFind search(FindFirstFileA(pattern.c_str(), &found));
  if (!search.valid()) return LastError();
  do {
    entries->push_back(
        FindEntry{found.cFileName, found.dwFileAttributes,
                  (static_cast<uint64_t>(found.nFileSizeHigh) << 32) | found.nFileSizeLow});
  } while (FindNextFileA(search.get(), &found));
  return GetLastError() == ERROR_NO_MORE_FILES ? kSuccess : LastError();
}

bool WriteProfileString(const std::string& section, const std::string& key,
                        const std::string& value, const std::string& file) {
  return WritePrivateProfileStringA(section.c_str(), key.c_str(), value.c_str(), file.c_str()) !=
         FALSE;
}

std::string GetProfileString(const std::string& section, const std::string& key,
                             const std::string& default_value, const std::string& file) {
  // A result that fills the buffer up to its last character may have been
  // cut short: try again with a larger one.
  for (DWORD size = 1024;; size *= 4) {
    std::vector<char> buffer(size);
    DWORD length = GetPrivateProfileStringA(section.c_str(), key.c_str(), default_value.c_str(),
                                            buffer.data(), size, file.c_str());
    if (length < size - 1 || size >= (1u << 24)) return std::string(buffer.data(), length);
  }
}

}  // namespace platform
