// Overlapped reads and writes on a message-mode pipe with a time limit, for
// the service's pipe on both of its ends.
#pragma once

#include <string>
#include <string_view>

#include "platform/win32/win32_api.h"

namespace platform::win32 {

// A point in time, in GetTickCount milliseconds, that survives the counter's
// wrap-around.
class Deadline {
 public:
  explicit Deadline(DWORD from_now_ms) : start_(GetTickCount()), limit_(from_now_ms) {}
  // Milliseconds left, 0 once it has passed.
  DWORD Remaining() const {
    DWORD elapsed = GetTickCount() - start_;
    return elapsed >= limit_ ? 0 : limit_ - elapsed;
  }

 private:
  DWORD start_;
  DWORD limit_;
};

// Reads one whole message of at most `max_bytes` from `pipe` (opened for
// overlapped I/O) before `deadline`, or until `stop` (may be null) is
// signalled. ERROR_SUCCESS; ERROR_MORE_DATA when the message is longer
// than `max_bytes`; ERROR_TIMEOUT; ERROR_OPERATION_ABORTED on `stop`; or
// the read's own failure (ERROR_BROKEN_PIPE when the other end closed).
DWORD ReadMessage(HANDLE pipe, size_t max_bytes, const Deadline& deadline, HANDLE stop,
                  std::string* message);
// Writes `message` as one message, with the same limits and results.
DWORD WriteMessage(HANDLE pipe, std::string_view message, const Deadline& deadline, HANDLE stop);

}  // namespace platform::win32
