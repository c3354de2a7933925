#include "common/boot_options.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/runtime_error.h"
#include "platform/fake/fake_control.h"

namespace nox {
namespace {

namespace fake = platform::fake;

constexpr uint32_t kHiddenSystemReadOnly =
    platform::kAttrReadOnly | platform::kAttrHidden | platform::kAttrSystem;

// An MSDOS.SYS as Windows 98 leaves it: all three switches present.
const std::string kMsdosSys =
    "[Paths]\r\nWinDir=C:\\WINDOWS\r\nWinBootDir=C:\\WINDOWS\r\nHostWinBootDrv=C\r\n\r\n"
    "[Options]\r\nBootGUI=1\r\nBootMulti=1\r\nBootWarn=1\r\nBootKeys=1\r\nLogo=0\r\n"
    ";padding line\r\n";

std::string WithSwitches(const std::string& value) {
  return "[Paths]\r\nWinDir=C:\\WINDOWS\r\nWinBootDir=C:\\WINDOWS\r\nHostWinBootDrv=C\r\n\r\n"
         "[Options]\r\nBootGUI=1\r\nBootMulti=" +
         value + "\r\nBootWarn=" + value + "\r\nBootKeys=" + value +
         "\r\nLogo=0\r\n;padding line\r\n";
}

uint32_t AttributesOf(const std::string& path) {
  uint32_t attributes = platform::kInvalidAttributes;
  platform::GetFileAttributes(path, &attributes);
  return attributes;
}

void PutBootFile(const std::string& path) {
  fake::PutFile(path, kMsdosSys);
  ASSERT_EQ(platform::SetFileAttributes(path, kHiddenSystemReadOnly), platform::kSuccess);
}

class BootOptionsTest : public ::testing::Test {
 protected:
  void SetUp() override { fake::Reset(); }
};

TEST_F(BootOptionsTest, FileIsPresent) {
  fake::PutFile("C:\\present.txt", "x");
  EXPECT_TRUE(FileIsPresent("C:\\present.txt"));
  EXPECT_TRUE(FileIsPresent("c:\\PRESENT.TXT"));
  EXPECT_FALSE(FileIsPresent("C:\\absent.txt"));
  EXPECT_FALSE(FileIsPresent(":\\Msdos.sys"));
  EXPECT_FALSE(FileIsPresent("Q:\\Msdos.sys"));
}

TEST_F(BootOptionsTest, WriteBootSwitchesClearsAttributesAndKeepsOtherLines) {
  PutBootFile("C:\\Msdos.sys");
  WriteBootSwitches("C:\\Msdos.sys", "0");
  EXPECT_EQ(fake::FileBytes("C:\\MSDOS.SYS"), WithSwitches("0"));
  EXPECT_EQ(AttributesOf("C:\\Msdos.sys") & kHiddenSystemReadOnly, 0u);
}

TEST_F(BootOptionsTest, WriteBootSwitchesAddsMissingSwitches) {
  fake::PutFile("C:\\Msdos.sys", "[Paths]\r\nWinDir=C:\\WINDOWS\r\n");
  WriteBootSwitches("C:\\Msdos.sys", "1");
  for (const char* key : {"BootMulti", "BootWarn", "BootKeys"}) {
    EXPECT_EQ(platform::GetProfileString("Options", key, "?", "C:\\Msdos.sys"), "1") << key;
  }
  EXPECT_EQ(platform::GetProfileString("Paths", "WinDir", "?", "C:\\Msdos.sys"), "C:\\WINDOWS");
}

TEST_F(BootOptionsTest, WriteBootSwitchesOnMissingFileRaises) {
  try {
    WriteBootSwitches("C:\\Msdos.sys", "1");
    ADD_FAILURE() << "no error";
  } catch (const RuntimeError& error) {
    EXPECT_EQ(error.number(), kErrFileNotFound);
  }
  EXPECT_FALSE(fake::FileExists("C:\\Msdos.sys"));
}

TEST_F(BootOptionsTest, WithoutDriveListTheBootDriveIsWritten) {
  PutBootFile("C:\\MSDOS.SYS");
  ApplyBootOptions("0");
  EXPECT_EQ(fake::FileBytes("C:\\MSDOS.SYS"), WithSwitches("0"));
  EXPECT_EQ(AttributesOf("C:\\MSDOS.SYS") & kHiddenSystemReadOnly, 0u);
}

TEST_F(BootOptionsTest, WithoutAnyBootFileNothingIsCreated) {
  ApplyBootOptions("1");
  EXPECT_TRUE(fake::AllFiles().empty());
}

TEST_F(BootOptionsTest, HostDriveLineWritesHostThenCompressedDrive) {
  fake::SetDriveType('H', platform::kDriveFixed);
  PutBootFile("H:\\MSDOS.SYS");
  PutBootFile("C:\\MSDOS.SYS");
  fake::PutFile("C:\\drives.dat",
                "Compressed volumes\r\nDrive H is the Host drive for drive C\r\n");
  ApplyBootOptions("0");
  EXPECT_EQ(fake::FileBytes("H:\\MSDOS.SYS"), WithSwitches("0"));
  EXPECT_EQ(fake::FileBytes("C:\\MSDOS.SYS"), WithSwitches("0"));
}

TEST_F(BootOptionsTest, DriveListWithoutThePhraseWritesNothing) {
  PutBootFile("C:\\MSDOS.SYS");
  fake::PutFile("C:\\drives.dat", "Drive H is a drive\r\nnothing else\r\n");
  ApplyBootOptions("0");
  EXPECT_EQ(fake::FileBytes("C:\\MSDOS.SYS"), kMsdosSys);
  EXPECT_EQ(AttributesOf("C:\\MSDOS.SYS") & kHiddenSystemReadOnly, kHiddenSystemReadOnly);
}

TEST_F(BootOptionsTest, PhraseAtTheEndOfALineIsSkipped) {
  PutBootFile("C:\\MSDOS.SYS");
  fake::PutFile("C:\\drives.dat", "Drive C is the HOST DRIVE FOR DRIVE");
  ApplyBootOptions("0");
  // The first letter is "C" (behind "Drive"), the second one is empty.
  EXPECT_EQ(fake::FileBytes("C:\\MSDOS.SYS"), WithSwitches("0"));
}

TEST_F(BootOptionsTest, BootDriveAbsentFromTheListStaysUntouched) {
  fake::SetDriveType('D', platform::kDriveFixed);
  PutBootFile("D:\\MSDOS.SYS");
  PutBootFile("C:\\MSDOS.SYS");
  fake::PutFile("C:\\drives.dat", "Drive D is the host drive for drive E\r\n");
  ApplyBootOptions("1");
  EXPECT_EQ(fake::FileBytes("D:\\MSDOS.SYS"), WithSwitches("1"));
  EXPECT_EQ(fake::FileBytes("C:\\MSDOS.SYS"), kMsdosSys);
}

struct LettersCase {
  const char* drive_list;
  std::vector<std::string> letters;
};

TEST(HostDriveLettersTest, Lines) {
  const LettersCase kCases[] = {
      {"Drive H is the Host drive for drive C\r\n", {"H", "C"}},
      {"drive   h   is the host drive for drive    c", {"h", "c"}},
      {"Drive H is the Host drive for drive C\nDrive I is the host drive for drive D\n",
       {"H", "C", "I", "D"}},
      {"Host drive for drive C", {"f", "C"}},
      {"Drive C is the host drive for drive", {"C", ""}},
      {"Drive", {}},
      {"", {}},
      {"no phrase here\r\n\r\n", {}},
  };
  for (size_t i = 0; i < std::size(kCases); ++i) {
    EXPECT_EQ(HostDriveLetters(kCases[i].drive_list), kCases[i].letters) << "case " << i;
  }
}

}  // namespace
}  // namespace nox
