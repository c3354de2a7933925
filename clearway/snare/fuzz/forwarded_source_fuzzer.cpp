// Arbitrary error sources (with any number of "!" and fields): the trap
// records at most 10 forwarded levels and logs them without crashing.
#include <cstddef>
#include <cstdint>
#include <string>

#include "clearway/snare/snare_internal.h"
#include "platform/fake/fake_control.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string source(reinterpret_cast<const char*>(data), size);
  if (nox::ParseForwardedSource(source).size() > 10) __builtin_trap();
  platform::fake::Reset();
  nox::ResetSnare();
  platform::fake::PutFile("C:\\NOX\\SNCLIENT.INI",
                          "[preferences]\nSilent Run=1\n[log file]\nWrite To Disk=1\n");
  nox::snPUSH("Clearway", "Sub main", "()");
  nox::snERROR("Clearway", "Sub main", nox::TrappedError{5, source, "", 0, 1});
  if (nox::Snare().forwarded_levels > 10) __builtin_trap();
  if (!platform::fake::FileExists("C:\\NOX\\error.log")) __builtin_trap();
  return 0;
}
