// GetFileInfo: one item of a file's version resource.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "tessel/tessel.h"

namespace tessel {
namespace {

constexpr const char* kItemNames[] = {
    "CompanyName",    "FileDescription",  "FileVersion", "InternalName",
    "LegalCopyright", "OriginalFileName", "ProductName", "ProductVersion",
};

// The library's own query texts carry doubled backslashes; the version
// functions skip the empty path components they make.
constexpr char kStringFileInfo[] = "\\\\StringFileInfo\\\\";
constexpr char kSeparator[] = "\\\\";
constexpr char kFallbackLanguage[] = "040904E4";

// The first translation entry as eight hexadecimal digits, language first;
// empty when the resource has none.
std::string TranslationDigits(const void* block) {
  struct Translation {
    WORD language;
    WORD code_page;
  };
  void* value = nullptr;
  UINT length = 0;
  if (!VerQueryValueA(block, "\\VarFileInfo\\Translation", &value, &length) || value == nullptr ||
      length < sizeof(Translation)) {
    return "";
  }
  const auto* translation = static_cast<const Translation*>(value);
  char digits[81];
  std::snprintf(digits, sizeof digits, "%4.4X%4.4X", translation->language, translation->code_page);
  return digits;
}

// The item's text under one language block; false when it is not there.
bool QueryItem(const void* block, const std::string& language, const char* item,
               std::string* text) {
  const std::string query = kStringFileInfo + language + kSeparator + item;
  void* value = nullptr;
  UINT length = 0;
  if (!VerQueryValueA(block, query.c_str(), &value, &length) || value == nullptr) return false;
  *text = static_cast<const char*>(value);
  return true;
}

}  // namespace
}  // namespace tessel

// Writes item `item` (1 to 8) of the file's version resource into `out` and
// returns its length; -1 (nothing written) for an item number outside 1 to 8,
// a file without a version resource, or an item the resource lacks.
extern "C" int32_t __stdcall GetFileInfo(const char* path, int32_t item, char* out) {
  if (path == nullptr || out == nullptr) return -1;
  DWORD handle = 0;
  const DWORD size = GetFileVersionInfoSizeA(path, &handle);
  if (size == 0) return -1;
  std::vector<char> block(size, 0);
  if (!GetFileVersionInfoA(path, handle, size, block.data())) return -1;
  const std::string language = tessel::TranslationDigits(block.data());
  if (item < 1 || item > 8) return -1;
  const char* name = tessel::kItemNames[item - 1];
  std::string text;
  // Without a translation entry there is only the fallback to try.
  if ((language.empty() || !tessel::QueryItem(block.data(), language, name, &text)) &&
      !tessel::QueryItem(block.data(), tessel::kFallbackLanguage, name, &text)) {
    return -1;
  }
  std::memcpy(out, text.c_str(), text.size() + 1);
  return static_cast<int32_t>(text.size());
}
