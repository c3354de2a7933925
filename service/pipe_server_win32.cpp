// The service's pipe on Win32: a few listening instances, each handed to a
// thread of its own as soon as a client connects, so a slow client only
// ever holds its own thread. Every read and write is bounded in time.
#include <condition_variable>
#include <list>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/win32/pipe_io_win32.h"
#include "platform/win32/scoped_handles.h"
#include "platform/win32/win32_api.h"
#include "service/pipe_server.h"
// After win32_api.h, which takes back the ANSI/Unicode renames it brings.
#include <sddl.h>

namespace nox::service {

namespace {

using platform::win32::Deadline;
using platform::win32::ReadMessage;
using platform::win32::ScopedFile;
using platform::win32::ScopedHandle;
using platform::win32::ScopedLocal;
using platform::win32::WriteMessage;

// SYSTEM and Administrators: everything. Authenticated Users: read and
// write the data, read the attributes and descriptor, set message mode
// (0x12018B) - not FILE_CREATE_PIPE_INSTANCE, so no client can put up an
// instance of its own under the service's name.
constexpr const char* kPipeSddl = "D:P(A;;FA;;;SY)(A;;FA;;;BA)(A;;0x12018b;;;AU)";
// Clients served at once; more wait for a free instance (WaitNamedPipe).
constexpr size_t kMaxClients = 256;
// Instances waiting for a client at any time: with one, a crowd of clients
// all wake for each new instance and all but one find it taken again.
constexpr size_t kListeningInstances = 4;
constexpr DWORD kAnswerBufferBytes = 64 * 1024;
constexpr DWORD kRetryPauseMs = 100;

// Reverts the thread to the service's own token when it goes out of scope.
class ClientImpersonation {
 public:
  explicit ClientImpersonation(HANDLE pipe) : active_(ImpersonateNamedPipeClient(pipe) != FALSE) {}
  ~ClientImpersonation() {
    if (active_) RevertToSelf();
  }
  ClientImpersonation(const ClientImpersonation&) = delete;
  ClientImpersonation& operator=(const ClientImpersonation&) = delete;
  bool active() const { return active_; }

 private:
  bool active_;
};

std::vector<BYTE> TokenInformation(HANDLE token, TOKEN_INFORMATION_CLASS kind) {
  DWORD needed = 0;
  GetTokenInformation(token, kind, nullptr, 0, &needed);
  std::vector<BYTE> information(needed);
  if (needed == 0 || !GetTokenInformation(token, kind, information.data(), needed, &needed)) {
    information.clear();
  }
  return information;
}

// The client's token, opened with the service's rights (the client's own
// may not be allowed to open it).
ScopedHandle OpenClientToken(HANDLE pipe) {
  ClientImpersonation impersonation(pipe);
  ScopedHandle token;
  if (impersonation.active()) {
    OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, token.receive());
  }
  return token;
}

bool ReadAccount(HANDLE token, Caller* caller) {
  std::vector<BYTE> user = TokenInformation(token, TokenUser);
  if (user.empty()) return false;
  PSID sid = reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid;
  ScopedLocal<char*> sid_text;
  if (!ConvertSidToStringSidA(sid, sid_text.receive())) return false;
  char name[256] = {};
  char domain[256] = {};
  DWORD name_size = sizeof name;
  DWORD domain_size = sizeof domain;
  SID_NAME_USE use = SidTypeUnknown;
  if (!LookupAccountSidA(nullptr, sid, name, &name_size, domain, &domain_size, &use)) return false;
  caller->sid = sid_text.get();
  caller->account_name = name;
  return true;
}

bool ReadSession(HANDLE token, Caller* caller) {
  DWORD session = 0;
  DWORD size = 0;
  if (!GetTokenInformation(token, TokenSessionId, &session, sizeof session, &size)) return false;
  caller->session_id = session;
  return true;
}

// Who is on the other end, from its token only. Needs a message read first.
bool IdentifyClient(HANDLE pipe, Caller* caller) {
  const ScopedHandle token = OpenClientToken(pipe);
  return token.valid() && ReadAccount(token.get(), caller) && ReadSession(token.get(), caller);
}

}  // namespace

struct PipeServer::State {
  struct Worker {
    std::thread thread;
    bool done = false;
  };

  explicit State(RequestHandler request_handler) : handler(std::move(request_handler)) {}

  bool Start();
  void Stop();
  ScopedFile CreateInstance(bool first) const;
  bool AwaitClient(HANDLE pipe) const;
  void Listen(ScopedFile listening);
  void AcceptClients(ScopedFile listening);
  bool WaitForFreeSlot();
  void HandOver(ScopedFile pipe);
  void ReapFinishedWorkers();
  void Serve(ScopedFile pipe);
  void AnswerClient(HANDLE pipe, const std::string& request);

  RequestHandler handler;
  ScopedLocal<PSECURITY_DESCRIPTOR> descriptor;
  ScopedHandle stop_event{CreateEventA(nullptr, TRUE, FALSE, nullptr)};
  std::vector<std::thread> acceptors;
  std::mutex mutex;
  std::condition_variable worker_done;
  std::list<Worker> workers;  // guarded by mutex
  size_t busy = 0;            // guarded by mutex
};

ScopedFile PipeServer::State::CreateInstance(bool first) const {
  SECURITY_ATTRIBUTES attributes = {sizeof attributes, descriptor.get(), FALSE};
  DWORD open_mode = PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED;
  if (first) open_mode |= FILE_FLAG_FIRST_PIPE_INSTANCE;
  return ScopedFile(CreateNamedPipeA(
      kPipeName, open_mode,
      PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS,
      PIPE_UNLIMITED_INSTANCES, kAnswerBufferBytes, static_cast<DWORD>(kMaxRequestBytes), 0,
      &attributes));
}

// Waits for a client on `pipe`; false on Stop or when the connection failed.
bool PipeServer::State::AwaitClient(HANDLE pipe) const {
  ScopedHandle event(CreateEventA(nullptr, TRUE, FALSE, nullptr));
  if (!event.valid()) return false;
  OVERLAPPED overlapped = {};
  overlapped.hEvent = event.get();
  if (ConnectNamedPipe(pipe, &overlapped)) return true;
  DWORD error = GetLastError();
  if (error == ERROR_PIPE_CONNECTED) return true;
  if (error != ERROR_IO_PENDING) return false;
  HANDLE events[2] = {event.get(), stop_event.get()};
  DWORD waited = WaitForMultipleObjects(2, events, FALSE, INFINITE);
  if (waited != WAIT_OBJECT_0) CancelIo(pipe);
  DWORD unused = 0;
  return GetOverlappedResult(pipe, &overlapped, &unused, TRUE) && waited == WAIT_OBJECT_0;
}

bool PipeServer::State::WaitForFreeSlot() {
  std::unique_lock lock(mutex);
  while (busy >= kMaxClients) {
    if (WaitForSingleObject(stop_event.get(), 0) == WAIT_OBJECT_0) return false;
    worker_done.wait_for(lock, std::chrono::milliseconds(kRetryPauseMs));
  }
  return true;
}

void PipeServer::State::ReapFinishedWorkers() {
  std::list<Worker> finished;
  {
    std::lock_guard lock(mutex);
    for (auto it = workers.begin(); it != workers.end();) {
      auto next = std::next(it);
      if (it->done) finished.splice(finished.end(), workers, it);
      it = next;
    }
  }
  for (Worker& worker : finished) worker.thread.join();
}

void PipeServer::State::HandOver(ScopedFile pipe) {
  ReapFinishedWorkers();
  std::lock_guard lock(mutex);
  Worker& worker = workers.emplace_back();
  ++busy;
  worker.thread = std::thread([this, pipe = std::move(pipe), &worker]() mutable {
    Serve(std::move(pipe));
    std::lock_guard done_lock(mutex);
    worker.done = true;
    --busy;
    worker_done.notify_all();
  });
}

// Accepts clients on a thread of its own, starting with `listening`.
void PipeServer::State::Listen(ScopedFile listening) {
  acceptors.emplace_back(
      [this, listening = std::move(listening)]() mutable { AcceptClients(std::move(listening)); });
}

void PipeServer::State::AcceptClients(ScopedFile listening) {
  for (;;) {
    if (AwaitClient(listening.get())) {
      HandOver(std::move(listening));
    } else {
      DisconnectNamedPipe(listening.get());
      listening.Reset();
    }
    if (WaitForSingleObject(stop_event.get(), 0) == WAIT_OBJECT_0 || !WaitForFreeSlot()) return;
    listening = CreateInstance(false);
    while (!listening.valid()) {
      if (WaitForSingleObject(stop_event.get(), kRetryPauseMs) == WAIT_OBJECT_0) return;
      listening = CreateInstance(false);
    }
  }
}

void PipeServer::State::Serve(ScopedFile pipe) {
  std::string request;
  // One message, whole, within the time limit; a longer one is refused by
  // dropping the client unanswered.
  if (ReadMessage(pipe.get(), kMaxRequestBytes, Deadline(kClientTimeoutMs), stop_event.get(),
                  &request) == ERROR_SUCCESS) {
    AnswerClient(pipe.get(), request);
  }
  DisconnectNamedPipe(pipe.get());
}

void PipeServer::State::AnswerClient(HANDLE pipe, const std::string& request) {
  Caller caller;
  if (!IdentifyClient(pipe, &caller)) return;
  std::string answer;
  try {
    answer = handler(caller, request);
  } catch (...) {
    return;  // the client sees the pipe close without an answer
  }
  Deadline deadline(kClientTimeoutMs);
  if (WriteMessage(pipe, answer, deadline, stop_event.get()) != ERROR_SUCCESS) return;
  // Disconnecting discards an answer not read yet, so wait (bounded) until
  // the client has closed its end after reading it.
  std::string nothing;
  ReadMessage(pipe, 0, deadline, stop_event.get(), &nothing);
}

bool PipeServer::State::Start() {
  if (!stop_event.valid() || !ConvertStringSecurityDescriptorToSecurityDescriptorA(
                                 kPipeSddl, SDDL_REVISION_1, descriptor.receive(), nullptr)) {
    return false;
  }
  ScopedFile first = CreateInstance(true);
  if (!first.valid()) return false;
  Listen(std::move(first));
  for (size_t more = 1; more < kListeningInstances; ++more) {
    ScopedFile listening = CreateInstance(false);
    if (!listening.valid()) break;
    Listen(std::move(listening));
  }
  return true;
}

void PipeServer::State::Stop() {
  SetEvent(stop_event.get());
  for (std::thread& acceptor : acceptors) acceptor.join();
  acceptors.clear();
  std::list<Worker> remaining;
  {
    std::lock_guard lock(mutex);
    remaining.swap(workers);
  }
  for (Worker& worker : remaining) worker.thread.join();
}

PipeServer::PipeServer(RequestHandler handler) : state_(new State(std::move(handler))) {}

PipeServer::~PipeServer() {
  Stop();
  delete state_;
}

bool PipeServer::Start() { return state_->Start(); }

void PipeServer::Stop() { state_->Stop(); }

}  // namespace nox::service
