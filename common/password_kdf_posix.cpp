#include <openssl/evp.h>
#include <openssl/rand.h>

#include <climits>

#include "common/password_kdf.h"

namespace nox {

std::optional<std::string> Pbkdf2HmacSha256(std::string_view password, std::string_view salt,
                                            uint32_t iterations, size_t length) {
  if (iterations == 0 || iterations > INT_MAX || password.size() > INT_MAX ||
      salt.size() > INT_MAX || length > INT_MAX) {
    return std::nullopt;
  }
  std::string key(length, '\0');
  const int ok =
      PKCS5_PBKDF2_HMAC(password.data(), static_cast<int>(password.size()),
                        reinterpret_cast<const unsigned char*>(salt.data()),
                        static_cast<int>(salt.size()), static_cast<int>(iterations), EVP_sha256(),
                        static_cast<int>(length), reinterpret_cast<unsigned char*>(key.data()));
  if (ok != 1) return std::nullopt;
  return key;
}

std::optional<std::string> CryptoRandomBytes(size_t count) {
  if (count > INT_MAX) return std::nullopt;
  std::string bytes(count, '\0');
  if (RAND_bytes(reinterpret_cast<unsigned char*>(bytes.data()), static_cast<int>(count)) != 1) {
    return std::nullopt;
  }
  return bytes;
}

}  // namespace nox
