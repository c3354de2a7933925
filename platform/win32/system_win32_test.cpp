// The Win32 machine queries, programs and libraries (run under Wine). The
// session end, the program end and message boxes are left to the end-to-end
// tests: called here they would end the test itself or wait for a click.
#include <gtest/gtest.h>

#include "platform/platform.h"
#include "platform/win32/win32_api.h"

namespace platform {
namespace {

bool IsFolder(const std::string& path) {
  uint32_t attributes = 0;
  return GetFileAttributes(path, &attributes) == kSuccess && (attributes & kAttrDirectory);
}

TEST(Win32System, DirectoriesAreFoldersWithoutATrailingBackslash) {
  const std::string directories[] = {SystemDirectory(), WindowsDirectory(), CurrentDirectory()};
  for (const std::string& directory : directories) {
    ASSERT_GE(directory.size(), 2u);
    EXPECT_EQ(directory[1], ':') << directory;
    EXPECT_TRUE(IsFolder(directory)) << directory;
    if (directory.size() > 3) {
      EXPECT_NE(directory.back(), '\\') << directory;
    }
  }
}

TEST(Win32System, ProgramDirectoryHoldsThisProgram) {
  char module[MAX_PATH + 1] = {};
  ASSERT_GT(GetModuleFileNameA(nullptr, module, MAX_PATH), 0u);
  std::string program = module;
  std::string directory = ProgramDirectory();
  ASSERT_FALSE(directory.empty());
  EXPECT_NE(directory.back(), '\\');
  EXPECT_EQ(program.substr(0, directory.size() + 1), directory + "\\");
  EXPECT_EQ(program.find('\\', directory.size() + 1), std::string::npos);
}

TEST(Win32System, VersionAndDrives) {
  OsVersion version;
  version.platform_id = 0xdeadbeef;
  ASSERT_TRUE(GetOsVersion(&version));
  EXPECT_LE(version.platform_id, kPlatformNt);
  EXPECT_GE(version.major, 4u);
  EXPECT_EQ(GetDriveType("C:\\"), kDriveFixed);
  EXPECT_EQ(GetDriveType("C:"), kDriveFixed) << "the facade adds the root's backslash";
  EXPECT_EQ(GetVolumeLabel("Y:"), "") << "no such drive";
  const uint32_t drives = LogicalDrives();
  for (char letter = 'A'; letter <= 'Z'; ++letter) {
    const bool listed = (drives >> (letter - 'A')) & 1;
    EXPECT_EQ(listed, GetDriveType(std::string(1, letter) + ":") != kDriveNoRootDir) << letter;
  }
}

TEST(Win32System, ClockReadsLocalTime) {
  LocalTime now = Now();
  EXPECT_GE(now.year, 2000);
  EXPECT_TRUE(now.month >= 1 && now.month <= 12);
  EXPECT_TRUE(now.day >= 1 && now.day <= 31);
  EXPECT_TRUE(now.hour >= 0 && now.hour <= 23);
  EXPECT_TRUE(now.minute >= 0 && now.minute <= 59);
}

TEST(Win32System, ScreenSizeIsInTwips) {
  double width = 0;
  double height = 0;
  ScreenSizeTwips(&width, &height);
  EXPECT_EQ(width, GetSystemMetrics(SM_CXSCREEN) * 15.0);
  EXPECT_EQ(height, GetSystemMetrics(SM_CYSCREEN) * 15.0);
}

TEST(Win32System, LibraryExportsAreFoundAndTheLibraryKept) {
  void* tick = FindLibraryExport("kernel32.dll", "GetTickCount");
  EXPECT_EQ(tick, reinterpret_cast<void*>(
                      GetProcAddress(GetModuleHandleA("kernel32.dll"), "GetTickCount")));
  EXPECT_EQ(FindLibraryExport("KERNEL32.DLL", "GetTickCount"), tick);
  EXPECT_EQ(FindLibraryExport("kernel32.dll", "NoSuchExport"), nullptr);
  EXPECT_EQ(FindLibraryExport("no-such-library.dll", "GetTickCount"), nullptr);
}

TEST(Win32System, StartProgramStartsOrReportsFailure) {
  const std::string marker = CurrentDirectory() + "\\nox-started.txt";
  DeleteFile(marker);
  // cmd writes the marker, so the start is seen to have happened.
  ASSERT_TRUE(StartProgram(SystemDirectory() + "\\cmd.exe /c echo started> \"" + marker + "\"",
                           WindowState::kHidden));
  std::string content;
  for (int wait = 0; wait < 100; ++wait) {
    if (ReadWholeFile(marker, &content) == kSuccess && content.rfind("started", 0) == 0) break;
    Sleep(50);
  }
  EXPECT_EQ(content.substr(0, 7), "started");
  DeleteFile(marker);
  EXPECT_FALSE(StartProgram("C:\\no-such-folder\\no-such-program.exe", WindowState::kNormalFocus));
}

}  // namespace
}  // namespace platform
