// Runs natively on the fake platform and, compiled with mingw, under Wine on
// the real registry, where Windows NT sends the login program's writes
// through CLASPS.dll.
#include "common/regpath.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/gcc_false_positives.h"
#include "common/runtime_error.h"
#include "platform/platform.h"

#if defined(NOX_FAKE_PLATFORM)
#include "clasps/clasps.h"
#include "platform/fake/fake_control.h"
#endif

namespace nox {
namespace {

using platform::kCurrentUser;

constexpr const char* kTestKey = "Software\\NoxRegPathTest";
const std::string kBase = std::string("Current_User,") + kTestKey;

struct RawValue {
  long result = -1;
  uint32_t type = 0xdeadbeef;
  std::string data;
};

RawValue QueryRaw(platform::RegKey root, const std::string& key, const std::string& name) {
  RawValue value;
  platform::ScopedRegKey opened;
  value.result = platform::RegOpenKey(root, key, platform::kKeyRead, opened.receive());
  if (value.result != platform::kSuccess) return value;
  std::string buffer(1024, '\xAA');
  uint32_t size = static_cast<uint32_t>(buffer.size());
  value.result = platform::RegQueryValue(opened.get(), name, &value.type, buffer.data(), &size);
  if (value.result == platform::kSuccess) value.data = buffer.substr(0, size);
  return value;
}

bool KeyExists(platform::RegKey root, const std::string& key) {
  platform::ScopedRegKey opened;
  return platform::RegOpenKey(root, key, platform::kKeyRead, opened.receive()) ==
         platform::kSuccess;
}

class RegPathTest : public ::testing::TestWithParam<RegFlavor> {
 protected:
  void SetUp() override {
#if defined(NOX_FAKE_PLATFORM)
    platform::fake::Reset();
    // As on the Windows NT machines: the login program's writes go through
    // the hook library.
    platform::fake::RegisterLibraryExport("clasps.dll", "SRV_RegCreateKey",
                                          reinterpret_cast<void*>(&SRV_RegCreateKey));
    platform::fake::RegisterLibraryExport("clasps.dll", "SRV_RegDeleteKey",
                                          reinterpret_cast<void*>(&SRV_RegDeleteKey));
#endif
    RegDeleteKeyTree(kCurrentUser, kTestKey);
  }
  void TearDown() override { RegDeleteKeyTree(kCurrentUser, kTestKey); }

  RegFlavor flavor() const { return GetParam(); }
};

TEST(SplitRegPath, Fields) {
  struct Case {
    const char* regline;
    platform::RegKey root;
    const char* key;
    const char* value_name;
  };
  const std::vector<Case> cases = {
      {"Current_User,Software\\X,Val", platform::kCurrentUser, "Software\\X", "Val"},
      {"current_user,a,b", platform::kCurrentUser, "a", "b"},
      {"CURRENT_USER,a,b", platform::kCurrentUser, "a", "b"},
      {"Local_Machine,Software\\Q\\,Restart", platform::kLocalMachine, "Software\\Q\\", "Restart"},
      {"Classes_Root,k,", platform::kClassesRoot, "k", ""},
      {"Users,k", platform::kUsers, "k", ""},
      {"Performance_Data,k,v", platform::kPerformanceData, "k", "v"},
      {"Current_Config,k,v", platform::kCurrentConfig, "k", "v"},
      {"Dyn_Data,k,v", platform::kDynData, "k", "v"},
      {"HKEY_CURRENT_USER,k,v", platform::kNoKey, "k", "v"},
      {" Current_User,k,v", platform::kNoKey, "k", "v"},
      {"Current_User, k, v", platform::kCurrentUser, " k", " v"},
      {"Current_User,k,v,,,", platform::kCurrentUser, "k", "v"},
      {"", platform::kNoKey, "", ""},
      {",,", platform::kNoKey, "", ""},
  };
  for (size_t i = 0; i < cases.size(); ++i) {
    const RegPath path = SplitRegPath(cases[i].regline);
    EXPECT_EQ(path.root, cases[i].root) << "case " << i << ": " << cases[i].regline;
    EXPECT_EQ(path.key, cases[i].key) << "case " << i;
    EXPECT_EQ(path.value_name, cases[i].value_name) << "case " << i;
  }
}

TEST(SplitRegPath, CharacterAfterThirdCommaIsSubscriptError) {
  for (const char* regline : {"Current_User,k,v,x", "a,b,c,,d", "a,b,c, "}) {
    try {
      SplitRegPath(regline);
      ADD_FAILURE() << regline << " raised nothing";
    } catch (const RuntimeError& error) {
      EXPECT_EQ(error.number(), kErrSubscript) << regline;
    }
  }
}

TEST(DectoHextoDec, BytesLowestFirst) {
  struct Case {
    int64_t value;
    std::string bytes;
  };
  const std::vector<Case> cases = {
      {0, std::string("\x00", 1)},
      {1, "\x01"},
      {0x30000, std::string("\x00\x00\x03", 3)},
      {0x1234, "\x34\x12"},
      {0xABCDEF, "\xEF\xCD\xAB"},
      {0x3FFFFFF, "\xFF\xFF\xFF\x03"},
      {-1, "\xFF\xFF\xFF\xFF"},
  };
  for (size_t i = 0; i < cases.size(); ++i) {
    EXPECT_EQ(dectoHextoDec(cases[i].value), cases[i].bytes) << "case " << i;
  }
}

TEST(RegValue, TextSpellsANumber) {
  EXPECT_EQ(RegValue("3").AsNumber(), 3);
  EXPECT_EQ(RegValue(" 196608 ").AsNumber(), 196608);
  EXPECT_EQ(RegValue("&H30000").AsNumber(), 0x30000);
  EXPECT_EQ(RegValue(5).AsText(), "5");
  EXPECT_EQ(RegValue(int64_t{-7}).AsText(), "-7");
  for (const char* bad : {"", "abc", "3x", " "}) {
    try {
      RegValue(bad).AsNumber();
      ADD_FAILURE() << "'" << bad << "' converted";
    } catch (const RuntimeError& error) {
      EXPECT_EQ(error.number(), kErrTypeMismatch) << bad;
    }
  }
}

NOX_GCC12_BUG105329_BEGIN
TEST_P(RegPathTest, DwordAndBinaryAreFourBytesLowestFirst) {
  struct Case {
    RegValue value;
    int32_t type;
    std::string bytes;
  };
  const std::vector<Case> cases = {
      {1, 4, std::string("\x01\x00\x00\x00", 4)},
      {0, 4, std::string("\x00\x00\x00\x00", 4)},
      {0x30000, 4, std::string("\x00\x00\x03\x00", 4)},
      {"3", 4, std::string("\x03\x00\x00\x00", 4)},
      {1, 3, std::string("\x01\x00\x00\x00", 4)},
      {0x3FFFFFF, 4, std::string("\xFF\xFF\xFF\x03", 4)},
  };
  for (size_t i = 0; i < cases.size(); ++i) {
    const std::string name = "v" + std::to_string(i);
    RegWrite(kBase + "\\Sub\\Deeper," + name, cases[i].value, cases[i].type, flavor());
    const RawValue raw = QueryRaw(kCurrentUser, std::string(kTestKey) + "\\Sub\\Deeper", name);
    ASSERT_EQ(raw.result, platform::kSuccess) << "case " << i;
    EXPECT_EQ(raw.type, static_cast<uint32_t>(cases[i].type)) << "case " << i;
    EXPECT_EQ(raw.data, cases[i].bytes) << "case " << i;
  }
}
NOX_GCC12_BUG105329_END

TEST_P(RegPathTest, TextIsStoredWithItsTerminator) {
  RegWrite(kBase + ",One", 1, 1, flavor());
  RegWrite(kBase + ",Word", "My Documents", 1, flavor());
  RegWrite(kBase + ",Empty", "", 1, flavor());
  RawValue raw = QueryRaw(kCurrentUser, kTestKey, "One");
  EXPECT_EQ(raw.type, 1u);
  EXPECT_EQ(raw.data, std::string("1\0", 2));
  EXPECT_EQ(QueryRaw(kCurrentUser, kTestKey, "Word").data, std::string("My Documents\0", 13));
  EXPECT_EQ(QueryRaw(kCurrentUser, kTestKey, "Empty").data, std::string("\0", 1));
}

TEST_P(RegPathTest, OneCommaPathSetsTheDefaultValue) {
  RegWrite(kBase + "\\NameSpace\\{450d8fba-ad25-11d0-98a8-0800361b1103}", "My Documents", 1,
           flavor());
  const RawValue raw =
      QueryRaw(kCurrentUser,
               std::string(kTestKey) + "\\NameSpace\\{450d8fba-ad25-11d0-98a8-0800361b1103}", "");
  ASSERT_EQ(raw.result, platform::kSuccess);
  EXPECT_EQ(raw.type, 1u);
  EXPECT_EQ(raw.data, std::string("My Documents\0", 13));
}

TEST_P(RegPathTest, RootWordInAnyCaseAddressesTheSameValue) {
  RegWrite(std::string("CURRENT_USER,") + kTestKey + ",V", 1, 4, flavor());
  RegWrite(std::string("current_user,") + kTestKey + ",v", 2, 4, flavor());
  EXPECT_EQ(QueryRaw(kCurrentUser, kTestKey, "V").data, std::string("\x02\x00\x00\x00", 4));
}

TEST_P(RegPathTest, UnknownRootAndFourthFieldWriteNothing) {
  RegWrite(std::string("HKEY_CURRENT_USER,") + kTestKey + ",V", 1, 4, flavor());
  EXPECT_FALSE(KeyExists(kCurrentUser, kTestKey));
  EXPECT_THROW(RegWrite(kBase + ",V,x", 1, 4, flavor()), RuntimeError);
  EXPECT_FALSE(KeyExists(kCurrentUser, kTestKey));
}

TEST_P(RegPathTest, ReadAddsOneBackslash) {
  RegWrite(kBase + ",Folder", "C:\\WINDOWS\\Recent", 1, flavor());
  RegWrite(kBase + ",Empty", "", 1, flavor());
  EXPECT_EQ(RegRead(kBase + ",Folder", flavor()), "C:\\WINDOWS\\Recent\\");
  EXPECT_EQ(RegRead(kBase + ",Empty", flavor()), "\\");
  EXPECT_EQ(RegRead(kBase + ",Missing", flavor()), std::string(253, ' ') + "\\");
  EXPECT_EQ(RegRead(kBase + "\\NoSuchKey,Folder", flavor()), std::string(253, ' ') + "\\");
  EXPECT_EQ(RegReadTrimmed(kBase + ",Missing", flavor()), "");
  EXPECT_EQ(RegReadTrimmed(kBase + ",Folder", flavor()), "C:\\WINDOWS\\Recent");
}

TEST_P(RegPathTest, ValueTooLongForTheBufferGivesTheWholeBuffer) {
  RegWrite(kBase + ",Long", std::string(300, 'x'), 1, flavor());
  EXPECT_EQ(RegRead(kBase + ",Long", flavor()).size(), 256u);
  RegWrite(kBase + ",Fits", std::string(253, 'y'), 1, flavor());
  EXPECT_EQ(RegRead(kBase + ",Fits", flavor()), std::string(253, 'y') + "\\");
}

TEST_P(RegPathTest, DeleteKeyTreeRemovesNestedKeys) {
  RegWrite(kBase + "\\Tree\\A\\A1,x", 1, 4, flavor());
  RegWrite(kBase + "\\Tree\\A\\A2\\Deep,x", 1, 4, flavor());
  RegWrite(kBase + "\\Tree\\B,x", "t", 1, flavor());
  RegWrite(kBase + "\\Tree,1", "a.exe", 1, flavor());
  RegWrite(kBase + "\\Keep,x", 1, 4, flavor());
  RegDeleteKeyTree(kCurrentUser, std::string(kTestKey) + "\\Tree");
  EXPECT_FALSE(KeyExists(kCurrentUser, std::string(kTestKey) + "\\Tree"));
  EXPECT_TRUE(KeyExists(kCurrentUser, std::string(kTestKey) + "\\Keep"));
  RegDeleteKeyTree(kCurrentUser, std::string(kTestKey) + "\\Tree");  // missing: harmless
  EXPECT_TRUE(KeyExists(kCurrentUser, std::string(kTestKey) + "\\Keep"));
}

TEST_P(RegPathTest, DeleteRegValueRemovesOneValue) {
  RegWrite(kBase + ",a", 1, 4, flavor());
  RegWrite(kBase + ",b", 1, 4, flavor());
  EXPECT_TRUE(DeleteRegValue(kBase + ",a"));
  EXPECT_EQ(QueryRaw(kCurrentUser, kTestKey, "a").result, platform::kFileNotFound);
  EXPECT_EQ(QueryRaw(kCurrentUser, kTestKey, "b").result, platform::kSuccess);
  EXPECT_TRUE(DeleteRegValue(kBase + ",a"));              // already gone
  EXPECT_TRUE(DeleteRegValue(kBase + "\\Missing,a"));     // no such key
  EXPECT_FALSE(DeleteRegValue("HKEY_CURRENT_USER,x,a"));  // no such root: nothing known
}

TEST_P(RegPathTest, DeleteRegKeyRemovesALeafKeyOnly) {
  RegWrite(kBase + "\\Leaf,x", 1, 4, flavor());
  RegWrite(kBase + "\\Parent\\Child,x", 1, 4, flavor());
  DeleteRegKey(kCurrentUser, std::string(kTestKey) + "\\Leaf", flavor());
  DeleteRegKey(kCurrentUser, std::string(kTestKey) + "\\Parent", flavor());
  EXPECT_FALSE(KeyExists(kCurrentUser, std::string(kTestKey) + "\\Leaf"));
  EXPECT_TRUE(KeyExists(kCurrentUser, std::string(kTestKey) + "\\Parent\\Child"));
}

// Inside a login's key scope (where CLASPS.dll keeps the keys it writes to
// open): a key deleted between writes, by this program or through the
// library, is written afresh, never through a handle kept from before.
TEST_P(RegPathTest, WritesInsideAKeyScopeOutliveTheirKeysDeletion) {
  const std::string kept = std::string(kTestKey) + "\\Kept";
  {
    platform::RegKeyCacheScope scope;
    RegWrite(kBase + "\\Kept,A", 1, 4, flavor());
    RegWrite(kBase + "\\Kept,B", 2, 4, flavor());
    RegDeleteKeyTree(kCurrentUser, kept);
    RegWrite(kBase + "\\Kept,C", 3, 4, flavor());
    DeleteRegKey(kCurrentUser, kept, flavor());
    RegWrite(kBase + "\\Kept,D", 4, 4, flavor());
  }
  for (const char* gone : {"A", "B", "C"}) {
    EXPECT_EQ(QueryRaw(kCurrentUser, kept, gone).result, platform::kFileNotFound) << gone;
  }
  const RawValue last = QueryRaw(kCurrentUser, kept, "D");
  EXPECT_EQ(last.result, platform::kSuccess);
  EXPECT_EQ(last.data, std::string("\x04\x00\x00\x00", 4));
}

#if defined(NOX_FAKE_PLATFORM)
TEST(PlatformTests, WindowsNtAndWindows98) {
  struct Case {
    uint32_t platform_id, major, minor;
    bool nt, win98;
  };
  const std::vector<Case> cases = {
      {platform::kPlatformNt, 4, 0, true, false},
      {platform::kPlatformNt, 5, 10, true, false},
      {platform::kPlatformWindows, 4, 10, false, true},
      {platform::kPlatformWindows, 4, 0, false, false},
      {platform::kPlatformWindows, 4, 90, false, false},
      {platform::kPlatformWin32s, 3, 10, false, false},
  };
  for (size_t i = 0; i < cases.size(); ++i) {
    platform::fake::Reset();
    platform::fake::SetOsVersion({cases[i].platform_id, cases[i].major, cases[i].minor, 0});
    EXPECT_EQ(IsWindowsNT(), cases[i].nt) << "case " << i;
    EXPECT_EQ(IsWindows98(), cases[i].win98) << "case " << i;
  }
  platform::fake::SetOsVersionFails(true);
  EXPECT_FALSE(IsWindowsNT());
  EXPECT_FALSE(IsWindows98());
}

TEST(HookLibrary, LoginWritesGoThroughItOnNtOnly) {
  platform::fake::Reset();
  // Without the library on NT the write fails in the calling routine.
  try {
    RegWrite(kBase + ",V", 1, 4);
    ADD_FAILURE() << "no error without CLASPS.DLL";
  } catch (const RuntimeError& error) {
    EXPECT_EQ(error.number(), kErrFileNotFound);
  }
  EXPECT_FALSE(platform::fake::RegKeyExists(kCurrentUser, kTestKey));
  // The uninstaller never uses it.
  RegWrite(kBase + ",V", 1, 4, RegFlavor::kUninstaller);
  EXPECT_TRUE(platform::fake::RegKeyExists(kCurrentUser, kTestKey));
  // Windows 98: the login program writes directly.
  platform::fake::SetOsVersion({platform::kPlatformWindows, 4, 10, 0});
  RegWrite(kBase + ",W", 0x30000, 4);
  EXPECT_EQ(platform::fake::RegGetValue(kCurrentUser, kTestKey, "w")->data,
            std::string("\x00\x00\x03\x00", 4));
  EXPECT_EQ(platform::fake::OpenRegKeyCount(), 0u);
}

// The library keeps its keys open only while the login's scope keeps its
// own, and lets go of them before any key is deleted or a program starts.
TEST(HookLibrary, KeepsItsKeysOnlyWhileTheLoginScopeKeepsItsOwn) {
  platform::fake::Reset();
  static std::vector<std::string> calls;
  calls.clear();
  struct Recorder {
    static int32_t NOX_STDCALL Create(int32_t, const char*, const char* name, const char*,
                                      int32_t) {
      calls.push_back(std::string("write ") + name);
      return 0;
    }
    static int32_t NOX_STDCALL Delete(int32_t, const char* key) {
      calls.push_back(std::string("delete ") + key);
      return 0;
    }
    static int32_t NOX_STDCALL Keep(int32_t keep) {
      calls.push_back("keep " + std::to_string(keep));
      return 0;
    }
  };
  platform::fake::RegisterLibraryExport("CLASPS.DLL", "SRV_RegCreateKey",
                                        reinterpret_cast<void*>(&Recorder::Create));
  platform::fake::RegisterLibraryExport("CLASPS.DLL", "SRV_RegDeleteKey",
                                        reinterpret_cast<void*>(&Recorder::Delete));
  platform::fake::RegisterLibraryExport("CLASPS.DLL", "SRV_KeepKeys",
                                        reinterpret_cast<void*>(&Recorder::Keep));
  RegWrite("Current_User,P,Outside", 1, 4);
  {
    platform::RegKeyCacheScope scope;
    RegWrite("Current_User,P,A", 1, 4);
    RegWrite("Current_User,P,B", 1, 4);
    DeleteRegKey(kCurrentUser, "P\\Q");
    RegWrite("Current_User,P,C", 1, 4);
    platform::StartProgram("C:\\shell.exe", platform::WindowState::kNormalFocus);
    RegWrite("Current_User,P,D", 1, 4);
  }
  const std::vector<std::string> expected = {"write Outside", "keep 1",      "write A", "write B",
                                             "keep 0",        "delete P\\Q", "keep 1",  "write C",
                                             "keep 0",        "keep 1",      "write D", "keep 0"};
  EXPECT_EQ(calls, expected);
}

TEST(HookLibrary, ReceivesDecimalTextAndType) {
  platform::fake::Reset();
  static std::vector<std::string> calls;
  calls.clear();
  struct Recorder {
    static int32_t NOX_STDCALL Create(int32_t root, const char* key, const char* name,
                                      const char* value, int32_t type) {
      calls.push_back(std::to_string(static_cast<uint32_t>(root)) + "|" + key + "|" + name + "|" +
                      value + "|" + std::to_string(type));
      return 0;
    }
  };
  platform::fake::RegisterLibraryExport("CLASPS.DLL", "SRV_RegCreateKey",
                                        reinterpret_cast<void*>(&Recorder::Create));
  RegWrite("Local_Machine,Software\\Q\\,User", "3", 1);
  RegWrite("Current_User,P,NoDrives", 196608, 4);
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0], "2147483650|Software\\Q\\|User|3|1");
  EXPECT_EQ(calls[1], "2147483649|P|NoDrives|196608|4");
  try {
    DeleteRegKey(platform::kLocalMachine, "K");
    ADD_FAILURE() << "missing SRV_RegDeleteKey raised nothing";
  } catch (const RuntimeError& error) {
    EXPECT_EQ(error.number(), kErrDllEntryPoint);
  }
}
#endif

INSTANTIATE_TEST_SUITE_P(BothPrograms, RegPathTest,
                         ::testing::Values(RegFlavor::kLogin, RegFlavor::kUninstaller),
                         [](const auto& info) {
                           return info.param == RegFlavor::kLogin ? "Login" : "Uninstaller";
                         });

}  // namespace
}  // namespace nox
