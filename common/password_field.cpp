#include "common/password_field.h"

#include <array>

#include "common/password_kdf.h"

namespace nox {
namespace {

constexpr std::string_view kMarker = "$N1$";
constexpr size_t kIterationDigits = 6;
constexpr size_t kSaltBytes = 9;
constexpr size_t kKeyBytes = 12;
constexpr size_t kSaltChars = kSaltBytes / 3 * 4;
constexpr size_t kKeyChars = kKeyBytes / 3 * 4;
constexpr size_t kSaltAt = kMarker.size() + kIterationDigits + 1;
constexpr size_t kKeyAt = kSaltAt + kSaltChars + 1;
static_assert(kKeyAt + kKeyChars == kPasswordFieldLength);

constexpr std::string_view kAlphabet =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

std::string_view TrimBlanks(std::string_view text) {
  const size_t first = text.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

// Base64 of whole 3-byte groups only: every length here is a multiple of 3.
std::string Encode(std::string_view bytes) {
  std::string text;
  for (size_t i = 0; i + 3 <= bytes.size(); i += 3) {
    const uint32_t group = static_cast<uint8_t>(bytes[i]) << 16 |
                           static_cast<uint8_t>(bytes[i + 1]) << 8 |
                           static_cast<uint8_t>(bytes[i + 2]);
    for (int shift = 18; shift >= 0; shift -= 6) text += kAlphabet[(group >> shift) & 63];
  }
  return text;
}

std::optional<std::string> Decode(std::string_view text) {
  if (text.size() % 4 != 0) return std::nullopt;
  std::string bytes;
  for (size_t i = 0; i < text.size(); i += 4) {
    uint32_t group = 0;
    for (size_t j = 0; j < 4; ++j) {
      const size_t digit = kAlphabet.find(text[i + j]);
      if (digit == std::string_view::npos) return std::nullopt;
      group = group << 6 | static_cast<uint32_t>(digit);
    }
    bytes += static_cast<char>(group >> 16);
    bytes += static_cast<char>(group >> 8 & 0xFF);
    bytes += static_cast<char>(group & 0xFF);
  }
  return bytes;
}

std::optional<uint32_t> Iterations(std::string_view digits) {
  uint32_t value = 0;
  for (const char c : digits) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<uint32_t>(c - '0');
  }
  if (value == 0 || value > kMaxPasswordIterations) return std::nullopt;
  return value;
}

std::string IterationText(uint32_t iterations) {
  std::string text = std::to_string(iterations);
  return std::string(kIterationDigits - text.size(), '0') + text;
}

// Equal bytes, in a time that does not tell where they first differ.
bool SameBytes(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  unsigned difference = 0;
  for (size_t i = 0; i < a.size(); ++i) difference |= static_cast<unsigned char>(a[i] ^ b[i]);
  return difference == 0;
}

}  // namespace

bool IsOneWayPasswordField(std::string_view stored) {
  const std::string_view text = TrimBlanks(stored);
  return text.size() >= 4 && text[0] == '$' && text[1] == 'N' && text[2] >= '0' && text[2] <= '9' &&
         text[3] == '$';
}

std::optional<PasswordHash> ParsePasswordHash(std::string_view stored) {
  const std::string_view text = TrimBlanks(stored);
  if (text.size() != kPasswordFieldLength || text.substr(0, kMarker.size()) != kMarker ||
      text[kSaltAt - 1] != '$' || text[kKeyAt - 1] != '$') {
    return std::nullopt;
  }
  const std::optional<uint32_t> iterations =
      Iterations(text.substr(kMarker.size(), kIterationDigits));
  std::optional<std::string> salt = Decode(text.substr(kSaltAt, kSaltChars));
  std::optional<std::string> key = Decode(text.substr(kKeyAt, kKeyChars));
  if (!iterations || !salt || !key) return std::nullopt;
  return PasswordHash{*iterations, std::move(*salt), std::move(*key)};
}

std::string FormatPasswordHash(const PasswordHash& hash) {
  return std::string(kMarker) + IterationText(hash.iterations) + "$" + Encode(hash.salt) + "$" +
         Encode(hash.key);
}

std::optional<std::string> HashPassword(std::string_view password) {
  std::optional<std::string> salt = CryptoRandomBytes(kSaltBytes);
  if (!salt) return std::nullopt;
  std::optional<std::string> key =
      Pbkdf2HmacSha256(password, *salt, kPasswordIterations, kKeyBytes);
  if (!key) return std::nullopt;
  return FormatPasswordHash({kPasswordIterations, std::move(*salt), std::move(*key)});
}

PasswordMatch MatchPassword(std::string_view stored, std::string_view typed) {
  if (!IsOneWayPasswordField(stored)) {
    return TrimBlanks(stored) == typed ? PasswordMatch::kMatch : PasswordMatch::kNoMatch;
  }
  const std::optional<PasswordHash> hash = ParsePasswordHash(stored);
  if (!hash) return PasswordMatch::kNoMatch;
  const std::optional<std::string> key =
      Pbkdf2HmacSha256(typed, hash->salt, hash->iterations, hash->key.size());
  if (!key) return PasswordMatch::kUnverifiable;
  return SameBytes(*key, hash->key) ? PasswordMatch::kMatch : PasswordMatch::kNoMatch;
}

}  // namespace nox
