// The registry path layer: every registry access of both programs.
//
// A registry location is one text of three comma-separated fields, the
// registry path string: root word ("Current_User", "Local_Machine", ... the
// predefined roots without "HKEY_", any letter case), key path, value name
// (empty: the key's unnamed default value). No field is trimmed.
//
// No operation here reports a registry failure. The only error raised is
// subscript-range (9) for a character after a third comma, and type mismatch
// (13) for a text that should spell a number and does not.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "platform/platform.h"

namespace nox {

struct RegPath {
  platform::RegKey root = platform::kNoKey;  // 0 for an unknown root word
  std::string key;
  std::string value_name;
};

// Splits a registry path string. Raises error 9 when a character other than
// a comma follows a third comma.
RegPath SplitRegPath(std::string_view regline);

// "HKEY_" + the upper-cased root word looked up among the seven predefined
// roots; 0 when it is none of them.
platform::RegKey RootHandle(std::string_view root_word);

// A value handed to RegWrite: a number (written 1, 0, 0x30000, a drive mask)
// or a text ("3" given with type 4 is the number it spells).
class RegValue {
 public:
  RegValue(int64_t number) : is_number_(true), number_(number) {}   // NOLINT: implicit by design
  RegValue(int number) : RegValue(static_cast<int64_t>(number)) {}  // NOLINT
  RegValue(std::string text) : text_(std::move(text)) {}            // NOLINT
  RegValue(const char* text) : text_(text) {}                       // NOLINT

  // The value as text: decimal digits for a number.
  std::string AsText() const;
  // The value as a number; raises 13 for a text that does not spell one.
  int64_t AsNumber() const;

 private:
  bool is_number_ = false;
  int64_t number_ = 0;
  std::string text_;
};

// Which program's copy of the layer: the login program hands writes and key
// deletions to CLASPS.DLL on Windows NT and reads with KEY_READ; the
// uninstaller always writes directly and reads with KEY_ALL_ACCESS.
enum class RegFlavor { kLogin, kUninstaller };

// The number's bytes, lowest first ("\x01" for 1, "\x00\x00\x03" for 0x30000,
// "\x00" for 0). Negative numbers give their 32-bit two's complement.
std::string dectoHextoDec(int64_t value);

// Creates the key when missing and sets the value: types 3 and 4 as exactly
// 4 bytes, every other type as the text with its terminating zero.
void RegWrite(std::string_view regline, const RegValue& regvalue, int32_t dwtype,
              RegFlavor flavor = RegFlavor::kLogin);

// RegWrite's direct path for a caller that converts the value itself:
// creates the key when missing, then stores what `convert` returns under
// `dwtype`: for types 3 and 4 the bytes of dectoHextoDec, zero-filled to
// exactly 4; for every other type the text, given its terminating zero.
void RegWriteDirect(const RegPath& path, int32_t dwtype,
                    const std::function<std::string()>& convert);

// The stored text followed by one backslash; 253 blanks and "\" when the key
// or value is missing.
std::string RegRead(std::string_view regline, RegFlavor flavor = RegFlavor::kLogin);

// RegRead without its final backslash, trimmed of blanks: "" when not set.
std::string RegReadTrimmed(std::string_view regline, RegFlavor flavor = RegFlavor::kLogin);

// Deletes one key (through CLASPS.DLL on Windows NT in the login program).
void DeleteRegKey(platform::RegKey root, const std::string& key,
                  RegFlavor flavor = RegFlavor::kLogin);

// Deletes the key after all of its subkeys at any depth.
void RegDeleteKeyTree(platform::RegKey root, const std::string& key);

bool IsWindowsNT();
bool IsWindows98();

// The hook library and its exports, bound by name at the first call.
inline constexpr const char* kClaspsLibrary = "CLASPS.DLL";
using SrvRegCreateKeyFn = int32_t(NOX_STDCALL*)(int32_t root, const char* key,
                                                const char* value_name, const char* value,
                                                int32_t type);
using SrvRegDeleteKeyFn = int32_t(NOX_STDCALL*)(int32_t root, const char* key);
// Optional: a library with it keeps the keys it writes to open between
// keep = 1 and keep = 0.
using SrvKeepKeysFn = int32_t(NOX_STDCALL*)(int32_t keep);

// Deletes the value a registry path string names. True when the value is
// gone afterwards (deleted, or there was none). Always direct: the hook
// library has no export for it, so on NT it succeeds only where the caller
// may change the key (the service, an administrator).
bool DeleteRegValue(std::string_view regline);

}  // namespace nox
