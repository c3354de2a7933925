// Reads arbitrary bytes as a service request and as an answer: whatever
// parses must encode back to the very same bytes (one spelling per message),
// and nothing may crash.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "common/service_protocol.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  if (const auto request = nox::ParseServiceRequest(bytes)) {
    if (nox::EncodeServiceRequest(*request) != bytes) __builtin_trap();
  }
  if (const auto answer = nox::ParseServiceAnswer(bytes)) {
    const auto again = nox::ParseServiceAnswer(nox::EncodeServiceAnswer(*answer));
    if (!again || nox::EncodeServiceAnswer(*again) != nox::EncodeServiceAnswer(*answer)) {
      __builtin_trap();
    }
  }
  return 0;
}
