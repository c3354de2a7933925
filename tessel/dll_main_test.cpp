// DllGetVersion of the built Tessel.dll.
#include <gtest/gtest.h>

#include <cstring>

#include "tessel/test_library.h"

namespace tessel {
namespace {

using testing::ExportAs;
using testing::VersionExport;

constexpr DWORD kSentinel = 0xdeadbeef;

TEST(DllGetVersionTest, NullStructureGivesEFail) {
  const VersionExport get_version = ExportAs<VersionExport>("DllGetVersion");
  EXPECT_EQ(static_cast<uint32_t>(get_version(nullptr)), 0x80004005u);
}

TEST(DllGetVersionTest, ReportsOnePointFourOnWindows) {
  const VersionExport get_version = ExportAs<VersionExport>("DllGetVersion");
  struct {
    DLLVERSIONINFO info;
    DWORD guard;
  } caller;
  caller.info = {20, kSentinel, kSentinel, kSentinel, kSentinel};
  caller.guard = kSentinel;
  EXPECT_EQ(get_version(&caller.info), S_OK);
  EXPECT_EQ(caller.info.dwMajorVersion, 1u);
  EXPECT_EQ(caller.info.dwMinorVersion, 4u);
  EXPECT_EQ(caller.info.dwBuildNumber, 0u);
  EXPECT_EQ(caller.info.dwPlatformID, 1u);
  EXPECT_EQ(caller.guard, kSentinel);
}

TEST(DllGetVersionTest, ClearsALargerStructureOverItsDeclaredSize) {
  const VersionExport get_version = ExportAs<VersionExport>("DllGetVersion");
  DWORD words[10];
  for (DWORD& word : words) word = kSentinel;
  words[0] = 32;
  EXPECT_EQ(get_version(reinterpret_cast<DLLVERSIONINFO*>(words)), S_OK);
  EXPECT_EQ(words[1], 1u);
  EXPECT_EQ(words[2], 4u);
  EXPECT_EQ(words[3], 0u);
  EXPECT_EQ(words[4], 1u);
  for (int i = 5; i < 8; ++i) EXPECT_EQ(words[i], 0u) << "word " << i;
  EXPECT_EQ(words[8], kSentinel);
  EXPECT_EQ(words[9], kSentinel);
}

TEST(DllGetVersionTest, DeclaredSizeTooSmallIsRefusedUntouched) {
  const VersionExport get_version = ExportAs<VersionExport>("DllGetVersion");
  DWORD words[5] = {8, kSentinel, kSentinel, kSentinel, kSentinel};
  EXPECT_EQ(get_version(reinterpret_cast<DLLVERSIONINFO*>(words)), E_INVALIDARG);
  EXPECT_EQ(words[0], 8u);
  for (int i = 1; i < 5; ++i) EXPECT_EQ(words[i], kSentinel) << "word " << i;
}

}  // namespace
}  // namespace tessel
