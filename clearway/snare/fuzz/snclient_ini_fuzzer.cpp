// Arbitrary SNCLIENT.INI files: the trap starts, traces and logs an error
// without crashing, and the one-character switches stay in range.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "clearway/snare/snare_internal.h"
#include "platform/fake/fake_control.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  platform::fake::Reset();
  nox::ResetSnare();
  platform::fake::PutFile("C:\\NOX\\SNCLIENT.INI",
                          std::string_view(reinterpret_cast<const char*>(data), size));
  nox::snPUSH("Clearway", "Sub main", "()");
  nox::snERROR("Clearway", "Sub main", nox::TrappedError{53, "", "", 0, 1});
  nox::snPOP("Clearway", "Sub main", "()");
  const nox::SnareSettings& settings = nox::Snare().settings;
  for (int16_t value :
       {settings.silent_run, settings.display_mode, settings.include_resources,
        settings.include_memory, settings.include_arguments, settings.include_user}) {
    if (value < -9 || value > 0) __builtin_trap();
  }
  if (settings.email_address.size() > 254 || nox::Snare().level != 0) __builtin_trap();
  return 0;
}
