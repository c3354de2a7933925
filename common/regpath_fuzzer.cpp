// Splits arbitrary registry path strings and writes through them: nothing
// but error 9 may come out, and nothing may crash.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "common/regpath.h"
#include "common/runtime_error.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view regline(reinterpret_cast<const char*>(data), size);
  try {
    nox::SplitRegPath(regline);
    nox::RegWrite(regline, "x", 1, nox::RegFlavor::kUninstaller);
    nox::RegRead(regline, nox::RegFlavor::kUninstaller);
  } catch (const nox::RuntimeError& error) {
    if (error.number() != nox::kErrSubscript) __builtin_trap();
  }
  return 0;
}
