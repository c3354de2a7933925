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
