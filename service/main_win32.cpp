// NoxService.exe: the login's protected work as a LocalSystem service.
//
//   NoxService.exe /install     registers the service (automatic start)
//   NoxService.exe /uninstall   stops it and removes it
//   NoxService.exe              run by the service control manager
//
// Exit codes: 0 done, 1 failed (the system's message on stderr), 2 wrong
// command line.
#include <cstdio>
#include <mutex>
#include <string>
#include <string_view>

#include "platform/win32/scoped_handles.h"
#include "platform/win32/win32_api.h"
#include "service/pipe_server.h"
#include "service/session_service.h"

namespace {

using platform::win32::ScopedHandle;
using platform::win32::ScopedServiceHandle;

constexpr const char* kServiceName = "NoxService";
constexpr const char* kDisplayName = "Nox session service";
constexpr int kDone = 0;
constexpr int kFailed = 1;
constexpr int kUsage = 2;
constexpr DWORD kTickMs = 1000;
constexpr DWORD kStopWaitMs = 10000;
constexpr DWORD kStopPollMs = 250;
constexpr DWORD kStartWaitHintMs = 5000;

std::string SystemMessage(DWORD error) {
  platform::win32::ScopedLocal<char*> text;
  DWORD length = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, error, 0, reinterpret_cast<char*>(text.receive()), 0, nullptr);
  std::string message = length > 0 ? std::string(text.get(), length) : "";
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r')) message.pop_back();
  return message.empty() ? "error " + std::to_string(error) : message;
}

int Fail(const char* what, DWORD error) {
  std::fprintf(stderr, "NoxService: %s: %s\n", what, SystemMessage(error).c_str());
  return kFailed;
}

std::string QuotedOwnPath() {
  char path[MAX_PATH + 1] = {};
  DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
  return "\"" + std::string(path, length) + "\"";
}

int Install() {
  ScopedServiceHandle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CREATE_SERVICE));
  if (!manager.valid()) return Fail("cannot open the service control manager", GetLastError());
  std::string binary = QuotedOwnPath();
  ScopedServiceHandle created(CreateServiceA(
      manager.get(), kServiceName, kDisplayName, SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS,
      SERVICE_AUTO_START, SERVICE_ERROR_NORMAL, binary.c_str(), nullptr, nullptr, nullptr,
      nullptr /* LocalSystem */, nullptr));
  if (created.valid()) return kDone;
  if (GetLastError() != ERROR_SERVICE_EXISTS) return Fail("cannot install", GetLastError());
  // Installed before (perhaps from another folder): point it here.
  ScopedServiceHandle existing(OpenServiceA(manager.get(), kServiceName, SERVICE_CHANGE_CONFIG));
  if (!existing.valid() ||
      !ChangeServiceConfigA(existing.get(), SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START,
                            SERVICE_ERROR_NORMAL, binary.c_str(), nullptr, nullptr, nullptr,
                            "LocalSystem", nullptr, kDisplayName)) {
    return Fail("cannot update the installed service", GetLastError());
  }
  return kDone;
}

// Asks it to stop and waits until it has; false when it did not in time.
bool StopService(SC_HANDLE service) {
  SERVICE_STATUS status = {};
  if (!QueryServiceStatus(service, &status)) return false;
  if (status.dwCurrentState == SERVICE_STOPPED) return true;
  ControlService(service, SERVICE_CONTROL_STOP, &status);
  for (DWORD waited = 0; waited < kStopWaitMs; waited += kStopPollMs) {
    if (!QueryServiceStatus(service, &status)) return false;
    if (status.dwCurrentState == SERVICE_STOPPED) return true;
    Sleep(kStopPollMs);
  }
  SetLastError(ERROR_SERVICE_REQUEST_TIMEOUT);
  return false;
}

int Uninstall() {
  ScopedServiceHandle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
  if (!manager.valid()) return Fail("cannot open the service control manager", GetLastError());
  ScopedServiceHandle service(
      OpenServiceA(manager.get(), kServiceName, SERVICE_STOP | SERVICE_QUERY_STATUS | DELETE));
  if (!service.valid()) {
    // Nothing to remove is done too: uninstallers run this unconditionally.
    if (GetLastError() == ERROR_SERVICE_DOES_NOT_EXIST) return kDone;
    return Fail("cannot open the service", GetLastError());
  }
  if (!StopService(service.get())) return Fail("cannot stop the service", GetLastError());
  if (!DeleteService(service.get())) return Fail("cannot remove the service", GetLastError());
  return kDone;
}

// One run under the service control manager: the pipe served, the minutes
// ticked, until a stop or shutdown control arrives.
class ServiceRun {
 public:
  void Run();

 private:
  static DWORD WINAPI Control(DWORD control, DWORD event, void* data, void* context);
  void Report(DWORD state, DWORD exit_code = NO_ERROR, DWORD wait_hint_ms = 0);

  SERVICE_STATUS_HANDLE status_handle_ = nullptr;
  ScopedHandle stop_event_{CreateEventA(nullptr, TRUE, FALSE, nullptr)};
  std::mutex status_mutex_;
  SERVICE_STATUS status_ = {};
};

DWORD WINAPI ServiceRun::Control(DWORD control, DWORD, void*, void* context) {
  auto* run = static_cast<ServiceRun*>(context);
  switch (control) {
    case SERVICE_CONTROL_STOP:
    case SERVICE_CONTROL_SHUTDOWN:
      run->Report(SERVICE_STOP_PENDING, NO_ERROR, kStopWaitMs);
      SetEvent(run->stop_event_.get());
      return NO_ERROR;
    case SERVICE_CONTROL_INTERROGATE:
      return NO_ERROR;
    default:
      return ERROR_CALL_NOT_IMPLEMENTED;
  }
}

void ServiceRun::Report(DWORD state, DWORD exit_code, DWORD wait_hint_ms) {
  std::lock_guard lock(status_mutex_);
  status_.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
  status_.dwCurrentState = state;
  status_.dwControlsAccepted =
      state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN : 0;
  status_.dwWin32ExitCode = exit_code;
  status_.dwWaitHint = wait_hint_ms;
  bool pending = state == SERVICE_START_PENDING || state == SERVICE_STOP_PENDING;
  status_.dwCheckPoint = pending ? status_.dwCheckPoint + 1 : 0;
  SetServiceStatus(status_handle_, &status_);
}

void ServiceRun::Run() {
  status_handle_ = RegisterServiceCtrlHandlerExA(kServiceName, &ServiceRun::Control, this);
  if (status_handle_ == nullptr) return;
  if (!stop_event_.valid()) {
    Report(SERVICE_STOPPED, GetLastError());
    return;
  }
  Report(SERVICE_START_PENDING, NO_ERROR, kStartWaitHintMs);
  nox::service::SessionService service;
  service.Start();
  std::mutex service_mutex;
  nox::service::PipeServer server(
      [&](const nox::service::Caller& caller, std::string_view request) {
        std::lock_guard lock(service_mutex);
        return service.Answer(caller, request);
      });
  if (!server.Start()) {
    Report(SERVICE_STOPPED, GetLastError());
    return;
  }
  Report(SERVICE_RUNNING);
  while (WaitForSingleObject(stop_event_.get(), kTickMs) == WAIT_TIMEOUT) {
    std::lock_guard lock(service_mutex);
    service.Tick();
  }
  server.Stop();
  Report(SERVICE_STOPPED);
}

void WINAPI ServiceMain(DWORD, char**) {
  ServiceRun run;
  run.Run();
}

int RunUnderServiceManager() {
  char name[] = "NoxService";
  SERVICE_TABLE_ENTRYA table[] = {{name, &ServiceMain}, {nullptr, nullptr}};
  if (!StartServiceCtrlDispatcherA(table)) return Fail("not started as a service", GetLastError());
  return kDone;
}

bool IsSwitch(const char* argument, const char* name) { return lstrcmpiA(argument, name) == 0; }

}  // namespace

int main(int argc, char** argv) {
  if (argc == 1) return RunUnderServiceManager();
  if (argc == 2 && IsSwitch(argv[1], "/install")) return Install();
  if (argc == 2 && IsSwitch(argv[1], "/uninstall")) return Uninstall();
  std::fprintf(stderr, "usage: NoxService.exe [/install | /uninstall]\n");
  return kUsage;
}
