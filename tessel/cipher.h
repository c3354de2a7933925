// The cipher on the Windows cryptographic service (CryptoAPI).
#pragma once

#include <windows.h>

#include <cstdint>

namespace tessel {

// Makes the current user's default key container of the Base Cryptographic
// Provider usable, creating it and its two key pairs when missing; false
// when that fails.
bool PrepareKeyStore();

// Removes `path` under `root` with everything below it. Returns 0 or the
// Win32 error code (ERROR_BADKEY for an empty path).
long DeleteRegistryTree(HKEY root, const char* path);

// The string cipher over one 80-byte block (see cipher_core.h for the
// results); used by the string exports and the password store.
int32_t EncryptBlock(char* buffer);
int32_t DecryptBlock(char* buffer);

enum class CipherDirection { kEncrypt, kDecrypt };

// Ciphers the file in place through its temporary file. Returns 1 done, 0
// failed (the file is then unchanged).
int CipherFile(const char* path, CipherDirection direction);

}  // namespace tessel
