// The system's own key-derivation and random primitives, for one-way
// password fields: libcrypto on POSIX, CNG (bcrypt.dll, loaded when first
// asked for, so that a program still starts on Windows 9x, which has none)
// on Win32. The build picks the half: password_kdf_posix.cpp or
// password_kdf_win32.cpp.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace nox {

// PBKDF2-HMAC-SHA256 (RFC 8018) of `password` over `salt`: the first
// `length` bytes of the derived key; nullopt when the system has no such
// primitive or it failed.
std::optional<std::string> Pbkdf2HmacSha256(std::string_view password, std::string_view salt,
                                            uint32_t iterations, size_t length);

// `count` bytes from the system's cryptographic random source; nullopt when
// there is none.
std::optional<std::string> CryptoRandomBytes(size_t count);

}  // namespace nox
