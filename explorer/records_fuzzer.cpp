// Feeds arbitrary bytes to the record codecs and to the table readers as the
// content of USER.TBL and NoxSettings.TBL.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "explorer/records.h"
#include "platform/platform.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  nox::DecodeUserRecord(bytes);
  nox::DecodeSettingsRecord(bytes);

  const std::string directory = nox::SystemDirectoryWithSlash();
  platform::WriteWholeFile(directory + nox::kUserTable, bytes);
  platform::WriteWholeFile(directory + nox::kSettingsTable, bytes);
  for (int32_t n = 1; n <= 4; ++n) {
    const nox::UserRecord record = nox::ReadUserRecord(n);
    if (record.TrimmedName() == "EOF") break;
  }
  nox::ReadSettingsRecord();
  return 0;
}
