// The "C:\drives.dat" reader on any bytes: at most two letters per line,
// each empty or one character.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/boot_options.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view drive_list(reinterpret_cast<const char*>(data), size);
  const std::vector<std::string> letters = nox::HostDriveLetters(drive_list);
  if (letters.size() % 2 != 0 || letters.size() > 2 * (size + 1)) __builtin_trap();
  for (const std::string& letter : letters) {
    if (letter.size() > 1) __builtin_trap();
  }
  return 0;
}
