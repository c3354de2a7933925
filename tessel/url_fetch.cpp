// GetURL. Each fetch has its own state, shared by the caller and the two
// threads; a fetch that timed out and still runs in the background therefore
// cannot touch the next one. Fetches are serialised all the same.
#include "tessel/url_fetch.h"

#include <wininet.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <mutex>
#include <utility>

#include "platform/win32/scoped_handles.h"
#include "tessel/line_join.h"
#include "tessel/tessel.h"

namespace tessel {

using platform::win32::ScopedHandle;
using platform::win32::ScopedInternet;
using platform::win32::ScopedLibrary;

namespace {

constexpr DWORD kReadBufferSize = 4096;
constexpr DWORD_PTR kContext = 1;
constexpr char kCaptionPrefix[] = "Retrieving ";
constexpr size_t kMaxMessageLength = 255;

struct Fetch {
  Fetch(std::string fetched_url, UrlSource url_source, const FetchTiming& fetch_timing)
      : url(std::move(fetched_url)),
        source(std::move(url_source)),
        timing(fetch_timing),
        opened(CreateEventA(nullptr, FALSE, FALSE, nullptr)),
        finished(CreateEventA(nullptr, FALSE, FALSE, nullptr)) {}

  const std::string url;
  UrlSource source;
  const FetchTiming timing;
  std::string text;           // the lines, joined without separator
  std::string error_message;  // set with read_failed
  bool read_failed = false;
  ScopedHandle opened;
  ScopedHandle finished;
  std::atomic<bool> opened_or_timed_out{false};
  std::atomic<bool> timed_out{false};
};

// The message of a WinInet or system error code, at most 255 characters.
std::string ErrorMessage(DWORD code) {
  char message[kMaxMessageLength + 1] = {};
  const DWORD length = FormatMessageA(
      FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      GetModuleHandleA("wininet.dll"), code, 0, message, sizeof message, nullptr);
  std::string text(message, length);
  while (!text.empty() && (text.back() == '\r' || text.back() == '\n')) text.pop_back();
  if (text.empty()) text = "Internet error " + std::to_string(code);
  return text.substr(0, kMaxMessageLength);
}

// Reads the opened source to its end; false (with the error's message) when
// a read fails.
bool ReadAll(Fetch* fetch) {
  char buffer[kReadBufferSize];
  LineJoiner lines;
  for (;;) {
    uint32_t read = 0;
    if (!fetch->source.read(buffer, sizeof buffer, &read, &fetch->error_message)) return false;
    if (read == 0) break;
    lines.Append(buffer, read);
  }
  fetch->text = lines.text();
  return true;
}

DWORD RunFetch(Fetch* fetch) {
  // A URL that does not open leaves the watchdog to end the wait.
  if (!fetch->source.open(fetch->url)) return static_cast<DWORD>(-1);
  if (!fetch->opened_or_timed_out.exchange(true)) SetEvent(fetch->opened.get());
  // A read failure must end the caller's wait too: it is reported as the
  // fetch's error instead of leaving the finished event unsignalled.
  fetch->read_failed = !ReadAll(fetch);
  fetch->source = {};
  SetEvent(fetch->finished.get());
  return fetch->read_failed ? static_cast<DWORD>(-1) : 0;
}

DWORD RunWatchdog(Fetch* fetch) {
  const ULONGLONG start = GetTickCount64();
  while (!fetch->opened_or_timed_out.load()) {
    if ((GetTickCount64() - start) / 1000 > fetch->timing.open_timeout_seconds) {
      if (!fetch->opened_or_timed_out.exchange(true)) {
        fetch->timed_out = true;
        SetEvent(fetch->opened.get());
      }
      return 0;
    }
    Sleep(fetch->timing.look_interval_ms);
  }
  return 0;
}

// A thread's share of the fetch. The thread also holds a reference on the
// module, so a caller that unloads the library while a timed-out fetch still
// runs does not pull the code from under the thread.
struct ThreadStart {
  std::shared_ptr<Fetch> fetch;
  DWORD (*body)(Fetch*);
  HMODULE module;
};

DWORD WINAPI ThreadMain(void* parameter) {
  std::unique_ptr<ThreadStart> start(static_cast<ThreadStart*>(parameter));
  const DWORD code = start->body(start->fetch.get());
  const HMODULE module = start->module;
  start.reset();
  FreeLibraryAndExitThread(module, code);
}

// Starts one of the fetch's threads; false (error code in GetLastError)
// when it could not be started.
bool StartThread(const std::shared_ptr<Fetch>& fetch, DWORD (*body)(Fetch*)) {
  ScopedLibrary module;
  if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                          reinterpret_cast<const char*>(&ThreadMain), module.receive())) {
    return false;
  }
  auto start = std::make_unique<ThreadStart>(ThreadStart{fetch, body, module.get()});
  const ScopedHandle thread(CreateThread(nullptr, 0, ThreadMain, start.get(), 0, nullptr));
  if (!thread.valid()) {
    const DWORD error = GetLastError();
    start.reset();
    module.Reset();
    SetLastError(error);
    return false;
  }
  // The thread owns both now.
  start.release();
  module.Release();
  return true;
}

// Writes at most `max_chars` characters of `text` and a terminator.
int32_t Deliver(const std::string& text, char* out, int32_t max_chars) {
  const size_t length = std::min(text.size(), static_cast<size_t>(std::max(max_chars, 0)));
  if (out != nullptr) {
    std::memcpy(out, text.data(), length);
    out[length] = '\0';
  }
  return static_cast<int32_t>(length);
}

int32_t DeliverError(const std::string& message, char* out, int32_t max_chars) {
  Deliver(message, out, max_chars);
  return -1;
}

std::mutex fetch_in_progress;

}  // namespace

int32_t FetchUrl(const char* url, char* out, int32_t max_chars, HWND window, UrlSource source,
                 const FetchTiming& timing) {
  std::lock_guard<std::mutex> one_at_a_time(fetch_in_progress);
  auto fetch = std::make_shared<Fetch>(url == nullptr ? "" : url, std::move(source), timing);
  if (!fetch->opened.valid() || !fetch->finished.valid() || !StartThread(fetch, RunFetch) ||
      !StartThread(fetch, RunWatchdog)) {
    return DeliverError(ErrorMessage(GetLastError()), out, max_chars);
  }
  WaitForSingleObject(fetch->opened.get(), INFINITE);
  if (fetch->timed_out) return -2;
  SetWindowTextA(window, (kCaptionPrefix + fetch->url).c_str());
  WaitForSingleObject(fetch->finished.get(), INFINITE);
  if (fetch->read_failed) return DeliverError(fetch->error_message, out, max_chars);
  return Deliver(fetch->text, out, max_chars);
}

UrlSource InternetSource() {
  struct Handles {
    ScopedInternet session;
    ScopedInternet resource;
  };
  auto handles = std::make_shared<Handles>();
  UrlSource source;
  source.open = [handles](const std::string& url) {
    *handles->session.receive() =
        InternetOpenA(nullptr, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
    if (!handles->session.valid()) return false;
    *handles->resource.receive() = InternetOpenUrlA(handles->session.get(), url.c_str(), nullptr, 0,
                                                    INTERNET_FLAG_TRANSFER_ASCII, kContext);
    return handles->resource.valid();
  };
  source.read = [handles](char* buffer, uint32_t size, uint32_t* read, std::string* error_message) {
    DWORD count = 0;
    if (!InternetReadFile(handles->resource.get(), buffer, size, &count)) {
      *error_message = ErrorMessage(GetLastError());
      return false;
    }
    *read = count;
    return true;
  };
  return source;
}

}  // namespace tessel

extern "C" int32_t __stdcall GetURL(const char* url, char* out, int32_t max_chars, HWND window) {
  return tessel::FetchUrl(url, out, max_chars, window, tessel::InternetSource(),
                          tessel::FetchTiming{});
}
