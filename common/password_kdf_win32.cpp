// CNG through bcrypt.dll, bound at run time: Windows 9x and NT 4 have no
// bcrypt.dll, and the programs must still start there (the answer is then
// "no primitive"). The library is loaded directly rather than through the
// platform facade, because noxadmin.exe links the simulated platform.
#include <windows.h>
// bcrypt.h needs the types of windows.h.
#include <bcrypt.h>

#include <climits>

#include "common/password_kdf.h"
#include "platform/win32/scoped_handles.h"

namespace nox {
namespace {

using OpenAlgorithmProvider = NTSTATUS(WINAPI*)(BCRYPT_ALG_HANDLE*, LPCWSTR, LPCWSTR, ULONG);
using CloseAlgorithmProvider = NTSTATUS(WINAPI*)(BCRYPT_ALG_HANDLE, ULONG);
using DeriveKeyPbkdf2 = NTSTATUS(WINAPI*)(BCRYPT_ALG_HANDLE, PUCHAR, ULONG, PUCHAR, ULONG,
                                          ULONGLONG, PUCHAR, ULONG, ULONG);
using GenRandom = NTSTATUS(WINAPI*)(BCRYPT_ALG_HANDLE, PUCHAR, ULONG, ULONG);

// bcrypt.dll, loaded on first use and kept for the life of the process;
// nullptr when this Windows has none.
HMODULE Bcrypt() {
  static const HMODULE module = LoadLibraryA("bcrypt.dll");
  return module;
}

template <typename Function>
Function Export(const char* name) {
  const HMODULE module = Bcrypt();
  if (module == nullptr) return nullptr;
  return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

// An open algorithm provider; its closer is bound at run time like the rest.
struct Algorithm {
  using Handle = BCRYPT_ALG_HANDLE;
  static Handle Empty() { return nullptr; }
  static bool Close(Handle algorithm) {
    const auto close = Export<CloseAlgorithmProvider>("BCryptCloseAlgorithmProvider");
    return close != nullptr && BCRYPT_SUCCESS(close(algorithm, 0));
  }
};
using ScopedAlgorithm = platform::win32::Scoped<Algorithm>;

// The provider, or none when bcrypt.dll or the algorithm is missing.
ScopedAlgorithm OpenAlgorithm(LPCWSTR algorithm, ULONG flags) {
  const auto open = Export<OpenAlgorithmProvider>("BCryptOpenAlgorithmProvider");
  BCRYPT_ALG_HANDLE opened = nullptr;
  if (open == nullptr || !BCRYPT_SUCCESS(open(&opened, algorithm, nullptr, flags))) {
    return ScopedAlgorithm();
  }
  return ScopedAlgorithm(opened);
}

PUCHAR Bytes(std::string& text) { return reinterpret_cast<PUCHAR>(text.data()); }

}  // namespace

std::optional<std::string> Pbkdf2HmacSha256(std::string_view password, std::string_view salt,
                                            uint32_t iterations, size_t length) {
  if (iterations == 0 || password.size() > ULONG_MAX || salt.size() > ULONG_MAX ||
      length > ULONG_MAX) {
    return std::nullopt;
  }
  const auto derive = Export<DeriveKeyPbkdf2>("BCryptDeriveKeyPBKDF2");
  const ScopedAlgorithm hmac = OpenAlgorithm(BCRYPT_SHA256_ALGORITHM, BCRYPT_ALG_HANDLE_HMAC_FLAG);
  if (derive == nullptr || !hmac.valid()) return std::nullopt;
  std::string password_copy(password);
  std::string salt_copy(salt);
  std::string key(length, '\0');
  if (!BCRYPT_SUCCESS(derive(hmac.get(), Bytes(password_copy),
                             static_cast<ULONG>(password_copy.size()), Bytes(salt_copy),
                             static_cast<ULONG>(salt_copy.size()), iterations, Bytes(key),
                             static_cast<ULONG>(key.size()), 0))) {
    return std::nullopt;
  }
  return key;
}

std::optional<std::string> CryptoRandomBytes(size_t count) {
  if (count > ULONG_MAX) return std::nullopt;
  const auto generate = Export<GenRandom>("BCryptGenRandom");
  const ScopedAlgorithm rng = OpenAlgorithm(BCRYPT_RNG_ALGORITHM, 0);
  if (generate == nullptr || !rng.valid()) return std::nullopt;
  std::string bytes(count, '\0');
  if (!BCRYPT_SUCCESS(generate(rng.get(), Bytes(bytes), static_cast<ULONG>(count), 0))) {
    return std::nullopt;
  }
  return bytes;
}

}  // namespace nox
