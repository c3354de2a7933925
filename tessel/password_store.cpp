// The administrator password store: one REG_SZ value under the Wardkeep key,
// whose name is the cipher of "Password" and whose data is the cipher of the
// password, each stored up to the first zero byte of its 80-byte block.
#include <windows.h>

#include <cstring>

#include "tessel/cipher.h"
#include "tessel/cipher_core.h"
#include "tessel/tessel.h"
#include "tessel/win_handles.h"

namespace tessel {
namespace {

constexpr char kWardkeepKey[] = "Software\\Quillon\\Nox\\CurrentVersion\\Wardkeep";
constexpr char kValueWord[] = "Password";
constexpr DWORD kReadLimit = 255;

// Ciphers "Password" into `name`; false when the cipher could not run.
bool CipheredValueName(char* name) {
  std::strcpy(name, kValueWord);
  return EncryptBlock(name) >= 0;
}

bool StoreCipheredPassword(const char* name, const char* block) {
  ScopedKey key;
  if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, kWardkeepKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                      KEY_ALL_ACCESS, nullptr, key.receive(), nullptr) != ERROR_SUCCESS) {
    return false;
  }
  return RegSetValueExA(key.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(block),
                        static_cast<DWORD>(std::strlen(block))) == ERROR_SUCCESS;
}

}  // namespace
}  // namespace tessel

// Stores the password and leaves its cipher block in the caller's buffer.
// Returns -1 stored, 0 not stored: the text is empty, over 80 characters,
// its cipher block could not be read back (a zero byte within its first
// length + 1 bytes), the cipher could not run, or the registry refused the
// write. The caller's buffer is unchanged whenever nothing was stored.
extern "C" int32_t __stdcall SetPassword(char* password) {
  if (password == nullptr) return 0;
  const size_t length = strnlen(password, tessel::kBlockLength + 1);
  if (length == 0 || length > tessel::kBlockLength) return 0;
  char name[255] = {};
  if (!tessel::CipheredValueName(name)) return 0;
  char block[tessel::kBlockLength + 1] = {};
  std::memcpy(block, password, length);
  if (tessel::EncryptBlock(block) < 0) return 0;
  if (!tessel::BlockSurvivesStorage(reinterpret_cast<const uint8_t*>(block), length)) return 0;
  if (!tessel::StoreCipheredPassword(name, block)) return 0;
  std::memcpy(password, block, sizeof block);
  return -1;
}

// Returns -1 the candidate is the stored password, 0 it differs or is empty,
// -2 no stored password could be read.
extern "C" int32_t __stdcall CheckPassword(const char* candidate) {
  if (candidate == nullptr || *candidate == '\0') return 0;
  char name[100] = {};
  if (!tessel::CipheredValueName(name)) return -2;
  char stored[1001] = {};
  {
    tessel::ScopedKey key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, tessel::kWardkeepKey, 0, KEY_READ, key.receive()) !=
        ERROR_SUCCESS) {
      return -2;
    }
    DWORD size = tessel::kReadLimit;
    if (RegQueryValueExA(key.get(), name, nullptr, nullptr, reinterpret_cast<BYTE*>(stored),
                         &size) != ERROR_SUCCESS) {
      return -2;
    }
  }
  tessel::DecryptBlock(stored);
  return std::strcmp(candidate, stored) == 0 ? -1 : 0;
}
