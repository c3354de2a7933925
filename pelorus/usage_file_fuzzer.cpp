// Feeds arbitrary bytes to the usage file reader, directly and as another
// PC's file in a lab folder: nothing may crash, and what decodes must come
// back the same through the encoder.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "pelorus/lab_usage.h"
#include "platform/fake/fake_control.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  if (const auto entries = nox::DecodeUsageFile(bytes)) {
    if (nox::DecodeUsageFile(nox::EncodeUsageFile(*entries)) != entries) std::abort();
  }
  platform::fake::Reset();
  platform::fake::PutFile("C:\\LAB\\usage\\PC2.tbl", bytes);
  nox::LabMinutes("C:\\LAB\\usage\\", "kid", 20240301);
  nox::AddOwnUsage("C:\\LAB\\usage\\", "PC2.tbl", "kid", {2024, 3, 1}, 1);
  return 0;
}
