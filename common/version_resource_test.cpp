#include "common/version_resource.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#if defined(_WIN32)
#include "platform/win32/scoped_handles.h"
#include "platform/win32/win32_api.h"
#endif

namespace nox {
namespace {

void PutWord(std::string* bytes, size_t value) {
  bytes->push_back(static_cast<char>(value & 0xFF));
  bytes->push_back(static_cast<char>(value >> 8 & 0xFF));
}

void PadTo4(std::string* bytes) {
  while (bytes->size() % 4 != 0) bytes->push_back('\0');
}

std::string Utf16(std::u16string_view text) {
  std::string bytes;
  for (char16_t c : text) PutWord(&bytes, c);
  return bytes;
}

// A block as the resource compiler lays it out: length, value length (in
// characters for text), type, key with its zero, padding, value, padding,
// children (each padded to 4 bytes).
std::string Block(std::u16string_view key, std::string_view value, size_t value_length, bool text,
                  const std::vector<std::string>& children = {}) {
  std::string bytes(2, '\0');
  PutWord(&bytes, value_length);
  PutWord(&bytes, text ? 1 : 0);
  bytes += Utf16(key);
  PutWord(&bytes, 0);
  PadTo4(&bytes);
  bytes += value;
  for (const std::string& child : children) {
    PadTo4(&bytes);
    bytes += child;
  }
  bytes[0] = static_cast<char>(bytes.size() & 0xFF);
  bytes[1] = static_cast<char>(bytes.size() >> 8);
  return bytes;
}

std::string Text(std::u16string_view key, std::u16string_view value) {
  return Block(key, Utf16(value) + std::string(2, '\0'), value.size() + 1, true);
}

std::string Translation(size_t language, size_t code_page) {
  std::string value;
  PutWord(&value, language);
  PutWord(&value, code_page);
  return Block(u"VarFileInfo", "", 0, true, {Block(u"Translation", value, 4, false)});
}

std::string Resource(const std::vector<std::string>& children) {
  return Block(u"VS_VERSION_INFO", std::string(52, '\x11'), 52, false, children);
}

std::string Table(std::u16string_view key, const std::vector<std::string>& values) {
  return Block(key, "", 0, true, values);
}

std::string StringFileInfo(const std::vector<std::string>& tables) {
  return Block(u"StringFileInfo", "", 0, true, tables);
}

// explorer.rc's layout.
const std::string kExplorer =
    Resource({StringFileInfo({Table(u"040904b0",
                                    {Text(u"CompanyName", u"Quillon"), Text(u"ProductName", u"Nox"),
                                     Text(u"ProductVersion", u"1.4.0")})}),
              Translation(0x0409, 1200)});

TEST(VersionResourceString, FindsAValueOfTheTranslationsTable) {
  const std::string german = Table(u"040704e4", {Text(u"ProductName", u"Nox DE")});
  const std::string english = Table(u"040904b0", {Text(u"ProductName", u"Nox")});
  struct Case {
    const char* what;
    std::string resource;
    std::u16string name;
    std::u16string expected;
  };
  const std::vector<Case> cases = {
      {"explorer.rc", kExplorer, u"ProductName", u"Nox"},
      {"the last value", kExplorer, u"ProductVersion", u"1.4.0"},
      {"names ignore case", kExplorer, u"pRODUCTnAME", u"Nox"},
      {"no such name", kExplorer, u"FileVersion", u""},
      {"a prefix is no name", kExplorer, u"Product", u""},
      {"the translation picks the table",
       Resource({StringFileInfo({english, german}), Translation(0x0407, 0x04e4)}), u"ProductName",
       u"Nox DE"},
      {"no translation: US English, Unicode", Resource({StringFileInfo({german, english})}),
       u"ProductName", u"Nox"},
      {"the translation's table missing", Resource({StringFileInfo({english}), Translation(7, 7)}),
       u"ProductName", u""},
      {"a value's zero ends it",
       Resource({StringFileInfo({Table(u"040904b0", {Text(u"ProductName", u"Nox\0tail")})})}),
       u"ProductName", u"Nox"},
      {"empty", "", u"ProductName", u""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(VersionResourceString(c.resource, c.name), c.expected) << c.what;
  }
}

// Every cut of the block, and every word of it damaged, is read without
// reaching past the bytes (the sanitizers check): a cut block is no block,
// and a damaged word gives no more than the value's four characters (its
// zero damaged too).
TEST(VersionResourceString, DamagedBlocksAreReadSafely) {
  for (size_t size = 0; size < kExplorer.size(); ++size) {
    EXPECT_EQ(VersionResourceString(kExplorer.substr(0, size), u"ProductName"), u"") << size;
  }
  for (size_t at = 0; at + 1 < kExplorer.size(); at += 2) {
    std::string damaged = kExplorer;
    damaged[at] = '\xFF';
    damaged[at + 1] = '\xFF';
    EXPECT_LE(VersionResourceString(damaged, u"ProductName").size(), 4u) << at;
  }
}

#if defined(_WIN32)
// The system's own lookup on the resource explorer.exe is built with.
TEST(VersionResourceString, AgreesWithTheSystemOnExplorersResource) {
  char own[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, own, MAX_PATH);
  std::string path = own;
  path = path.substr(0, path.find_last_of('\\')) + "\\explorer.exe";
  const platform::win32::ScopedLibrary module(
      LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
  ASSERT_TRUE(module.valid()) << path;
  HRSRC found = FindResourceA(module.get(), MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(16));
  ASSERT_NE(found, nullptr);
  const char* data = static_cast<const char*>(LockResource(LoadResource(module.get(), found)));
  const DWORD size = SizeofResource(module.get(), found);
  ASSERT_NE(data, nullptr);
  std::vector<char> copy(data, data + size);
  copy.resize(size * 2);
  for (const std::u16string name :
       {u"CompanyName", u"FileDescription", u"FileVersion", u"InternalName", u"OriginalFilename",
        u"ProductName", u"ProductVersion", u"Comments"}) {
    const std::wstring query =
        L"\\StringFileInfo\\040904b0\\" + std::wstring(name.begin(), name.end());
    void* value = nullptr;
    UINT length = 0;
    const std::u16string expected =
        VerQueryValueW(copy.data(), query.c_str(), &value, &length) && length > 0
            ? std::u16string(static_cast<const char16_t*>(value))
            : u"";
    EXPECT_EQ(VersionResourceString(std::string_view(data, size), name), expected)
        << std::string(name.begin(), name.end());
  }
  EXPECT_EQ(VersionResourceString(std::string_view(data, size), u"ProductName"), u"Nox");
}
#endif

}  // namespace
}  // namespace nox
