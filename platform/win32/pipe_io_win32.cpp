// Every transfer is overlapped so that it can be given up: a peer that
// stops reading or writing must never hold the other end.
#include "platform/win32/pipe_io_win32.h"

#include "platform/win32/scoped_handles.h"

namespace platform::win32 {

namespace {

constexpr size_t kReadChunk = 4096;

// CancelIo is looked up at run time: Windows 95 lacks it, and the programs
// that link this must still start there (it has no service to talk to).
void CancelPipeIo(HANDLE pipe) {
  using CancelIoFunction = BOOL(WINAPI*)(HANDLE);
  static const auto cancel_io = reinterpret_cast<CancelIoFunction>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "CancelIo")));
  if (cancel_io != nullptr) cancel_io(pipe);
}

// Waits for the started transfer; on time-out or `stop` cancels it and
// still waits for it to end, since `overlapped` and the buffer live on the
// caller's stack.
DWORD FinishTransfer(HANDLE pipe, OVERLAPPED* overlapped, const Deadline& deadline, HANDLE stop,
                     DWORD* done) {
  HANDLE events[2] = {overlapped->hEvent, stop};
  DWORD count = stop != nullptr ? 2 : 1;
  DWORD waited = WaitForMultipleObjects(count, events, FALSE, deadline.Remaining());
  DWORD abandoned = ERROR_SUCCESS;
  if (waited != WAIT_OBJECT_0) {
    CancelPipeIo(pipe);
    abandoned = waited == WAIT_OBJECT_0 + 1 ? ERROR_OPERATION_ABORTED : ERROR_TIMEOUT;
  }
  BOOL ok = GetOverlappedResult(pipe, overlapped, done, TRUE);
  DWORD result = ok ? ERROR_SUCCESS : GetLastError();
  // A transfer that completed just as it was given up still counts.
  if (abandoned != ERROR_SUCCESS && result == ERROR_OPERATION_ABORTED) return abandoned;
  return result;
}

// One ReadFile or WriteFile, overlapped, until done or given up.
template <typename Start>
DWORD Transfer(HANDLE pipe, const Deadline& deadline, HANDLE stop, DWORD* done, Start start) {
  ScopedHandle event(CreateEventA(nullptr, TRUE, FALSE, nullptr));
  if (!event.valid()) return GetLastError();
  OVERLAPPED overlapped = {};
  overlapped.hEvent = event.get();
  *done = 0;
  if (!start(&overlapped)) {
    DWORD error = GetLastError();
    if (error == ERROR_IO_PENDING) return FinishTransfer(pipe, &overlapped, deadline, stop, done);
    // A read of a longer message ends at once with this, and the count of
    // bytes it did read is only in `overlapped`.
    if (error != ERROR_MORE_DATA) return error;
  }
  return GetOverlappedResult(pipe, &overlapped, done, FALSE) ? ERROR_SUCCESS : GetLastError();
}
}  // namespace

DWORD ReadMessage(HANDLE pipe, size_t max_bytes, const Deadline& deadline, HANDLE stop,
                  std::string* message) {
  message->clear();
  char chunk[kReadChunk];
  for (;;) {
    DWORD got = 0;
    DWORD result = Transfer(pipe, deadline, stop, &got, [&](OVERLAPPED* overlapped) {
      return ReadFile(pipe, chunk, sizeof chunk, nullptr, overlapped) != FALSE;
    });
    if (result != ERROR_SUCCESS && result != ERROR_MORE_DATA) return result;
    // No progress on a longer message would loop for ever.
    if (result == ERROR_MORE_DATA && got == 0) return ERROR_MORE_DATA;
    message->append(chunk, got);
    if (message->size() > max_bytes) return ERROR_MORE_DATA;
    if (result == ERROR_SUCCESS) return ERROR_SUCCESS;
  }
}

DWORD WriteMessage(HANDLE pipe, std::string_view message, const Deadline& deadline, HANDLE stop) {
  DWORD written = 0;
  DWORD result = Transfer(pipe, deadline, stop, &written, [&](OVERLAPPED* overlapped) {
    return WriteFile(pipe, message.data(), static_cast<DWORD>(message.size()), nullptr,
                     overlapped) != FALSE;
  });
  if (result == ERROR_SUCCESS && written != message.size()) return ERROR_WRITE_FAULT;
  return result;
}

}  // namespace platform::win32
