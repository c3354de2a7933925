// A stored password field of any bytes: parsing never crashes, a parsed
// field formats back to itself, and a check never asks the KDF for more
// than the accepted iteration count.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "common/password_field.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view stored(reinterpret_cast<const char*>(data), size);
  if (const std::optional<nox::PasswordHash> hash = nox::ParsePasswordHash(stored)) {
    if (hash->iterations > nox::kMaxPasswordIterations) __builtin_trap();
    if (!nox::IsOneWayPasswordField(stored)) __builtin_trap();
    if (nox::ParsePasswordHash(nox::FormatPasswordHash(*hash))->key != hash->key) __builtin_trap();
  }
  if (nox::MatchPassword(stored, "typed") == nox::PasswordMatch::kMatch &&
      nox::IsOneWayPasswordField(stored)) {
    __builtin_trap();
  }
  return 0;
}
