#include "tessel/test_library.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "platform/win32/scoped_handles.h"

namespace tessel::testing {

using platform::win32::ScopedFind;
using platform::win32::ScopedHandle;

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

std::string ProgramFolder() {
  char path[MAX_PATH];
  const DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
  std::string folder(path, length);
  return folder.substr(0, folder.find_last_of('\\'));
}

std::string ProbeCommand() {
  std::string command = "\"";
  command += ProgramFolder();
  command += "\\tessel_probe.exe\"";
  return command;
}

int RunCapturingOutput(const std::string& command_line, std::string* output) {
  SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, nullptr, TRUE};
  ScopedHandle read_end;
  ScopedHandle write_end;
  if (!CreatePipe(read_end.receive(), write_end.receive(), &inheritable, 0)) return -1;
  SetHandleInformation(read_end.get(), HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = write_end.get();
  startup.hStdError = write_end.get();
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  PROCESS_INFORMATION process = {};
  std::string writable = command_line;
  const BOOL started = CreateProcessA(nullptr, writable.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                      nullptr, &startup, &process);
  // Only the child may hold the write end, or the reads below never end.
  write_end.Reset();
  if (!started) return -1;
  const ScopedHandle thread(process.hThread);
  const ScopedHandle child(process.hProcess);
  output->clear();
  char chunk[512];
  DWORD read = 0;
  while (ReadFile(read_end.get(), chunk, sizeof chunk, &read, nullptr) && read > 0) {
    output->append(chunk, read);
  }
  read_end.Reset();
  DWORD exit_code = static_cast<DWORD>(-1);
  if (WaitForSingleObject(child.get(), 30000) == WAIT_OBJECT_0) {
    GetExitCodeProcess(child.get(), &exit_code);
  }
  return static_cast<int>(exit_code);
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
  const ScopedFind find(FindFirstFileA((path_ + "\\*").c_str(), &entry));
  if (find.valid()) {
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
    } while (FindNextFileA(find.get(), &entry));
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
