// Any bytes as a request to the service, from a caller whose hive is
// loaded: the answer is either a refusal that changed nothing, or the
// answer to a well-formed request; nothing may crash.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "clasps/clasps.h"
#include "common/service_protocol.h"
#include "platform/fake/fake_control.h"
#include "service/session_service.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  namespace fake = platform::fake;
  fake::Reset();
  fake::SetCaller(fake::Caller::kSystem);
  platform::ScopedRegKey hive;
  platform::RegCreateKey(platform::kUsers, "S-1-5-21-7", hive.receive());
  hive.Reset();
  const size_t handles = fake::OpenRegKeyCount();
  const std::vector<std::string> files = fake::AllFiles();

  nox::service::SessionService service;
  const std::string_view request(reinterpret_cast<const char*>(data), size);
  const std::string answer = service.Answer({"S-1-5-21-7", "pupil", 1}, request);
  const auto parsed = nox::ParseServiceAnswer(answer);
  if (!parsed) __builtin_trap();
  const bool well_formed = nox::ParseServiceRequest(request).has_value();
  if (!well_formed && (parsed->result != "refused" || fake::AllFiles() != files ||
                       !fake::RegSubkeyNames(platform::kUsers, "S-1-5-21-7").empty())) {
    __builtin_trap();
  }
  if (fake::OpenRegKeyCount() != handles) __builtin_trap();
  return 0;
}
