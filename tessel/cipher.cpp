#include "tessel/cipher.h"

#include <wincrypt.h>

#include <cstring>
#include <string>

#include "platform/win32/scoped_handles.h"
#include "tessel/cipher_core.h"
#include "tessel/tessel.h"

namespace tessel {

using platform::win32::ScopedCryptHash;
using platform::win32::ScopedCryptKey;
using platform::win32::ScopedCryptProv;
using platform::win32::ScopedFile;
using platform::win32::ScopedKey;

namespace {

constexpr char kProvider[] = MS_DEF_PROV_A;
constexpr char kCryptographyKey[] = "SOFTWARE\\Microsoft\\Cryptography";

// Makes sure one key pair exists in the container, generating it when the
// container has none.
bool EnsureKeyPair(HCRYPTPROV prov, DWORD key_spec) {
  ScopedCryptKey key;
  if (CryptGetUserKey(prov, key_spec, key.receive())) return true;
  if (GetLastError() != static_cast<DWORD>(NTE_NO_KEY)) return false;
  return CryptGenKey(prov, key_spec, 0, key.receive()) != FALSE;
}

// PrepareKeyStore, and when it fails the repair: the user's whole
// cryptography key is removed and the store prepared afresh.
bool KeyStoreUsable() {
  if (PrepareKeyStore()) return true;
  DeleteRegistryTree(HKEY_CURRENT_USER, kCryptographyKey);
  return PrepareKeyStore();
}

// The RC4 key derived from the key password, with the context and hash it
// came from.
class DerivedKey {
 public:
  // Derives the key; false when any step fails.
  bool Derive(DWORD flags) {
    // The Base provider is named rather than taken as the default of its
    // type: where the default is another provider, the derived key would be
    // 128 bits long and every cipher byte would change.
    if (!CryptAcquireContextA(prov_.receive(), nullptr, kProvider, PROV_RSA_FULL, 0)) return false;
    if (!CryptCreateHash(prov_.get(), CALG_MD5, 0, 0, hash_.receive())) return false;
    if (!CryptHashData(hash_.get(), reinterpret_cast<const BYTE*>(kKeyPassword),
                       sizeof kKeyPassword, 0)) {
      return false;
    }
    return CryptDeriveKey(prov_.get(), CALG_RC4, hash_.get(), flags, key_.receive()) != FALSE;
  }
  void DestroyHash() { hash_.Reset(); }
  HCRYPTKEY key() const { return key_.get(); }

 private:
  // Declared in release order: key, then hash, then context.
  ScopedCryptProv prov_;
  ScopedCryptHash hash_;
  ScopedCryptKey key_;
};

bool CipherWithService(uint8_t* data, size_t size, CipherDirection direction) {
  if (!KeyStoreUsable()) return false;
  DerivedKey derived;
  if (!derived.Derive(CRYPT_EXPORTABLE)) return false;
  DWORD length = static_cast<DWORD>(size);
  if (direction == CipherDirection::kEncrypt) {
    return CryptEncrypt(derived.key(), 0, TRUE, 0, data, &length, length) != FALSE;
  }
  return CryptDecrypt(derived.key(), 0, TRUE, 0, data, &length) != FALSE;
}

bool CipherPiece(HCRYPTKEY key, CipherDirection direction, bool final, BYTE* data, DWORD* length) {
  if (direction == CipherDirection::kEncrypt) {
    return CryptEncrypt(key, 0, final, 0, data, length, static_cast<DWORD>(kFileChunk)) != FALSE;
  }
  return CryptDecrypt(key, 0, final, 0, data, length) != FALSE;
}

// Streams the source through the key into the target, 1000 bytes at a time.
bool CipherStream(HANDLE source, HANDLE target, HCRYPTKEY key, CipherDirection direction) {
  BYTE chunk[kFileChunk];
  for (;;) {
    DWORD length = 0;
    if (!ReadFile(source, chunk, sizeof chunk, &length, nullptr)) return false;
    const bool at_end = length < sizeof chunk;
    if (!CipherPiece(key, direction, at_end, chunk, &length)) return false;
    DWORD written = 0;
    if (!WriteFile(target, chunk, length, &written, nullptr) || written != length) return false;
    if (at_end) return true;
  }
}

int32_t TextLength(const char* text) { return static_cast<int32_t>(std::strlen(text)); }

}  // namespace

bool PrepareKeyStore() {
  ScopedCryptProv prov;
  if (!CryptAcquireContextA(prov.receive(), nullptr, kProvider, PROV_RSA_FULL, 0)) {
    HCRYPTPROV removed = 0;
    CryptAcquireContextA(&removed, nullptr, kProvider, PROV_RSA_FULL, CRYPT_DELETEKEYSET);
    if (!CryptAcquireContextA(prov.receive(), nullptr, kProvider, PROV_RSA_FULL, CRYPT_NEWKEYSET)) {
      return false;
    }
  }
  return EnsureKeyPair(prov.get(), AT_SIGNATURE) && EnsureKeyPair(prov.get(), AT_KEYEXCHANGE);
}

long DeleteRegistryTree(HKEY root, const char* path) {
  if (path == nullptr || *path == '\0') return ERROR_BADKEY;
  ScopedKey key;
  long result = RegOpenKeyExA(root, path, 0, DELETE | KEY_ENUMERATE_SUB_KEYS, key.receive());
  if (result != ERROR_SUCCESS) return result;
  for (;;) {
    char name[256];
    result = RegEnumKeyA(key.get(), 0, name, sizeof name);
    if (result == ERROR_NO_MORE_ITEMS) break;
    if (result != ERROR_SUCCESS) return result;
    result = DeleteRegistryTree(key.get(), name);
    if (result != ERROR_SUCCESS) return result;
  }
  key.Reset();
  return RegDeleteKeyA(root, path);
}

int32_t EncryptBlock(char* buffer) {
  return EncryptBlockWith(buffer, [](uint8_t* data, size_t size) {
    return CipherWithService(data, size, CipherDirection::kEncrypt);
  });
}

int32_t DecryptBlock(char* buffer) {
  return DecryptBlockWith(buffer, [](uint8_t* data, size_t size) {
    return CipherWithService(data, size, CipherDirection::kDecrypt);
  });
}

int CipherFile(const char* path, CipherDirection direction) {
  const std::string temporary = TemporaryPath(path);
  if (!KeyStoreUsable()) return 0;
  ScopedFile source(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!source.valid()) return 0;
  ScopedFile target(CreateFileA(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!target.valid()) return 0;
  DerivedKey derived;
  if (!derived.Derive(0)) return 0;
  derived.DestroyHash();
  if (!CipherStream(source.get(), target.get(), derived.key(), direction)) return 0;
  // The source is replaced only by a temporary file that is complete and on
  // the disk, in one step, so a failure leaves the old file whole.
  if (!FlushFileBuffers(target.get()) || !target.Close()) return 0;
  source.Close();
  if (!MoveFileExA(temporary.c_str(), path, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return 0;
  }
  return 1;
}

}  // namespace tessel

using tessel::CipherDirection;

// A null pointer is taken as an empty text.
extern "C" int32_t __stdcall EncryptString(char* text) {
  if (text == nullptr) return 0;
  tessel::EncryptBlock(text);
  return tessel::TextLength(text);
}

extern "C" int32_t __stdcall DecryptString(char* text) {
  if (text == nullptr) return 0;
  tessel::DecryptBlock(text);
  return tessel::TextLength(text);
}

extern "C" int32_t __stdcall Encrypt_File(const char* path) {
  if (path == nullptr) return 0;
  return tessel::CipherFile(path, CipherDirection::kEncrypt) == 1 ? -1 : 0;
}

extern "C" int32_t __stdcall Decrypt_File(const char* path) {
  if (path == nullptr) return 0;
  return tessel::CipherFile(path, CipherDirection::kDecrypt) == 1 ? -1 : 0;
}
