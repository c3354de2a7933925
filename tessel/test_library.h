// Test-only: Tessel.dll loaded by name from the test program's folder, and
// its exports looked up by name, as a calling program binds them.
#pragma once

#include <shlwapi.h>
#include <windows.h>

#include <cstdint>
#include <string>

namespace tessel::testing {

using StringExport = int32_t(__stdcall*)(char*);
using PathExport = int32_t(__stdcall*)(const char*);
using RunExport = int32_t(__stdcall*)(const char*, int32_t);
using NoArgumentExport = int32_t(__stdcall*)();
using FileInfoExport = int32_t(__stdcall*)(const char*, int32_t, char*);
using UrlExport = int32_t(__stdcall*)(const char*, char*, int32_t, HWND);
using VersionExport = HRESULT(__stdcall*)(DLLVERSIONINFO*);

// The library, loaded at the first call and kept for the test program's life.
HMODULE Library();

// The export `name`; a test failure (and nullptr) when it is missing.
FARPROC Export(const char* name);

template <typename Function>
Function ExportAs(const char* name) {
  return reinterpret_cast<Function>(reinterpret_cast<void*>(Export(name)));
}

// A fresh empty folder under the user's temporary folder, removed with its
// files when the object goes.
class ScratchFolder {
 public:
  ScratchFolder();
  ~ScratchFolder();
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;
  // The Windows path of `name` inside the folder.
  std::string Path(const std::string& name) const { return path_ + "\\" + name; }

 private:
  std::string path_;
};

// The folder of the test program (and of Tessel.dll and tessel_probe.exe).
std::string ProgramFolder();
// The quoted path of tessel_probe.exe, ready to start a command line.
std::string ProbeCommand();

// Runs a command line to its end with its standard output captured; returns
// its exit code, or -1 when it could not be started or did not end in time.
int RunCapturingOutput(const std::string& command_line, std::string* output);

// Whole-file helpers; ReadFileBytes gives "" for a missing file (see FileExists).
std::string ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, const std::string& bytes);
bool FileExists(const std::string& path);

}  // namespace tessel::testing
