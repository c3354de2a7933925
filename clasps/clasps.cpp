#include "clasps/clasps.h"

#include <optional>
#include <string>

#include "common/regpath.h"
#include "common/runtime_error.h"

namespace {

// A root handle arrives as a 32-bit number; the predefined roots are its
// 0x8000000x values.
platform::RegKey RootFromNumber(int32_t root) {
  return static_cast<platform::RegKey>(static_cast<uint32_t>(root));
}

std::string TextOrEmpty(const char* text) { return text == nullptr ? std::string() : text; }

// The keys kept open between SRV_KeepKeys(1) and SRV_KeepKeys(0): the
// library's only state, on the thread that asked.
std::optional<platform::RegKeyCacheScope>& KeptKeys() {
  static std::optional<platform::RegKeyCacheScope> kept;
  return kept;
}

}  // namespace

extern "C" int32_t NOX_STDCALL SRV_RegCreateKey(int32_t root, const char* key,
                                                const char* value_name, const char* value,
                                                int32_t type) {
  std::string data = TextOrEmpty(value);
  if (type == platform::kRegDword || type == platform::kRegBinary) {
    try {
      data = nox::dectoHextoDec(nox::RegValue(data).AsNumber());
    } catch (const nox::RuntimeError&) {
      return platform::kInvalidParameter;
    }
    data.resize(4, '\0');
  } else {
    data.push_back('\0');
  }
  platform::ScopedRegKey opened;
  long result = platform::RegCreateKey(RootFromNumber(root), TextOrEmpty(key), opened.receive());
  if (result != platform::kSuccess) return result;
  return platform::RegSetValue(opened.get(), TextOrEmpty(value_name), static_cast<uint32_t>(type),
                               data);
}

extern "C" int32_t NOX_STDCALL SRV_RegDeleteKey(int32_t root, const char* key) {
  return platform::RegDeleteKey(RootFromNumber(root), TextOrEmpty(key));
}

extern "C" int32_t NOX_STDCALL SRV_KeepKeys(int32_t keep) {
  if (keep == 0) {
    KeptKeys().reset();
  } else if (!KeptKeys()) {
    KeptKeys().emplace();
  }
  return platform::kSuccess;
}
