// The library's cipher, independent of the Windows cryptographic service.
//
// Strings are ciphered as one block of 80 bytes (the text padded with zero
// bytes), files as one continuous keystream. The key comes from the key
// password "K731q" hashed with MD5 together with its terminating zero byte;
// the Base Cryptographic Provider keys RC4 with the first 5 digest bytes and
// 11 zero bytes, and so does the portable path here, so both give the same
// cipher bytes.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <functional>
#include <string>

#include "tessel/rc4.h"

namespace tessel {

inline constexpr char kKeyPassword[] = "K731q";
inline constexpr size_t kBlockLength = 80;
inline constexpr size_t kFileChunk = 1000;
// Paths have at most 259 characters (a 260-byte buffer with its terminator).
inline constexpr size_t kMaxPathLength = 259;

// The 16 bytes RC4 is keyed with.
std::array<uint8_t, 16> CipherKey();
// A keystream from its first byte.
Rc4 NewKeystream();

// Ciphers `size` bytes in place with a fresh keystream; false when the
// cipher could not run.
using CipherStep = std::function<bool(uint8_t* data, size_t size)>;

// EncryptBlock around a cipher step: ciphers the text in `buffer` as one
// 80-byte block, writes the block over the buffer's start and a zero byte at
// position 80. Returns the buffer's text length afterwards, or -1 when the
// text is empty, longer than 80 characters (refused: such a text would not
// come back whole) or the step failed; the buffer is then unchanged.
int32_t EncryptBlockWith(char* buffer, const CipherStep& cipher);
// DecryptBlock around a cipher step: deciphers the first 80 bytes of
// `buffer` in place. Returns the text length up to the first zero byte, 0
// when the buffer starts with a zero byte (unchanged), -1 when the step
// failed.
int32_t DecryptBlockWith(char* buffer, const CipherStep& cipher);

// The two block operations keyed directly (no cryptographic service).
int32_t EncryptBlockPortable(char* buffer);
int32_t DecryptBlockPortable(char* buffer);

// The temporary file a file is ciphered through: its path with the last
// character replaced by "z". A path already ending in "z" or "Z" would name
// the file itself (names are case-insensitive), so it gets a "z" appended.
std::string TemporaryPath(const std::string& path);

// Whether a text of `text_length` characters, ciphered into `block`, can be
// read back after being stored only up to the block's first zero byte: true
// when no zero byte lies within its first text_length + 1 bytes (within the
// block).
bool BlockSurvivesStorage(const uint8_t* block, size_t text_length);

// The date as GetSysDate writes it ("%m/%d/%Y"); empty when it cannot be
// formatted.
std::string FormatSysDate(const std::tm& local_time);

}  // namespace tessel
