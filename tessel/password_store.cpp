// The administrator password store, under the Wardkeep key: the REG_SZ value
// "Verifier", the password's one-way field (common/password_field.h). Before
// it, the store kept a value whose name is the cipher of "Password" and whose
// data is the cipher of the password, each up to the first zero byte of its
// 80-byte block; the fixed key ships in this library, so anyone can decipher
// it. Such a value is still checked and is replaced by a verifier at its
// first match. Windows 9x has no bcrypt.dll: there the ciphered value is
// still what is stored, and a verifier matches nothing.
#include <windows.h>

#include <cstring>
#include <optional>
#include <string>

#include "common/password_field.h"
#include "platform/win32/scoped_handles.h"
#include "tessel/cipher.h"
#include "tessel/cipher_core.h"
#include "tessel/tessel.h"

namespace tessel {

using platform::win32::ScopedKey;

namespace {

constexpr char kWardkeepKey[] = "Software\\Quillon\\Nox\\CurrentVersion\\Wardkeep";
constexpr char kValueWord[] = "Password";
constexpr char kVerifierValue[] = "Verifier";
constexpr DWORD kReadLimit = 255;

// Ciphers "Password" into `name`; false when the cipher could not run.
bool CipheredValueName(char* name) {
  std::strcpy(name, kValueWord);
  return EncryptBlock(name) >= 0;
}

// Sets one REG_SZ value (no terminator, as the store always wrote) and
// deletes another; false when the value could not be set.
bool StoreReplacing(const char* name, const char* data, const char* replaced) {
  ScopedKey key;
  if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, kWardkeepKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                      KEY_ALL_ACCESS, nullptr, key.receive(), nullptr) != ERROR_SUCCESS) {
    return false;
  }
  if (RegSetValueExA(key.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(data),
                     static_cast<DWORD>(std::strlen(data))) != ERROR_SUCCESS) {
    return false;
  }
  RegDeleteValueA(key.get(), replaced);
  return true;
}

// Replaces the ciphered value named `cipher_name` by the verifier of
// `password`; nothing changes where there is no KDF.
void UpgradeToVerifier(const char* cipher_name, const char* password) {
  if (const std::optional<std::string> verifier = nox::HashPassword(password)) {
    StoreReplacing(kVerifierValue, verifier->c_str(), cipher_name);
  }
}

// The value's data, up to kReadLimit bytes; nullopt when it cannot be read.
std::optional<std::string> ReadValue(const char* name) {
  ScopedKey key;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kWardkeepKey, 0, KEY_READ, key.receive()) !=
      ERROR_SUCCESS) {
    return std::nullopt;
  }
  char data[1001] = {};
  DWORD size = kReadLimit;
  if (RegQueryValueExA(key.get(), name, nullptr, nullptr, reinterpret_cast<BYTE*>(data), &size) !=
      ERROR_SUCCESS) {
    return std::nullopt;
  }
  return std::string(data);
}

// -1 the candidate matches the verifier, else 0 (also where it cannot be
// checked, so that no Windows lets any text pass).
int32_t CheckVerifier(const std::string& verifier, const char* candidate) {
  if (!nox::IsOneWayPasswordField(verifier)) return 0;
  return nox::MatchPassword(verifier, candidate) == nox::PasswordMatch::kMatch ? -1 : 0;
}

}  // namespace
}  // namespace tessel

// Stores the password's verifier and leaves its cipher block in the caller's
// buffer. Returns -1 stored, 0 not stored: the text is empty, over 80
// characters, the cipher could not run, or the registry refused the write;
// on Windows 9x (ciphered value) also when its cipher block could not be
// read back (a zero byte within its first length + 1 bytes). The caller's
// buffer is unchanged whenever nothing was stored.
extern "C" int32_t __stdcall SetPassword(char* password) {
  if (password == nullptr) return 0;
  const size_t length = strnlen(password, tessel::kBlockLength + 1);
  if (length == 0 || length > tessel::kBlockLength) return 0;
  char name[255] = {};
  if (!tessel::CipheredValueName(name)) return 0;
  char block[tessel::kBlockLength + 1] = {};
  std::memcpy(block, password, length);
  if (tessel::EncryptBlock(block) < 0) return 0;
  if (const std::optional<std::string> verifier =
          nox::HashPassword(std::string_view(password, length))) {
    if (!tessel::StoreReplacing(tessel::kVerifierValue, verifier->c_str(), name)) return 0;
  } else {
    if (!tessel::BlockSurvivesStorage(reinterpret_cast<const uint8_t*>(block), length)) return 0;
    if (!tessel::StoreReplacing(name, block, tessel::kVerifierValue)) return 0;
  }
  std::memcpy(password, block, sizeof block);
  return -1;
}

// Returns -1 the candidate is the stored password, 0 it differs or is empty,
// -2 no stored password could be read.
extern "C" int32_t __stdcall CheckPassword(const char* candidate) {
  if (candidate == nullptr || *candidate == '\0') return 0;
  if (const std::optional<std::string> verifier = tessel::ReadValue(tessel::kVerifierValue)) {
    return tessel::CheckVerifier(*verifier, candidate);
  }
  char name[100] = {};
  if (!tessel::CipheredValueName(name)) return -2;
  const std::optional<std::string> ciphered = tessel::ReadValue(name);
  if (!ciphered) return -2;
  char stored[1001] = {};
  std::memcpy(stored, ciphered->c_str(), ciphered->size());
  tessel::DecryptBlock(stored);
  if (std::strcmp(candidate, stored) != 0) return 0;
  // The reversible value goes at its first match, where the KDF exists.
  tessel::UpgradeToVerifier(name, candidate);
  return -1;
}
