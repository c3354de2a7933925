#include "tessel/test_library.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

namespace tessel::testing {

HMODULE Library() {
  static const HMODULE library = LoadLibraryA("Tessel.dll");
  return library;
}

FARPROC Export(const char* name) {
  const HMODULE library = Library();
  EXPECT_NE(library, nullptr) << "Tessel.dll did not load, error " << GetLastError();
  if (library == nullptr) return nullptr;
  const FARPROC function = GetProcAddress(library, name);
  EXPECT_NE(function, nullptr) << "Tessel.dll has no export " << name;
  return function;
}

ScratchFolder::ScratchFolder() {
  char temp[MAX_PATH];
  GetTempPathA(sizeof temp, temp);
  static int counter = 0;
  path_ = std::string(temp) + "tessel-test-" + std::to_string(GetCurrentProcessId()) + "-" +
          std::to_string(++counter);
  CreateDirectoryA(path_.c_str(), nullptr);
}

ScratchFolder::~ScratchFolder() {
  WIN32_FIND_DATAA entry;
  const HANDLE find = FindFirstFileA((path_ + "\\*").c_str(), &entry);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      const std::string name = entry.cFileName;
      if (name == "." || name == "..") continue;
      const std::string path = Path(name);
      SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
      if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveDirectoryA(path.c_str());
      } else {
        DeleteFileA(path.c_str());
      }
    } while (FindNextFileA(find, &entry));
    FindClose(find);
  }
  RemoveDirectoryA(path_.c_str());
}

std::string ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFileBytes(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

bool FileExists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace tessel::testing
