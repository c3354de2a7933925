// A stored password: USER.TBL's 40-byte password field and the
// administrator's verifier hold either a plain text (tables written before
// passwords were hashed) or this one-way form, 40 printable characters
// without blanks:
//
//   $N1$IIIIII$SSSSSSSSSSSS$HHHHHHHHHHHHHHHH
//
// "$N1$" marks PBKDF2-HMAC-SHA256; IIIIII is the iteration count in six
// decimal digits; S is the 9-byte salt and H the first 12 bytes of the
// derived key, both in base64 (A-Z a-z 0-9 + /, no padding).
//
// Any field that begins with "$N", a digit and "$" is taken as one-way and
// never compared as plain text, so that a damaged hash is no password
// anyone can type.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace nox {

// One check stays under 50 ms under Wine; a field asking for more is
// refused unread, so no table can make a login slow.
inline constexpr uint32_t kPasswordIterations = 8000;
inline constexpr uint32_t kMaxPasswordIterations = kPasswordIterations;
inline constexpr size_t kPasswordFieldLength = 40;

struct PasswordHash {
  uint32_t iterations = 0;
  std::string salt;  // 9 bytes
  std::string key;   // 12 bytes
};

// Whether the stored text (blank padding allowed) is in the one-way form,
// well formed or not.
bool IsOneWayPasswordField(std::string_view stored);

// The parts of a well-formed one-way field (blank padding allowed, an
// iteration count from 1 to kMaxPasswordIterations); nullopt otherwise.
std::optional<PasswordHash> ParsePasswordHash(std::string_view stored);

// The 40-character field of `hash`.
std::string FormatPasswordHash(const PasswordHash& hash);

// The one-way field of `password` with a fresh salt; nullopt when this
// system has no KDF or random source (Windows 9x).
std::optional<std::string> HashPassword(std::string_view password);

enum class PasswordMatch {
  kMatch,
  kNoMatch,
  // A one-way field on a system without the KDF (Windows 9x).
  kUnverifiable,
};

// Compares what was typed with a stored password: a one-way field through
// the KDF, a plain field trimmed of blanks and compared exactly (letter
// case counts; `typed` is not trimmed).
PasswordMatch MatchPassword(std::string_view stored, std::string_view typed);

}  // namespace nox
