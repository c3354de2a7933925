// The marker of the switches a login wrote, as any bytes the user's hive may
// hold: the bits read are always within the twelve, and the decimal text of
// a set of them reads back as that set.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "common/modern_switches.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view marker(reinterpret_cast<const char*>(data), size);
  const uint32_t bits = nox::ReadWrittenSwitches(marker);
  if ((bits & ~nox::kModernSwitchBits) != 0) __builtin_trap();
  if (nox::ReadWrittenSwitches(std::to_string(bits) + "\\") != bits) __builtin_trap();
  return 0;
}
