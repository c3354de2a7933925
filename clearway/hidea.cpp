// The uninstaller's registry writes, traced with their arguments so that a
// trace shows every value written, in order.
#include <string>

#include "clearway/clearway.h"
#include "clearway/snare/traced_routine.h"
#include "clearway/undo.h"
#include "platform/platform.h"

namespace nox::clearway {

void RegWrite(const std::string& regline, const RegValue& regvalue, int32_t dwtype) {
  TracedRoutine routine("hidea", "Sub RegWrite", [&] {
    return ArgumentList({{"regline", regline},
                         {"regvalue", regvalue.AsText()},
                         {"dwtype", std::to_string(dwtype)}});
  });
  RegPath path;
  bool writes = true;
  routine.Do([&] {
    path = SplitRegPath(regline);
    writes = ResetWrites(path);
  });
  if (!writes) return;
  routine.Do([&] {
    RegWriteDirect(path, dwtype, [&] {
      const bool as_bytes = dwtype == platform::kRegDword || dwtype == platform::kRegBinary;
      return as_bytes ? dectoHextoDec(regvalue.AsNumber()) : regvalue.AsText();
    });
  });
}

std::string dectoHextoDec(int64_t value) {
  TracedRoutine routine("hidea", "Function dectoHextoDec", [&] {
    return ArgumentList({{"value", std::to_string(value)}});
  });
  std::string bytes;
  routine.Do([&] { bytes = nox::dectoHextoDec(value); });
  return bytes;
}

}  // namespace nox::clearway
