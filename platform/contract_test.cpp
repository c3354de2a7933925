// Registry and file behaviours that both platform implementations must
// share. Built twice: natively against the fake, and for Win32 against the
// real API (run under Wine). A failure in only one of the two builds is a
// fault of the fake, or a Windows behaviour the logic must not rely on.
//
// Every registry test works under its own key, every file test in its own
// folder on C:, both created fresh before and removed after each test.
// Outputs are preset to sentinels and buffers end in guard bytes, so a
// write that should not happen shows.
//
// A few Windows rules are not kept by Wine (8.0); the checks of those run
// only off Wine and say so: the fake keeps the Windows rule, which is the
// one the product meets.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "platform/platform.h"

#if !defined(_WIN32)
#include "platform/fake/fake_control.h"
#endif

namespace platform {
namespace {

constexpr uint32_t kSentinel = 0xdeadbeef;
constexpr char kGuard = '\xCC';
constexpr long kKeyDeleted = 1018;
constexpr long kDirectoryName = 267;
constexpr char kTestKey[] = "Software\\NoxContractTest";
constexpr char kTestFolder[] = "C:\\nox-contract-test";

void ResetFakeWorld() {
#if !defined(_WIN32)
  fake::Reset();
#endif
}

bool UnderWine() { return FindLibraryExport("ntdll.dll", "wine_get_version") != nullptr; }

#define SKIP_UNDER_WINE(why)                                  \
  do {                                                        \
    if (UnderWine()) GTEST_SKIP() << "Wine differs: " << why; \
  } while (false)

// Deletes a key and everything below it (RegDeleteKey removes only leaves).
void DeleteKeyTree(RegKey parent, const std::string& subkey) {
  ScopedRegKey key;
  if (RegOpenKey(parent, subkey, kKeyAllAccess, key.receive()) != kSuccess) return;
  std::string child;
  while (RegEnumKey(key.get(), 0, &child) == kSuccess) {
    DeleteKeyTree(key.get(), child);
    child.clear();
  }
  key.Reset();
  RegDeleteKey(parent, subkey);
}

// Removes the test folder's contents and the folder. Refuses any other path:
// a wrong path here must not be able to delete anything else.
void RemoveTree(const std::string& path) {
  ASSERT_EQ(path.rfind(kTestFolder, 0), 0u) << path;
  std::vector<FindEntry> entries;
  if (FindFiles(path + "\\*", &entries) == kSuccess) {
    for (const FindEntry& entry : entries) {
      if (entry.name == "." || entry.name == "..") continue;
      std::string child = path + "\\" + entry.name;
      SetFileAttributes(child, kAttrNormal);
      if (entry.attributes & kAttrDirectory) {
        RemoveTree(child);
      } else {
        DeleteFile(child);
      }
    }
  }
  RemoveDirectory(path);
}

std::string Bytes(std::initializer_list<int> values) {
  std::string bytes;
  for (int value : values) bytes.push_back(static_cast<char>(value));
  return bytes;
}

// Shows bytes as hex so a failing byte comparison says which byte differs.
std::string Hex(std::string_view bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string text;
  for (unsigned char c : bytes) {
    text += kDigits[c >> 4];
    text += kDigits[c & 15];
    text += ' ';
  }
  return text;
}

// ---------------------------------------------------------------- registry

class RegistryContract : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetFakeWorld();
    DeleteKeyTree(kCurrentUser, kTestKey);
    ASSERT_EQ(RegCreateKey(kCurrentUser, kTestKey, key_.receive()), kSuccess);
  }
  void TearDown() override {
    key_.Reset();
    DeleteKeyTree(kCurrentUser, kTestKey);
  }

  RegKey key() const { return key_.get(); }

  void Set(const std::string& name, uint32_t type, const std::string& data) {
    ASSERT_EQ(RegSetValue(key(), name, type, data), kSuccess) << name;
  }

  std::vector<std::string> SubkeyNames(RegKey parent) {
    std::vector<std::string> names;
    std::string name;
    while (RegEnumKey(parent, static_cast<uint32_t>(names.size()), &name) == kSuccess) {
      names.push_back(name);
    }
    return names;
  }

 private:
  ScopedRegKey key_;
};

TEST_F(RegistryContract, CreatesNestedKeysInOneCall) {
  ScopedRegKey created;
  ASSERT_EQ(RegCreateKey(key(), "One\\Two\\Three", created.receive()), kSuccess);
  EXPECT_NE(created.get(), kNoKey);
  ScopedRegKey opened;
  EXPECT_EQ(RegOpenKey(key(), "One\\Two", kKeyRead, opened.receive()), kSuccess);
  EXPECT_EQ(SubkeyNames(opened.get()), std::vector<std::string>{"Three"});
  ScopedRegKey from_root;
  EXPECT_EQ(RegOpenKey(kCurrentUser, std::string(kTestKey) + "\\One\\Two\\Three", kKeyRead,
                       from_root.receive()),
            kSuccess);
}

TEST_F(RegistryContract, CreatingAnExistingKeyOpensIt) {
  ScopedRegKey first;
  ASSERT_EQ(RegCreateKey(key(), "Twice", first.receive()), kSuccess);
  Set("", kRegSz, "x");
  ASSERT_EQ(RegSetValue(first.get(), "Mark", kRegSz, std::string("m\0", 2)), kSuccess);
  ScopedRegKey second;
  ASSERT_EQ(RegCreateKey(key(), "Twice", second.receive()), kSuccess);
  uint32_t size = 0;
  EXPECT_EQ(RegQueryValue(second.get(), "Mark", nullptr, nullptr, &size), kSuccess);
  EXPECT_EQ(size, 2u);
}

TEST_F(RegistryContract, KeyNamesIgnoreCaseAndKeepTheFirstSpelling) {
  ScopedRegKey first;
  ASSERT_EQ(RegCreateKey(key(), "MixedCase\\Inner", first.receive()), kSuccess);
  ScopedRegKey again;
  ASSERT_EQ(RegCreateKey(key(), "MIXEDCASE\\inner", again.receive()), kSuccess);
  EXPECT_EQ(SubkeyNames(key()), std::vector<std::string>{"MixedCase"});
  ScopedRegKey opened;
  EXPECT_EQ(RegOpenKey(key(), "mixedcase\\INNER", kKeyRead, opened.receive()), kSuccess);
}

TEST_F(RegistryContract, ValueNamesIgnoreCaseAndKeepTheFirstSpelling) {
  Set("Value", kRegSz, std::string("one\0", 4));
  Set("VALUE", kRegSz, std::string("two\0", 4));
  std::string name;
  uint32_t type = kSentinel;
  std::string data;
  ASSERT_EQ(RegEnumValue(key(), 0, &name, &type, &data), kSuccess);
  EXPECT_EQ(name, "Value");
  EXPECT_EQ(data, std::string("two\0", 4));
  EXPECT_EQ(RegEnumValue(key(), 1, &name, &type, &data), kNoMoreItems);
  char buffer[8] = {};
  uint32_t size = sizeof buffer;
  EXPECT_EQ(RegQueryValue(key(), "vAlUe", &type, buffer, &size), kSuccess);
  EXPECT_EQ(std::string(buffer, size), std::string("two\0", 4));
}

TEST_F(RegistryContract, UnnamedDefaultValue) {
  uint32_t size = kSentinel;
  EXPECT_EQ(RegQueryValue(key(), "", nullptr, nullptr, &size), kFileNotFound);
  EXPECT_EQ(size, kSentinel);
  Set("", kRegSz, std::string("default\0", 8));
  uint32_t type = kSentinel;
  char buffer[16];
  size = sizeof buffer;
  ASSERT_EQ(RegQueryValue(key(), "", &type, buffer, &size), kSuccess);
  EXPECT_EQ(type, kRegSz);
  EXPECT_EQ(std::string(buffer, size), std::string("default\0", 8));
  std::string name = "sentinel";
  std::string data;
  ASSERT_EQ(RegEnumValue(key(), 0, &name, &type, &data), kSuccess);
  EXPECT_EQ(name, "");
  EXPECT_EQ(RegDeleteValue(key(), ""), kSuccess);
  EXPECT_EQ(RegQueryValue(key(), "", nullptr, nullptr, &size), kFileNotFound);
}

// Texts keep exactly the bytes given, terminator or not; a caller buffer
// with room to spare gets a terminator after an unterminated text.
TEST_F(RegistryContract, TextBytesAreStoredAsGiven) {
  const struct {
    std::string stored;
    size_t buffer_size;
    std::string want_in_buffer;  // the buffer's first bytes afterwards
  } cases[] = {
      {std::string("abc\0", 4), 4, std::string("abc\0", 4)},
      {std::string("abc\0", 4), 8, std::string("abc\0", 4)},
      {"abc", 3, "abc"},
      {"abc", 4, std::string("abc\0", 4)},
      {"abc", 8, std::string("abc\0", 4)},
      {std::string("\0", 1), 4, std::string("\0", 1)},
      {std::string("a\0b\0", 4), 4, std::string("a\0b\0", 4)},
      {"", 4, ""},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE("case " + std::to_string(i) + ": " + Hex(cases[i].stored));
    Set("Text", kRegSz, cases[i].stored);
    std::string buffer(cases[i].buffer_size + 4, kGuard);
    uint32_t size = static_cast<uint32_t>(cases[i].buffer_size);
    uint32_t type = kSentinel;
    ASSERT_EQ(RegQueryValue(key(), "Text", &type, buffer.data(), &size), kSuccess);
    EXPECT_EQ(type, kRegSz);
    EXPECT_EQ(size, cases[i].stored.size());
    const std::string& want = cases[i].want_in_buffer;
    EXPECT_EQ(Hex(buffer.substr(0, want.size())), Hex(want));
    EXPECT_EQ(buffer.find_first_not_of(kGuard, want.size()), std::string::npos)
        << "bytes written past the data: " << Hex(buffer);
    std::string name;
    std::string data;
    ASSERT_EQ(RegEnumValue(key(), 0, &name, &type, &data), kSuccess);
    EXPECT_EQ(Hex(data), Hex(cases[i].stored));
  }
}

TEST_F(RegistryContract, DwordAndBinaryBytesAreExact) {
  const struct {
    const char* name;
    uint32_t type;
    std::string bytes;
  } cases[] = {
      {"Dword", kRegDword, Bytes({0x78, 0x56, 0x34, 0x12})},
      {"DwordZero", kRegDword, Bytes({0, 0, 0, 0})},
      {"DwordHigh", kRegDword, Bytes({0xFF, 0xFF, 0xFF, 0xFF})},
      {"Binary", kRegBinary, Bytes({0x00, 0xFF, 0x00, 0x80})},
      {"BinaryLong", kRegBinary, Bytes({1, 0, 2, 0, 0, 3, 0xFE})},
      {"BinaryEmpty", kRegBinary, ""},
  };
  for (const auto& c : cases) Set(c.name, c.type, c.bytes);
  for (size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(std::string("case ") + cases[i].name);
    std::string buffer(16, kGuard);
    uint32_t size = 12;
    uint32_t type = kSentinel;
    ASSERT_EQ(RegQueryValue(key(), cases[i].name, &type, buffer.data(), &size), kSuccess);
    EXPECT_EQ(type, cases[i].type);
    ASSERT_EQ(size, cases[i].bytes.size());
    EXPECT_EQ(Hex(buffer.substr(0, size)), Hex(cases[i].bytes));
    EXPECT_EQ(buffer.find_first_not_of(kGuard, size), std::string::npos) << Hex(buffer);
  }
}

TEST_F(RegistryContract, MissingValueLeavesTheOutputsAlone) {
  Set("Present", kRegDword, Bytes({1, 0, 0, 0}));
  std::string buffer(8, kGuard);
  uint32_t type = kSentinel;
  uint32_t size = 4;
  EXPECT_EQ(RegQueryValue(key(), "Absent", &type, buffer.data(), &size), kFileNotFound);
  EXPECT_EQ(type, kSentinel);
  EXPECT_EQ(size, 4u);
  EXPECT_EQ(buffer, std::string(8, kGuard));
  size = kSentinel;
  EXPECT_EQ(RegQueryValue(key(), "Absent", &type, nullptr, &size), kFileNotFound);
  EXPECT_EQ(size, kSentinel);
  EXPECT_EQ(type, kSentinel);
}

TEST_F(RegistryContract, MissingKeyCannotBeOpened) {
  const char* paths[] = {"Absent", "Absent\\Deeper", "absent\\"};
  for (const char* path : paths) {
    RegKey opened = kSentinel;
    EXPECT_EQ(RegOpenKey(key(), path, kKeyRead, &opened), kFileNotFound) << path;
    EXPECT_EQ(opened, kNoKey) << path;
  }
}

TEST_F(RegistryContract, TooSmallBufferReportsTheNeededSize) {
  Set("Binary", kRegBinary, Bytes({1, 2, 3, 4, 5, 6, 7, 8}));
  Set("Text", kRegSz, std::string("hello\0", 6));
  const struct {
    const char* name;
    uint32_t type;
    uint32_t needed;
  } cases[] = {{"Binary", kRegBinary, 8}, {"Text", kRegSz, 6}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::string buffer(8, kGuard);
    uint32_t size = 3;
    uint32_t type = kSentinel;
    EXPECT_EQ(RegQueryValue(key(), c.name, &type, buffer.data(), &size), kMoreData);
    EXPECT_EQ(size, c.needed);
    EXPECT_EQ(type, c.type);
    EXPECT_EQ(buffer.substr(3), std::string(5, kGuard)) << Hex(buffer);
    size = 0;
    EXPECT_EQ(RegQueryValue(key(), c.name, nullptr, nullptr, &size), kSuccess)
        << "no buffer: just the size";
    EXPECT_EQ(size, c.needed);
  }
}

// Subkeys come in the order of their names compared in lower case (so "_"
// sorts before the letters).
TEST_F(RegistryContract, EnumeratesSubkeysByIndexInNameOrder) {
  for (const char* name : {"b", "A", "c", "_x", "B2", "a1"}) {
    ScopedRegKey created;
    ASSERT_EQ(RegCreateKey(key(), name, created.receive()), kSuccess);
  }
  EXPECT_EQ(SubkeyNames(key()), (std::vector<std::string>{"_x", "A", "a1", "b", "B2", "c"}));
  std::string name = "untouched";
  EXPECT_EQ(RegEnumKey(key(), 6, &name), kNoMoreItems);
  EXPECT_EQ(RegEnumKey(key(), 1000, &name), kNoMoreItems);
  EXPECT_EQ(name, "untouched");
}

// Wine lists values in name order; Windows in the order they were created.
// The logic must not depend on either: this checks only that every value
// is listed once.
TEST_F(RegistryContract, EnumeratesValuesByIndex) {
  Set("zeta", kRegSz, "z");
  Set("Alpha", kRegDword, Bytes({1, 0, 0, 0}));
  Set("mid", kRegBinary, "m");
  std::vector<std::string> names;
  std::string name;
  uint32_t type = 0;
  std::string data;
  while (RegEnumValue(key(), static_cast<uint32_t>(names.size()), &name, &type, &data) ==
         kSuccess) {
    names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"Alpha", "mid", "zeta"}));
  EXPECT_EQ(RegEnumValue(key(), 3, &name, &type, &data), kNoMoreItems);
}

TEST_F(RegistryContract, KeyWithSubkeysCannotBeDeleted) {
  ScopedRegKey created;
  ASSERT_EQ(RegCreateKey(key(), "Parent\\Child", created.receive()), kSuccess);
  created.Reset();
  EXPECT_EQ(RegDeleteKey(key(), "Parent"), kAccessDenied);
  EXPECT_EQ(SubkeyNames(key()), std::vector<std::string>{"Parent"});
  EXPECT_EQ(RegDeleteKey(key(), "PARENT\\child"), kSuccess);
  EXPECT_EQ(RegDeleteKey(key(), "Parent"), kSuccess);
  EXPECT_TRUE(SubkeyNames(key()).empty());
  EXPECT_EQ(RegDeleteKey(key(), "Parent"), kFileNotFound);
}

TEST_F(RegistryContract, DeletingAKeyRemovesItsValues) {
  ScopedRegKey created;
  ASSERT_EQ(RegCreateKey(key(), "Gone", created.receive()), kSuccess);
  ASSERT_EQ(RegSetValue(created.get(), "V", kRegSz, "v"), kSuccess);
  created.Reset();
  ASSERT_EQ(RegDeleteKey(key(), "Gone"), kSuccess);
  ASSERT_EQ(RegCreateKey(key(), "Gone", created.receive()), kSuccess);
  uint32_t size = 0;
  EXPECT_EQ(RegQueryValue(created.get(), "V", nullptr, nullptr, &size), kFileNotFound);
}

TEST_F(RegistryContract, HandleOfADeletedKey) {
  RegKey doomed = kNoKey;
  ASSERT_EQ(RegCreateKey(key(), "Doomed", &doomed), kSuccess);
  ASSERT_EQ(RegDeleteKey(key(), "Doomed"), kSuccess);
  uint32_t size = 0;
  EXPECT_EQ(RegQueryValue(doomed, "V", nullptr, nullptr, &size), kKeyDeleted);
  EXPECT_EQ(RegSetValue(doomed, "V", kRegSz, "v"), kKeyDeleted);
  EXPECT_EQ(RegCloseKey(doomed), kSuccess);
}

TEST_F(RegistryContract, ZeroAndClosedHandlesAreInvalid) {
  uint32_t size = 0;
  RegKey out = kSentinel;
  std::string name;
  EXPECT_EQ(RegSetValue(kNoKey, "V", kRegSz, "v"), kInvalidHandle);
  EXPECT_EQ(RegQueryValue(kNoKey, "V", nullptr, nullptr, &size), kInvalidHandle);
  EXPECT_EQ(RegOpenKey(kNoKey, "Software", kKeyRead, &out), kInvalidHandle);
  EXPECT_EQ(out, kNoKey);
  out = kSentinel;
  EXPECT_EQ(RegCreateKey(kNoKey, "Software", &out), kInvalidHandle);
  EXPECT_EQ(out, kNoKey);
  EXPECT_EQ(RegEnumKey(kNoKey, 0, &name), kInvalidHandle);
  EXPECT_EQ(RegDeleteKey(kNoKey, "X"), kInvalidHandle);
  EXPECT_EQ(RegCloseKey(kNoKey), kInvalidHandle);
  EXPECT_EQ(RegFlushKey(kNoKey), kInvalidHandle);

  RegKey closed = kNoKey;
  ASSERT_EQ(RegCreateKey(key(), "Closed", &closed), kSuccess);
  ASSERT_EQ(RegCloseKey(closed), kSuccess);
  EXPECT_EQ(RegQueryValue(closed, "V", nullptr, nullptr, &size), kInvalidHandle);
  EXPECT_EQ(RegSetValue(closed, "V", kRegSz, "v"), kInvalidHandle);
  EXPECT_EQ(RegCloseKey(closed), kInvalidHandle);
}

TEST_F(RegistryContract, PredefinedRootsNeedNoClosing) {
  EXPECT_EQ(RegCloseKey(kCurrentUser), kSuccess);
  ScopedRegKey software;
  EXPECT_EQ(RegOpenKey(kCurrentUser, "Software", kKeyRead, software.receive()), kSuccess);
  EXPECT_EQ(RegFlushKey(key()), kSuccess);
}

TEST_F(RegistryContract, TrailingBackslashAndEmptySubkey) {
  ScopedRegKey created;
  ASSERT_EQ(RegCreateKey(key(), "Slash\\", created.receive()), kSuccess);
  EXPECT_EQ(SubkeyNames(key()), std::vector<std::string>{"Slash"});
  ScopedRegKey same;
  ASSERT_EQ(RegOpenKey(key(), "", kKeyAllAccess, same.receive()), kSuccess);
  EXPECT_NE(same.get(), kNoKey);
  ASSERT_EQ(RegSetValue(same.get(), "ViaEmpty", kRegSz, "e"), kSuccess);
  uint32_t size = 0;
  EXPECT_EQ(RegQueryValue(key(), "ViaEmpty", nullptr, nullptr, &size), kSuccess);
  ScopedRegKey created_empty;
  ASSERT_EQ(RegCreateKey(key(), "", created_empty.receive()), kSuccess);
  EXPECT_EQ(RegQueryValue(created_empty.get(), "ViaEmpty", nullptr, nullptr, &size), kSuccess);
  EXPECT_EQ(SubkeyNames(key()), std::vector<std::string>{"Slash"});
}

TEST_F(RegistryContract, OddSubkeyPaths) {
  constexpr long kBadPathname = 161;
  RegKey out = kSentinel;
  EXPECT_EQ(RegOpenKey(key(), "\\Slash", kKeyRead, &out), kBadPathname);
  EXPECT_EQ(out, kNoKey);
  EXPECT_EQ(RegCreateKey(key(), "\\Lead", &out), kBadPathname);
  EXPECT_TRUE(SubkeyNames(key()).empty());
  ScopedRegKey doubled;
  ASSERT_EQ(RegCreateKey(key(), "Double\\\\Inner\\\\", doubled.receive()), kSuccess)
      << "empty names in the path are skipped";
  ScopedRegKey inner;
  EXPECT_EQ(RegOpenKey(key(), "Double\\Inner", kKeyRead, inner.receive()), kSuccess);
  EXPECT_EQ(SubkeyNames(key()), std::vector<std::string>{"Double"});
}

TEST_F(RegistryContract, EmptyPathOnARootGivesTheRootItself) {
  RegKey out = kNoKey;
  ASSERT_EQ(RegOpenKey(kCurrentUser, "", kKeyRead, &out), kSuccess);
  EXPECT_EQ(out, kCurrentUser);
  ScopedRegKey created;
  ASSERT_EQ(RegCreateKey(kCurrentUser, "", created.receive()), kSuccess);
  ScopedRegKey test_key;
  EXPECT_EQ(RegOpenKey(created.get(), kTestKey, kKeyRead, test_key.receive()), kSuccess)
      << "a handle of HKEY_CURRENT_USER";
}

TEST_F(RegistryContract, DeletingWithAnEmptyPathDeletesTheKeyItself) {
  RegKey leaf = kNoKey;
  ASSERT_EQ(RegCreateKey(key(), "Leaf", &leaf), kSuccess);
  EXPECT_EQ(RegDeleteKey(leaf, ""), kSuccess);
  EXPECT_TRUE(SubkeyNames(key()).empty());
  EXPECT_EQ(RegCloseKey(leaf), kSuccess);
  EXPECT_EQ(RegDeleteKey(kCurrentUser, ""), kAccessDenied) << "a root cannot be deleted";
}

TEST_F(RegistryContract, ReadOnlyHandleCannotWrite) {
  Set("V", kRegSz, "v");
  ScopedRegKey reader;
  ASSERT_EQ(RegOpenKey(kCurrentUser, kTestKey, kKeyRead, reader.receive()), kSuccess);
  EXPECT_EQ(RegSetValue(reader.get(), "W", kRegSz, "w"), kAccessDenied);
  EXPECT_EQ(RegDeleteValue(reader.get(), "V"), kAccessDenied);
  uint32_t size = 0;
  EXPECT_EQ(RegQueryValue(reader.get(), "V", nullptr, nullptr, &size), kSuccess);
  ScopedRegKey lister;
  ASSERT_EQ(RegOpenKey(kCurrentUser, kTestKey, kKeyEnumerateSubKeys, lister.receive()), kSuccess);
  EXPECT_EQ(RegQueryValue(lister.get(), "V", nullptr, nullptr, &size), kAccessDenied);
}

// One path under two roots is two keys; a key closed inside the scope is
// handed out again, a deleted one is not; none stays open after the scope.
TEST_F(RegistryContract, KeyCacheScope) {
  const std::string path = std::string(kTestKey) + "\\Kept";
  DeleteKeyTree(kLocalMachine, kTestKey);
#if !defined(_WIN32)
  const size_t open_before = fake::OpenRegKeyCount();
#endif
  {
    RegKeyCacheScope scope;
    RegKeyCacheScope inner;
    const std::pair<RegKey, std::string> marks[] = {{kCurrentUser, "U"}, {kLocalMachine, "M"}};
    for (const auto& [root, mark] : marks) {
      ScopedRegKey key;
      ASSERT_EQ(RegCreateKey(root, path, key.receive()), kSuccess) << mark;
      ASSERT_EQ(RegSetValue(key.get(), "Root", kRegSz, mark), kSuccess) << mark;
    }
    RegKey closed = kNoKey;
    ASSERT_EQ(RegCreateKey(kCurrentUser, path, &closed), kSuccess);
    ASSERT_EQ(RegCloseKey(closed), kSuccess);
    ScopedRegKey again;
    ASSERT_EQ(RegOpenKey(kCurrentUser, path, kKeyRead, again.receive()), kSuccess);
    EXPECT_EQ(again.get(), closed);
    ASSERT_EQ(RegDeleteKey(kCurrentUser, path), kSuccess);
    ScopedRegKey recreated;
    ASSERT_EQ(RegCreateKey(kCurrentUser, path, recreated.receive()), kSuccess);
    EXPECT_EQ(RegSetValue(recreated.get(), "After", kRegSz, "a"), kSuccess);
  }
#if !defined(_WIN32)
  EXPECT_EQ(fake::OpenRegKeyCount(), open_before);
#endif
  const std::tuple<RegKey, std::string, long> expected[] = {{kCurrentUser, "Root", kFileNotFound},
                                                            {kCurrentUser, "After", kSuccess},
                                                            {kLocalMachine, "Root", kSuccess}};
  for (const auto& [root, name, result] : expected) {
    ScopedRegKey key;
    ASSERT_EQ(RegOpenKey(root, path, kKeyRead, key.receive()), kSuccess) << name;
    uint32_t size = 0;
    EXPECT_EQ(RegQueryValue(key.get(), name, nullptr, nullptr, &size), result) << root << name;
  }
  DeleteKeyTree(kLocalMachine, kTestKey);
}

// What a library sharing the scope's keys is told, in order.
std::vector<bool>* keep_calls = nullptr;
void RecordKeep(bool keep) { keep_calls->push_back(keep); }

// Told to keep its keys once per stretch of the scope, and to let go of them
// when a key is deleted, when asked to, and when the scope ends; never
// outside a scope.
TEST_F(RegistryContract, KeyCacheScopeSharing) {
  std::vector<bool> calls;
  keep_calls = &calls;
  ShareKeptRegKeys(&RecordKeep);
  EXPECT_TRUE(calls.empty()) << "no scope";
  {
    RegKeyCacheScope scope;
    ShareKeptRegKeys(&RecordKeep);
    ShareKeptRegKeys(&RecordKeep);
    EXPECT_EQ(calls, std::vector<bool>{true});
    ASSERT_EQ(RegDeleteKey(key(), kTestKey), kFileNotFound);
    EXPECT_EQ(calls, (std::vector<bool>{true, false})) << "a deletion, even a failed one";
    ShareKeptRegKeys(&RecordKeep);
    ReleaseKeptRegKeys();
    ReleaseKeptRegKeys();
    ShareKeptRegKeys(&RecordKeep);
  }
  EXPECT_EQ(calls, (std::vector<bool>{true, false, true, false, true, false}));
  keep_calls = nullptr;
}

TEST_F(RegistryContract, DeleteValue) {
  Set("V", kRegSz, "v");
  EXPECT_EQ(RegDeleteValue(key(), "Missing"), kFileNotFound);
  EXPECT_EQ(RegDeleteValue(key(), "v"), kSuccess);
  uint32_t size = 0;
  EXPECT_EQ(RegQueryValue(key(), "V", nullptr, nullptr, &size), kFileNotFound);
  EXPECT_EQ(RegDeleteValue(key(), "V"), kFileNotFound);
}

// ------------------------------------------------------------------- files

class FileContract : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetFakeWorld();
    RemoveTree(kTestFolder);
    ASSERT_EQ(CreateDirectory(kTestFolder), kSuccess);
  }
  void TearDown() override { RemoveTree(kTestFolder); }

  static std::string At(const std::string& name) { return std::string(kTestFolder) + "\\" + name; }

  static void Put(const std::string& name, const std::string& data) {
    ASSERT_EQ(WriteWholeFile(At(name), data), kSuccess) << name;
  }

  static std::string Read(const std::string& name) {
    std::string data = "<missing>";
    EXPECT_EQ(ReadWholeFile(At(name), &data), kSuccess) << name;
    return data;
  }

  static uint32_t Attributes(const std::string& name) {
    uint32_t attributes = kSentinel;
    EXPECT_EQ(GetFileAttributes(At(name), &attributes), kSuccess) << name;
    return attributes;
  }

  // Wine keeps the read-only attribute in the host file's permissions, which
  // a process running as root does not meet.
  static bool ReadOnlyEnforced() {
    const std::string probe = At("probe.ro");
    WriteWholeFile(probe, "p");
    SetFileAttributes(probe, kAttrReadOnly);
    bool enforced = WriteFileAt(probe, 0, "x") != kSuccess;
    SetFileAttributes(probe, kAttrNormal);
    DeleteFile(probe);
    return enforced;
  }

  // The names FindFiles lists, "." and ".." first as Windows gives them, the
  // rest sorted (their order depends on the file system).
  static long List(const std::string& pattern, std::vector<std::string>* names) {
    std::vector<FindEntry> entries;
    names->clear();
    long result = FindFiles(pattern, &entries);
    for (const FindEntry& entry : entries) names->push_back(entry.name);
    auto rest = names->begin();
    while (rest != names->end() && (*rest == "." || *rest == "..")) ++rest;
    std::sort(rest, names->end());
    return result;
  }
};

TEST_F(FileContract, WritesAndReadsAtOffsets) {
  ASSERT_EQ(WriteFileAt(At("f.bin"), 0, "abcdef"), kSuccess);
  ASSERT_EQ(WriteFileAt(At("f.bin"), 2, "XY"), kSuccess);
  EXPECT_EQ(Read("f.bin"), "abXYef");
  ASSERT_EQ(WriteFileAt(At("f.bin"), 8, "Z"), kSuccess);
  EXPECT_EQ(Hex(Read("f.bin")), Hex(std::string("abXYef\0\0Z", 9)));
  uint64_t length = 0;
  EXPECT_EQ(FileLength(At("f.bin"), &length), kSuccess);
  EXPECT_EQ(length, 9u);
  std::string part;
  EXPECT_EQ(ReadFileAt(At("f.bin"), 7, 10, &part), kSuccess);
  EXPECT_EQ(part, std::string("\0Z", 2));
  EXPECT_EQ(ReadFileAt(At("f.bin"), 1, 3, &part), kSuccess);
  EXPECT_EQ(part, "bXY");
  EXPECT_EQ(ReadFileAt(At("f.bin"), 100, 5, &part), kSuccess);
  EXPECT_EQ(part, "");
}

TEST_F(FileContract, WholeFileWritesReplaceAndCreateKeepsContent) {
  Put("w.txt", "a longer first content");
  Put("w.txt", "short");
  EXPECT_EQ(Read("w.txt"), "short");
  EXPECT_EQ(CreateFileIfMissing(At("w.txt")), kSuccess);
  EXPECT_EQ(Read("w.txt"), "short");
  EXPECT_EQ(CreateFileIfMissing(At("new.txt")), kSuccess);
  EXPECT_EQ(Read("new.txt"), "");
  Put("empty.txt", "");
  EXPECT_EQ(Read("empty.txt"), "");
}

TEST_F(FileContract, MissingFilesAndFolders) {
  const std::string missing = At("missing.txt");
  const std::string no_folder = At("nofolder\\x.txt");
  std::string data;
  uint32_t attributes = kSentinel;
  uint64_t length = kSentinel;
  EXPECT_EQ(OpenForReading(missing), kFileNotFound);
  EXPECT_EQ(OpenForReading(no_folder), kPathNotFound);
  EXPECT_EQ(ReadWholeFile(missing, &data), kFileNotFound);
  EXPECT_EQ(ReadFileAt(no_folder, 0, 1, &data), kPathNotFound);
  EXPECT_EQ(WriteFileAt(no_folder, 0, "x"), kPathNotFound);
  EXPECT_EQ(WriteWholeFile(no_folder, "x"), kPathNotFound);
  EXPECT_EQ(CreateFileIfMissing(no_folder), kPathNotFound);
  EXPECT_EQ(GetFileAttributes(missing, &attributes), kFileNotFound);
  EXPECT_EQ(GetFileAttributes(no_folder, &attributes), kPathNotFound);
  EXPECT_EQ(attributes, kSentinel);
  EXPECT_EQ(SetFileAttributes(missing, kAttrHidden), kFileNotFound);
  EXPECT_EQ(FileLength(missing, &length), kFileNotFound);
  EXPECT_EQ(length, kSentinel);
  EXPECT_EQ(DeleteFile(missing), kFileNotFound);
  EXPECT_EQ(DeleteFile(no_folder), kPathNotFound);
  EXPECT_EQ(CopyFile(missing, At("copy.txt")), kFileNotFound);
  EXPECT_EQ(MoveFile(missing, At("moved.txt")), kFileNotFound);
  EXPECT_EQ(RemoveDirectory(At("nofolder")), kFileNotFound);
  EXPECT_EQ(CreateDirectory(At("nofolder\\deeper")), kPathNotFound);
}

TEST_F(FileContract, NamesIgnoreCaseAndKeepTheStoredSpelling) {
  Put("MiXeD.TxT", "first");
  EXPECT_EQ(Read("mixed.txt"), "first");
  Put("MIXED.TXT", "second");
  EXPECT_EQ(Read("Mixed.Txt"), "second");
  std::vector<std::string> names;
  ASSERT_EQ(List(At("*"), &names), kSuccess);
  EXPECT_EQ(names, (std::vector<std::string>{".", "..", "MiXeD.TxT"}));
  std::string data;
  EXPECT_EQ(ReadWholeFile("C:/nox-contract-test/mixed.txt", &data), kSuccess);
  EXPECT_EQ(data, "second");
  EXPECT_EQ(ReadWholeFile("c:\\NOX-CONTRACT-TEST\\MIXED.TXT", &data), kSuccess);
}

// Wine reports every file with the archive attribute, whatever was set;
// Windows reports exactly what was set (kAttrNormal for nothing).
TEST_F(FileContract, AttributesAreSetAndCleared) {
  Put("a.txt", "a");
  EXPECT_EQ(Attributes("a.txt"), kAttrArchive) << "a new file";
  const uint32_t cases[] = {kAttrReadOnly,
                            kAttrHidden,
                            kAttrSystem,
                            kAttrReadOnly | kAttrHidden | kAttrSystem,
                            kAttrHidden | kAttrArchive,
                            kAttrDirectory | kAttrHidden};
  for (uint32_t wanted : cases) {
    ASSERT_EQ(SetFileAttributes(At("a.txt"), wanted), kSuccess);
    uint32_t attributes = Attributes("a.txt");
    uint32_t settable = wanted & (kAttrReadOnly | kAttrHidden | kAttrSystem);
    EXPECT_EQ(attributes & ~kAttrArchive, settable) << "set " << wanted;
    if (!UnderWine()) {
      EXPECT_EQ(attributes, wanted & ~kAttrDirectory) << "set " << wanted;
    }
  }
  ASSERT_EQ(SetFileAttributes(At("a.txt"), kAttrNormal), kSuccess);
  EXPECT_EQ(Attributes("a.txt") & (kAttrReadOnly | kAttrHidden | kAttrSystem), 0u);
  if (!UnderWine()) {
    EXPECT_EQ(Attributes("a.txt"), kAttrNormal);
  }
  ASSERT_EQ(CreateDirectory(At("dir")), kSuccess);
  EXPECT_EQ(Attributes("dir"), kAttrDirectory);
  ASSERT_EQ(SetFileAttributes(At("dir"), kAttrHidden), kSuccess);
  EXPECT_EQ(Attributes("dir"), kAttrDirectory | kAttrHidden);
}

TEST_F(FileContract, ReadOnlyFileCannotBeDeleted) {
  Put("ro.txt", "keep");
  ASSERT_EQ(SetFileAttributes(At("ro.txt"), kAttrReadOnly), kSuccess);
  EXPECT_EQ(DeleteFile(At("ro.txt")), kAccessDenied);
  EXPECT_EQ(OpenForReading(At("ro.txt")), kSuccess);
  EXPECT_EQ(Read("ro.txt"), "keep");
  ASSERT_EQ(SetFileAttributes(At("ro.txt"), kAttrNormal), kSuccess);
  EXPECT_EQ(DeleteFile(At("ro.txt")), kSuccess);
}

TEST_F(FileContract, ReadOnlyFileRefusesWrites) {
  if (!ReadOnlyEnforced()) GTEST_SKIP() << "read-only is not enforced here (Wine run as root)";
  Put("ro.txt", "keep");
  ASSERT_EQ(SetFileAttributes(At("ro.txt"), kAttrReadOnly), kSuccess);
  EXPECT_EQ(WriteFileAt(At("ro.txt"), 0, "x"), kAccessDenied);
  EXPECT_EQ(WriteWholeFile(At("ro.txt"), "x"), kAccessDenied);
  EXPECT_EQ(CreateFileIfMissing(At("ro.txt")), kAccessDenied);
  EXPECT_EQ(Read("ro.txt"), "keep");
  ASSERT_EQ(SetFileAttributes(At("ro.txt"), kAttrNormal), kSuccess);
  EXPECT_EQ(WriteFileAt(At("ro.txt"), 0, "K"), kSuccess);
  EXPECT_EQ(Read("ro.txt"), "Keep");
  EXPECT_EQ(DeleteFile(At("ro.txt")), kSuccess);
}

TEST_F(FileContract, HiddenFileIsNotReplacedByAWholeFileWrite) {
  SKIP_UNDER_WINE("CREATE_ALWAYS replaces a hidden file");
  Put("h.txt", "hidden");
  ASSERT_EQ(SetFileAttributes(At("h.txt"), kAttrHidden), kSuccess);
  EXPECT_EQ(WriteWholeFile(At("h.txt"), "x"), kAccessDenied);
  EXPECT_EQ(WriteFileAt(At("h.txt"), 0, "H"), kSuccess);
  EXPECT_EQ(Read("h.txt"), "Hidden");
}

TEST_F(FileContract, MoveDoesNotReplaceAndReplaceDoes) {
  Put("a.txt", "a");
  Put("b.txt", "b");
  EXPECT_EQ(MoveFile(At("a.txt"), At("b.txt")), kAlreadyExists);
  EXPECT_EQ(MoveFile(At("a.txt"), At("B.TXT")), kAlreadyExists);
  EXPECT_EQ(Read("a.txt"), "a");
  EXPECT_EQ(Read("b.txt"), "b");
  EXPECT_EQ(ReplaceFile(At("a.txt"), At("b.txt")), kSuccess);
  EXPECT_EQ(Read("b.txt"), "a");
  EXPECT_EQ(OpenForReading(At("a.txt")), kFileNotFound);
  EXPECT_EQ(MoveFile(At("b.txt"), At("c.txt")), kSuccess);
  EXPECT_EQ(Read("c.txt"), "a");
  EXPECT_EQ(OpenForReading(At("b.txt")), kFileNotFound);
  ASSERT_EQ(CreateDirectory(At("sub")), kSuccess);
  EXPECT_EQ(MoveFile(At("c.txt"), At("sub\\d.txt")), kSuccess);
  EXPECT_EQ(Read("sub\\d.txt"), "a");
  EXPECT_EQ(MoveFile(At("sub"), At("renamed")), kSuccess);
  EXPECT_EQ(Read("renamed\\d.txt"), "a");
}

TEST_F(FileContract, MoveCanChangeTheCaseOfAName) {
  Put("case.txt", "c");
  EXPECT_EQ(MoveFile(At("case.txt"), At("CASE.TXT")), kSuccess);
  EXPECT_EQ(Read("Case.Txt"), "c");
  std::vector<std::string> names;
  ASSERT_EQ(List(At("c*"), &names), kSuccess);
  ASSERT_EQ(names.size(), 1u);
  if (!UnderWine()) {
    EXPECT_EQ(names[0], "CASE.TXT") << "Wine keeps the old spelling";
  }
}

TEST_F(FileContract, FoldersAsSourceOrTarget) {
  Put("file.txt", "f");
  Put("other.txt", "o");
  ASSERT_EQ(CreateDirectory(At("dir")), kSuccess);
  uint64_t length = 0;
  EXPECT_EQ(MoveFile(At("dir"), At("dir\\inside")), kInvalidParameter);
  EXPECT_EQ(MoveFile(At("file.txt"), At("dir")), kAlreadyExists);
  EXPECT_EQ(MoveFile(At("dir"), At("file.txt")), kAlreadyExists);
  EXPECT_EQ(ReplaceFile(At("file.txt"), At("dir")), kAccessDenied);
  EXPECT_EQ(CopyFile(At("dir"), At("copy")), kAccessDenied);
  EXPECT_EQ(CopyFile(At("file.txt"), At("dir")), kAccessDenied);
  EXPECT_EQ(FileLength(At("dir"), &length), kAccessDenied);
  EXPECT_EQ(CreateFileIfMissing(At("dir")), kAccessDenied);
  EXPECT_EQ(WriteWholeFile(At("dir"), "x"), kAccessDenied);
  EXPECT_EQ(CreateDirectory("C:\\"), kAlreadyExists);
  EXPECT_EQ(Read("file.txt"), "f");
  if (!UnderWine()) {
    EXPECT_EQ(ReplaceFile(At("dir"), At("other.txt")), kAccessDenied)
        << "Wine replaces the file with the folder";
  }
}

TEST_F(FileContract, OddPaths) {
  Put("a.txt", "a");
  ASSERT_EQ(CreateDirectory(At("dir")), kSuccess);
  const struct {
    std::string path;
    long want;
  } cases[] = {
      {At("a.txt."), kSuccess},
      {At("a.txt. . "), kSuccess},
      {std::string(kTestFolder) + ".\\a.txt", kSuccess},
      {At("dir\\..\\a.txt"), kSuccess},
      {At(".\\a.txt"), kSuccess},
      {At("dir\\"), kSuccess},
      {At("a.txt\\"), kPathNotFound},
      {At("a<b"), 123},
      {At("a*.txt"), 123},
      {At("a?.txt"), 123},
      {At("a|b\\c.txt"), 123},
      {At("a:b\\c.txt"), kPathNotFound},
      {At("a.txt:b"), kFileNotFound},
      {":\\Msdos.sys", kPathNotFound},
      {"", kPathNotFound},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    uint32_t attributes = 0;
    EXPECT_EQ(GetFileAttributes(cases[i].path, &attributes), cases[i].want)
        << "case " << i << " " << cases[i].path;
  }
  EXPECT_EQ(WriteWholeFile(At("a|b"), "x"), 123);
  EXPECT_EQ(CreateDirectory(At("a|b")), 123);
}

// A name ending in a separator is refused by the calls that open files.
TEST_F(FileContract, FileNamesEndingInASeparator) {
  Put("a.txt", "a");
  std::string data;
  EXPECT_EQ(OpenForReading(At("a.txt\\")), 123);
  EXPECT_EQ(ReadWholeFile(At("a.txt\\"), &data), 123);
  EXPECT_EQ(WriteWholeFile(At("a.txt\\"), "x"), 123);
  EXPECT_EQ(WriteFileAt(At("new.txt\\"), 0, "x"), 123);
  EXPECT_EQ(CreateFileIfMissing(At("new.txt\\")), 123);
  EXPECT_EQ(DeleteFile(At("a.txt\\")), 123);
  EXPECT_EQ(CreateDirectory(At("a.txt\\sub")), kPathNotFound);
  EXPECT_EQ(Read("a.txt"), "a");
  ASSERT_EQ(CreateDirectory(At("dir\\")), kSuccess);
  EXPECT_EQ(RemoveDirectory(At("dir\\")), kSuccess);
}

TEST_F(FileContract, ReplaceRefusesAReadOnlyTarget) {
  SKIP_UNDER_WINE("MoveFileEx replaces a read-only file");
  Put("new.tbl", "new");
  Put("old.tbl", "old");
  ASSERT_EQ(SetFileAttributes(At("old.tbl"), kAttrReadOnly), kSuccess);
  EXPECT_EQ(ReplaceFile(At("new.tbl"), At("old.tbl")), kAccessDenied);
  EXPECT_EQ(Read("old.tbl"), "old");
  EXPECT_EQ(Read("new.tbl"), "new");
}

TEST_F(FileContract, CopyOntoItselfFails) {
  Put("self.txt", "self");
  EXPECT_EQ(CopyFile(At("self.txt"), At("self.txt")), kSharingViolation);
  EXPECT_EQ(CopyFile(At("self.txt"), At("SELF.TXT")), kSharingViolation);
  EXPECT_EQ(Read("self.txt"), "self");
}

TEST_F(FileContract, CopyCreatesOrOverwrites) {
  Put("src.txt", "source");
  Put("dst.txt", "old destination content");
  EXPECT_EQ(CopyFile(At("src.txt"), At("dst.txt")), kSuccess);
  EXPECT_EQ(Read("dst.txt"), "source");
  EXPECT_EQ(CopyFile(At("src.txt"), At("fresh.txt")), kSuccess);
  EXPECT_EQ(Read("fresh.txt"), "source");
  EXPECT_EQ(Read("src.txt"), "source");
  EXPECT_EQ(CopyFile(At("src.txt"), At("nofolder\\x.txt")), kPathNotFound);
}

TEST_F(FileContract, CopyTakesTheSourceAttributes) {
  Put("src.txt", "source");
  ASSERT_EQ(SetFileAttributes(At("src.txt"), kAttrReadOnly | kAttrSystem), kSuccess);
  EXPECT_EQ(CopyFile(At("src.txt"), At("copy.txt")), kSuccess);
  EXPECT_EQ(Attributes("copy.txt"), kAttrReadOnly | kAttrSystem | kAttrArchive);
}

TEST_F(FileContract, CopyRefusesAHiddenOrReadOnlyTarget) {
  SKIP_UNDER_WINE("CopyFile overwrites a hidden file");
  Put("src.txt", "source");
  Put("hidden.txt", "hidden");
  Put("ro.txt", "read-only");
  ASSERT_EQ(SetFileAttributes(At("hidden.txt"), kAttrHidden), kSuccess);
  ASSERT_EQ(SetFileAttributes(At("ro.txt"), kAttrReadOnly), kSuccess);
  EXPECT_EQ(CopyFile(At("src.txt"), At("hidden.txt")), kAccessDenied);
  EXPECT_EQ(CopyFile(At("src.txt"), At("ro.txt")), kAccessDenied);
  EXPECT_EQ(Read("hidden.txt"), "hidden");
  EXPECT_EQ(Read("ro.txt"), "read-only");
}

TEST_F(FileContract, Folders) {
  ASSERT_EQ(CreateDirectory(At("dir")), kSuccess);
  EXPECT_EQ(CreateDirectory(At("DIR")), kAlreadyExists);
  Put("file.txt", "f");
  EXPECT_EQ(CreateDirectory(At("file.txt")), kAlreadyExists);
  Put("dir\\inner.txt", "i");
  EXPECT_EQ(RemoveDirectory(At("dir")), kDirNotEmpty);
  EXPECT_EQ(RemoveDirectory(At("file.txt")), kDirectoryName);
  EXPECT_EQ(DeleteFile(At("dir")), kAccessDenied);
  EXPECT_EQ(OpenForReading(At("dir")), kAccessDenied);
  std::string data;
  EXPECT_EQ(ReadWholeFile(At("dir"), &data), kAccessDenied);
  EXPECT_EQ(WriteFileAt(At("dir"), 0, "x"), kAccessDenied);
  EXPECT_EQ(DeleteFile(At("dir\\inner.txt")), kSuccess);
  EXPECT_EQ(RemoveDirectory(At("dir")), kSuccess);
  EXPECT_EQ(RemoveDirectory(At("dir")), kFileNotFound);
}

TEST_F(FileContract, ListsAFolderWithWildcards) {
  for (const char* name : {"a.txt", "b.TXT", "noext", "two.dots.txt", "page.html", "ab.txt"}) {
    Put(name, name);
  }
  ASSERT_EQ(CreateDirectory(At("sub")), kSuccess);
  const std::vector<std::string> all = {".",     "..",        "a.txt", "ab.txt",      "b.TXT",
                                        "noext", "page.html", "sub",   "two.dots.txt"};
  const struct {
    const char* mask;
    std::vector<std::string> want;
  } cases[] = {
      {"*", all},
      {"*.*", all},
      {"*.txt", {"a.txt", "ab.txt", "b.TXT", "two.dots.txt"}},
      {"*.TXT", {"a.txt", "ab.txt", "b.TXT", "two.dots.txt"}},
      {"?.txt", {"a.txt", "b.TXT"}},
      {"n?ext", {"noext"}},
      {"a.tx?", {"a.txt"}},
      {"a.txt*", {"a.txt"}},
      {".*", {".", ".."}},
      {"NOEXT", {"noext"}},
      {"*.htm", {"page.html"}},
      {"*.dots.*", {"two.dots.txt"}},
      {"a*", {"a.txt", "ab.txt"}},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    std::vector<std::string> names;
    EXPECT_EQ(List(At(cases[i].mask), &names), kSuccess) << "case " << i << " " << cases[i].mask;
    EXPECT_EQ(names, cases[i].want) << "case " << i << " " << cases[i].mask;
  }
  std::vector<std::string> names;
  EXPECT_EQ(List(At("missing*"), &names), kFileNotFound);
  EXPECT_TRUE(names.empty());
  EXPECT_EQ(List(At("nofolder\\*"), &names), kPathNotFound);
  EXPECT_EQ(List(At("a.txt\\*"), &names), 123) << "a file is no folder to list";
}

// Windows' own wildcard rules: "?" may match nothing at a dot or the end,
// "*." is a name without an extension. Wine matches "?" to exactly one
// character and "*." to every name.
TEST_F(FileContract, DosWildcardRules) {
  SKIP_UNDER_WINE("\"?\" and \"*.\" are plain wildcards there");
  for (const char* name : {"a.txt", "ab.txt", "noext"}) Put(name, name);
  ASSERT_EQ(CreateDirectory(At("sub")), kSuccess);
  const struct {
    const char* mask;
    std::vector<std::string> want;
  } cases[] = {
      {"??.txt", {"a.txt", "ab.txt"}},
      {"a?.txt", {"a.txt", "ab.txt"}},
      {"a.txt?", {"a.txt"}},
      {"*.", {".", "..", "noext", "sub"}},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    std::vector<std::string> names;
    EXPECT_EQ(List(At(cases[i].mask), &names), kSuccess) << "case " << i << " " << cases[i].mask;
    EXPECT_EQ(names, cases[i].want) << "case " << i << " " << cases[i].mask;
  }
}

TEST_F(FileContract, PatternsWithoutWildcards) {
  ASSERT_EQ(CreateDirectory(At("Dir")), kSuccess);
  Put("Dir\\file.txt", "f");
  const struct {
    std::string pattern;
    long want_result;
    std::vector<std::string> want;
  } cases[] = {
      {At("DIR"), kSuccess, {"Dir"}},           {At("dir\\FILE.TXT"), kSuccess, {"file.txt"}},
      {At("dir\\."), kSuccess, {"Dir"}},        {At("dir\\"), kFileNotFound, {}},
      {At("dir\\gone.txt"), kFileNotFound, {}},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    std::vector<std::string> names;
    EXPECT_EQ(List(cases[i].pattern, &names), cases[i].want_result) << "case " << i;
    EXPECT_EQ(names, cases[i].want) << "case " << i;
  }
}

TEST_F(FileContract, ListingGivesAttributesAndSizes) {
  Put("five.bin", "12345");
  ASSERT_EQ(CreateDirectory(At("sub")), kSuccess);
  std::vector<FindEntry> entries;
  ASSERT_EQ(FindFiles(At("*"), &entries), kSuccess);
  ASSERT_EQ(entries.size(), 4u);
  EXPECT_EQ(entries[0].name, ".");
  EXPECT_EQ(entries[1].name, "..");
  for (const FindEntry& entry : entries) {
    if (entry.name == "five.bin") {
      EXPECT_EQ(entry.size, 5u);
      EXPECT_EQ(entry.attributes, kAttrArchive);
    } else {
      EXPECT_TRUE(entry.attributes & kAttrDirectory) << entry.name;
    }
  }
}

TEST_F(FileContract, DriveRootHasNoDotEntries) {
  std::vector<std::string> names;
  ASSERT_EQ(List("C:\\*", &names), kSuccess);
  EXPECT_EQ(std::count(names.begin(), names.end(), "."), 0);
  EXPECT_EQ(std::count(names.begin(), names.end(), ".."), 0);
  EXPECT_EQ(std::count(names.begin(), names.end(), "nox-contract-test"), 1);
}

// ------------------------------------------------------------ profile files

TEST_F(FileContract, ProfileWriterCreatesAFile) {
  const std::string path = At("new.ini");
  ASSERT_TRUE(WriteProfileString("Options", "BootMulti", "0", path));
  EXPECT_EQ(Hex(Read("new.ini")), Hex("[Options]\r\nBootMulti=0\r\n"));
  ASSERT_TRUE(WriteProfileString("Options", "BootWarn", "0", path));
  ASSERT_TRUE(WriteProfileString("Second", "Key", "v", path));
  EXPECT_EQ(Read("new.ini"), "[Options]\r\nBootMulti=0\r\nBootWarn=0\r\n[Second]\r\nKey=v\r\n");
}

// A file in the form every writer leaves it (no blank lines, no blanks
// around "="): Windows edits the lines in place, Wine rewrites the file the
// same way.
TEST_F(FileContract, ProfileWriterEditsAnExistingFile) {
  const std::string before =
      ";MSDOS.SYS\r\n"
      "[Paths]\r\n"
      "WinDir=C:\\WINDOWS\r\n"
      "[Options]\r\n"
      "BootWarn=1\r\n"
      "BootGUI=1\r\n"
      ";xxxxxxxxxxxxxxxx\r\n";
  Put("msdos.sys", before);
  const std::string path = At("msdos.sys");
  ASSERT_TRUE(WriteProfileString("OPTIONS", "bootwarn", "0", path));
  ASSERT_TRUE(WriteProfileString("Options", "BootMulti", "0", path));
  ASSERT_TRUE(WriteProfileString("New", "Key", "value", path));
  ASSERT_TRUE(WriteProfileString("Paths", "WinBootDir", "C:\\WINDOWS", path));
  EXPECT_EQ(Read("msdos.sys"),
            ";MSDOS.SYS\r\n"
            "[Paths]\r\n"
            "WinDir=C:\\WINDOWS\r\n"
            "WinBootDir=C:\\WINDOWS\r\n"
            "[Options]\r\n"
            "BootWarn=0\r\n"
            "BootGUI=1\r\n"
            ";xxxxxxxxxxxxxxxx\r\n"
            "BootMulti=0\r\n"
            "[New]\r\n"
            "Key=value\r\n");
}

TEST_F(FileContract, ProfileWriterKeepsAHiddenSystemFileAndItsAttributes) {
  Put("boot.ini", "[Options]\r\nBootKeys=1\r\n");
  const uint32_t hidden_system = kAttrHidden | kAttrSystem;
  ASSERT_EQ(SetFileAttributes(At("boot.ini"), hidden_system), kSuccess);
  ASSERT_TRUE(WriteProfileString("Options", "BootKeys", "0", At("boot.ini")));
  EXPECT_EQ(Read("boot.ini"), "[Options]\r\nBootKeys=0\r\n");
  EXPECT_EQ(Attributes("boot.ini") & ~kAttrArchive, hidden_system);
  EXPECT_FALSE(WriteProfileString("Options", "BootKeys", "0", At("nofolder\\boot.ini")));
}

// Windows changes only the line it is asked for; Wine rewrites the whole
// file from what it parsed, dropping blank lines and the blanks around "="
// and in section names.
TEST_F(FileContract, ProfileWriterKeepsOtherLinesByteForByte) {
  SKIP_UNDER_WINE("the whole file is written again from its parsed entries");
  Put("keep.ini",
      "; comment\r\n"
      "[ Sec ]\r\n"
      "  spaced  =  v1  \r\n"
      "noequals\r\n"
      "\r\n"
      "[Next]\r\n"
      "k=v\r\n"
      "\r\n");
  ASSERT_TRUE(WriteProfileString("Sec", "added", "a", At("keep.ini")));
  ASSERT_TRUE(WriteProfileString("next", "K", "new", At("keep.ini")));
  ASSERT_TRUE(WriteProfileString("Last", "x", "1", At("keep.ini")));
  EXPECT_EQ(Read("keep.ini"),
            "; comment\r\n"
            "[ Sec ]\r\n"
            "  spaced  =  v1  \r\n"
            "noequals\r\n"
            "added=a\r\n"
            "\r\n"
            "[Next]\r\n"
            "k=new\r\n"
            "\r\n"
            "[Last]\r\n"
            "x=1\r\n");
}

TEST_F(FileContract, ProfileReader) {
  Put("read.ini",
      "[Sec]\r\n"
      "plain=value\r\n"
      "  spaced  =   inner text   \r\n"
      "quoted=\"in quotes\"\r\n"
      "single='one'\r\n"
      "empty=\r\n"
      "[Other]\r\n"
      "plain=other\r\n");
  const std::string path = At("read.ini");
  const struct {
    const char* section;
    const char* key;
    const char* want;
  } cases[] = {
      {"Sec", "plain", "value"},       {"SEC", "PLAIN", "value"},
      {"Sec", "spaced", "inner text"}, {"Sec", "quoted", "in quotes"},
      {"Sec", "single", "one"},        {"Sec", "empty", ""},
      {"Other", "plain", "other"},     {"Sec", "missing", "default"},
      {"Missing", "plain", "default"},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    EXPECT_EQ(GetProfileString(cases[i].section, cases[i].key, "default", path), cases[i].want)
        << "case " << i;
  }
  EXPECT_EQ(GetProfileString("Sec", "missing", "dflt  ", path), "dflt")
      << "the default loses its trailing blanks";
  EXPECT_EQ(GetProfileString("Sec", "plain", "d", At("absent.ini")), "d");
}

TEST_F(FileContract, DriveRootsFreeSpaceFileTimesAndVersions) {
  const std::vector<std::string> roots = LogicalDriveRoots();
  EXPECT_NE(std::find(roots.begin(), roots.end(), "C:\\"), roots.end());
  for (const std::string& root : roots) EXPECT_EQ(root.size(), 3u) << root;
  uint64_t free_bytes = kSentinel;
  EXPECT_TRUE(GetDiskFreeBytes("C:\\", &free_bytes));
  Put("stamped.txt", "x");
  LocalTime time;
  EXPECT_TRUE(GetFileTime(At("stamped.txt"), &time));
  EXPECT_GE(time.year, 2000);
  EXPECT_FALSE(GetFileTime(At("absent.txt"), &time));
  uint16_t parts[4] = {1, 2, 3, 4};
  EXPECT_FALSE(GetFileVersion(At("stamped.txt"), parts)) << "a file without a version resource";
  EXPECT_FALSE(GetFileVersion(At("absent.txt"), parts));
}

}  // namespace
}  // namespace platform
