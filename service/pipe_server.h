// The service's pipe: "\\.\pipe\NoxService", local clients only, message
// mode, one request and one answer per connection.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "service/caller.h"

namespace nox::service {

inline constexpr const char* kPipeName = "\\\\.\\pipe\\NoxService";
inline constexpr size_t kMaxRequestBytes = 4096;
// A client that has not sent its whole request by then is dropped.
inline constexpr uint32_t kClientTimeoutMs = 2000;

// Answers one request of one caller. Called one at a time.
using RequestHandler = std::function<std::string(const Caller& caller, std::string_view request)>;

// Serves the pipe on threads of its own until Stop: each client is read with
// kClientTimeoutMs for its whole request (at most kMaxRequestBytes; more is
// refused), identified from its token, answered through `handler` and
// disconnected. A slow or silent client never delays another one.
class PipeServer {
 public:
  explicit PipeServer(RequestHandler handler);
  ~PipeServer();
  PipeServer(const PipeServer&) = delete;
  PipeServer& operator=(const PipeServer&) = delete;

  // Creates the pipe and starts serving; false (nothing running) on failure.
  bool Start();
  // Stops accepting, waits for the clients being served, returns.
  void Stop();

 private:
  struct State;
  State* state_;
};

}  // namespace nox::service
