// What the error trap's system report reads about the machine, and its
// printing and help calls, over kernel32, user32, gdi32, version.dll,
// winmm and winspool. A separate object file: only programs with the error
// dialog import these.
#include <cstring>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/win32/win32_api.h"

// After windows.h, which they build on.
#include <mmsystem.h>
#include <winspool.h>
#include <winver.h>

namespace platform {

namespace {

// A screen device context, released on every path.
class ScreenDc {
 public:
  ScreenDc() : dc_(GetDC(nullptr)) {}
  ~ScreenDc() {
    if (dc_ != nullptr) ReleaseDC(nullptr, dc_);
  }
  ScreenDc(const ScreenDc&) = delete;
  ScreenDc& operator=(const ScreenDc&) = delete;
  HDC get() const { return dc_; }

 private:
  HDC dc_;
};

// A printer device context, deleted on every path.
class PrinterDc {
 public:
  explicit PrinterDc(const std::string& printer)
      : dc_(CreateDCA("WINSPOOL", printer.c_str(), nullptr, nullptr)) {}
  ~PrinterDc() {
    if (dc_ != nullptr) DeleteDC(dc_);
  }
  PrinterDc(const PrinterDc&) = delete;
  PrinterDc& operator=(const PrinterDc&) = delete;
  HDC get() const { return dc_; }

 private:
  HDC dc_;
};

std::string DefaultPrinter() {
  char name[512] = {};
  DWORD size = sizeof name;
  return GetDefaultPrinterA(name, &size) ? std::string(name) : "";
}

// Lines top to bottom, a new page when the page is full. False when the
// printer refuses a step.
bool PrintOnDc(HDC dc, const std::string& title, const std::vector<std::string>& lines) {
  DOCINFOA document = {};
  document.cbSize = sizeof document;
  document.lpszDocName = title.c_str();
  if (StartDocA(dc, &document) <= 0) return false;
  TEXTMETRICA metrics = {};
  GetTextMetricsA(dc, &metrics);
  const int line_height = metrics.tmHeight + metrics.tmExternalLeading;
  const int page_height = GetDeviceCaps(dc, VERTRES);
  const int margin = GetDeviceCaps(dc, LOGPIXELSY) / 2;
  bool ok = StartPage(dc) > 0;
  int y = margin;
  for (size_t k = 0; ok && k < lines.size(); ++k) {
    if (y + line_height > page_height - margin && y > margin) {
      ok = EndPage(dc) > 0 && StartPage(dc) > 0;
      y = margin;
    }
    TextOutA(dc, margin, y, lines[k].c_str(), static_cast<int>(lines[k].size()));
    y += line_height;
  }
  if (ok) ok = EndPage(dc) > 0;
  if (!ok) {
    AbortDoc(dc);
    return false;
  }
  return EndDoc(dc) > 0;
}

}  // namespace

std::vector<std::string> LogicalDriveRoots() {
  char buffer[256] = {};
  const DWORD length = GetLogicalDriveStringsA(255, buffer);
  std::vector<std::string> roots;
  if (length == 0 || length > 255) return roots;
  for (const char* root = buffer; *root != '\0' && root < buffer + length;
       root += std::char_traits<char>::length(root) + 1) {
    roots.emplace_back(root);
  }
  return roots;
}

bool GetDiskFreeBytes(const std::string& root, uint64_t* bytes) {
  DWORD sectors_per_cluster = 0, bytes_per_sector = 0, free_clusters = 0, total_clusters = 0;
  if (!GetDiskFreeSpaceA(root.c_str(), &sectors_per_cluster, &bytes_per_sector, &free_clusters,
                         &total_clusters)) {
    return false;
  }
  *bytes = uint64_t{bytes_per_sector} * sectors_per_cluster * free_clusters;
  return true;
}

bool GetFileVersion(const std::string& path, uint16_t parts[4]) {
  DWORD handle = 0;
  const DWORD size = GetFileVersionInfoSizeA(path.c_str(), &handle);
  if (size == 0) return false;
  std::vector<BYTE> block(size);
  if (!GetFileVersionInfoA(path.c_str(), 0, size, block.data())) return false;
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  if (!VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&fixed), &length) ||
      fixed == nullptr || length < sizeof *fixed) {
    return false;
  }
  parts[0] = HIWORD(fixed->dwFileVersionMS);
  parts[1] = LOWORD(fixed->dwFileVersionMS);
  parts[2] = HIWORD(fixed->dwFileVersionLS);
  parts[3] = LOWORD(fixed->dwFileVersionLS);
  return true;
}

bool GetFileTime(const std::string& path, LocalTime* time) {
  WIN32_FILE_ATTRIBUTE_DATA data = {};
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return false;
  FILETIME local = {};
  SYSTEMTIME system = {};
  if (!FileTimeToLocalFileTime(&data.ftLastWriteTime, &local) ||
      !FileTimeToSystemTime(&local, &system)) {
    return false;
  }
  *time = LocalTime{system.wYear,   system.wMonth,  system.wDay,         system.wHour,
                    system.wMinute, system.wSecond, system.wMilliseconds};
  return true;
}

bool ModuleLoaded(const std::string& name) { return GetModuleHandleA(name.c_str()) != nullptr; }

MachineFacts GetMachineFacts() {
  MachineFacts facts;
  SYSTEM_INFO system = {};
  GetSystemInfo(&system);
  facts.processor_type = system.dwProcessorType;
  facts.processor_count = system.dwNumberOfProcessors;
  facts.mouse_present = GetSystemMetrics(SM_MOUSEPRESENT) != 0;
  facts.debug_system = GetSystemMetrics(SM_DEBUG) != 0;
  facts.screen_width = GetSystemMetrics(SM_CXSCREEN);
  facts.screen_height = GetSystemMetrics(SM_CYSCREEN);
  const ScreenDc screen;
  if (screen.get() != nullptr) {
    facts.colors = GetDeviceCaps(screen.get(), NUMCOLORS);
    facts.driver_version = GetDeviceCaps(screen.get(), DRIVERVERSION);
  }
  return facts;
}

WaveDevices GetWaveDevices() {
  WaveDevices devices;
  devices.count = waveOutGetNumDevs();
  WAVEOUTCAPSA caps = {};
  if (waveOutGetDevCapsA(0, &caps, sizeof caps) == MMSYSERR_NOERROR) {
    devices.first_known = true;
    devices.driver_version = caps.vDriverVersion;
    devices.product_name.assign(caps.szPname, strnlen(caps.szPname, sizeof caps.szPname));
  }
  return devices;
}

bool PrintLines(const std::string& title, const std::vector<std::string>& lines) {
  const std::string printer = DefaultPrinter();
  if (printer.empty()) return false;
  const PrinterDc dc(printer);
  return dc.get() != nullptr && PrintOnDc(dc.get(), title, lines);
}

void ShowHelpContext(WindowHandle owner, const std::string& file, uint32_t context) {
  WinHelpA(reinterpret_cast<HWND>(owner), file.c_str(), HELP_CONTEXT, context);
}

}  // namespace platform
