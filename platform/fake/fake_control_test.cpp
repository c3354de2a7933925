// The fake's own controls and recorders (the registry and file behaviours
// shared with Win32 are in platform/contract_test.cpp).
#include "platform/fake/fake_control.h"

#include <gtest/gtest.h>

#include "platform/platform.h"

namespace platform::fake {
namespace {

class FakeControlTest : public ::testing::Test {
 protected:
  void SetUp() override { Reset(); }
};

TEST_F(FakeControlTest, DefaultsAfterReset) {
  SetLogonUserName("someone");
  SetSystemDirectory("C:\\WINNT\\SYSTEM32");
  Reset();
  EXPECT_EQ(SystemDirectory(), "C:\\WINDOWS\\SYSTEM");
  EXPECT_EQ(WindowsDirectory(), "C:\\WINDOWS");
  EXPECT_EQ(ProgramDirectory(), "C:\\NOX");
  EXPECT_EQ(CurrentDirectory(), "C:\\NOX");
  EXPECT_TRUE(DirectoryExists("C:\\WINDOWS\\SYSTEM"));
  EXPECT_TRUE(DirectoryExists("C:\\NOX"));
  std::string name;
  ASSERT_TRUE(GetLogonUserName(&name));
  EXPECT_EQ(name, "user");
  OsVersion version;
  ASSERT_TRUE(GetOsVersion(&version));
  EXPECT_EQ(version.platform_id, kPlatformNt);
  EXPECT_EQ(version.major, 4u);
  EXPECT_EQ(GetDriveType("C:\\"), kDriveFixed);
  EXPECT_EQ(GetDriveType("D:\\"), kDriveNoRootDir);
  double width = 0;
  double height = 0;
  ScreenSizeTwips(&width, &height);
  EXPECT_EQ(width, 12000);
  EXPECT_EQ(height, 9000);
  EXPECT_TRUE(AllFiles().empty());
  EXPECT_EQ(OpenRegKeyCount(), 0u);
}

TEST_F(FakeControlTest, LogonNameCanFail) {
  FailLogonUserName();
  std::string name = "untouched";
  EXPECT_FALSE(GetLogonUserName(&name));
  EXPECT_EQ(name, "untouched");
  SetLogonUserName("Anna");
  ASSERT_TRUE(GetLogonUserName(&name));
  EXPECT_EQ(name, "Anna");
}

TEST_F(FakeControlTest, VersionIsSettableAndCanFail) {
  SetOsVersion(OsVersion{kPlatformWindows, 4, 10, 1998});
  OsVersion version;
  ASSERT_TRUE(GetOsVersion(&version));
  EXPECT_EQ(version.platform_id, kPlatformWindows);
  EXPECT_EQ(version.minor, 10u);
  EXPECT_EQ(version.build, 1998u);
  SetOsVersionFails(true);
  EXPECT_FALSE(GetOsVersion(&version));
}

TEST_F(FakeControlTest, DriveTypesAndLabels) {
  SetDriveType('d', kDriveCdrom);
  SetVolumeLabel('D', "NOXDISC");
  const struct {
    const char* root;
    uint32_t type;
  } cases[] = {{"D:", kDriveCdrom},       {"D:\\", kDriveCdrom},    {"d:/", kDriveCdrom},
               {"C:", kDriveFixed},       {"", kDriveFixed},        {"D:\\X", kDriveNoRootDir},
               {"1:\\", kDriveNoRootDir}, {"E:\\", kDriveNoRootDir}};
  for (size_t i = 0; i < std::size(cases); ++i) {
    EXPECT_EQ(GetDriveType(cases[i].root), cases[i].type) << "case " << i << " " << cases[i].root;
  }
  EXPECT_EQ(LogicalDrives(), 0b1100u) << "C: and D:";
  EXPECT_EQ(GetVolumeLabel("D:"), "NOXDISC");
  EXPECT_EQ(GetVolumeLabel("E:"), "");
  SetVolumeLabel('E', "GONE");
  EXPECT_EQ(GetVolumeLabel("E:"), "") << "a drive that is not there has no label";
}

TEST_F(FakeControlTest, FilesOnADriveWithoutFileSystemAreUnreachable) {
  EXPECT_EQ(WriteWholeFile("E:\\X.TXT", "x"), kPathNotFound);
  SetDriveType('E', kDriveRemovable);
  EXPECT_EQ(WriteWholeFile("E:\\X.TXT", "x"), kSuccess);
  EXPECT_EQ(FileBytes("e:\\x.txt"), "x");
  EXPECT_THROW(PutFile("F:\\Y.TXT", "y"), std::invalid_argument);
}

TEST_F(FakeControlTest, ClockAdvancesAcrossDaysMonthsAndYears) {
  const struct {
    LocalTime start;
    int64_t minutes;
    LocalTime end;
  } cases[] = {
      {{2001, 3, 4, 10, 30, 15, 250}, 29, {2001, 3, 4, 10, 59, 15, 250}},
      {{2001, 3, 4, 23, 59, 0, 0}, 1, {2001, 3, 5, 0, 0, 0, 0}},
      {{2000, 2, 28, 23, 0, 0, 0}, 60, {2000, 2, 29, 0, 0, 0, 0}},
      {{1999, 12, 31, 23, 30, 0, 0}, 45, {2000, 1, 1, 0, 15, 0, 0}},
      {{2000, 3, 1, 0, 10, 0, 0}, -20, {2000, 2, 29, 23, 50, 0, 0}},
      {{2002, 1, 1, 12, 0, 0, 0}, 3 * 1440, {2002, 1, 4, 12, 0, 0, 0}},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    SetLocalTime(cases[i].start);
    AdvanceMinutes(cases[i].minutes);
    LocalTime now = Now();
    const LocalTime& want = cases[i].end;
    EXPECT_EQ(now.year, want.year) << "case " << i;
    EXPECT_EQ(now.month, want.month) << "case " << i;
    EXPECT_EQ(now.day, want.day) << "case " << i;
    EXPECT_EQ(now.hour, want.hour) << "case " << i;
    EXPECT_EQ(now.minute, want.minute) << "case " << i;
    EXPECT_EQ(now.second, want.second) << "case " << i;
    EXPECT_EQ(now.millisecond, want.millisecond) << "case " << i;
  }
}

TEST_F(FakeControlTest, ProgramStartsAndSessionEndsAreRecorded) {
  SetStartProgramResult(false);
  EXPECT_FALSE(StartProgram("C:\\WINDOWS\\explorer.exe /x", WindowState::kMaximizedFocus));
  SetStartProgramResult(true);
  EXPECT_TRUE(StartProgram("C:\\NOX\\pelorus.exe", WindowState::kMinimizedNoFocus));
  ASSERT_EQ(ProgramStarts().size(), 2u);
  EXPECT_EQ(ProgramStarts()[0].command_line, "C:\\WINDOWS\\explorer.exe /x");
  EXPECT_EQ(ProgramStarts()[0].state, WindowState::kMaximizedFocus);
  EXPECT_EQ(ProgramStarts()[1].state, WindowState::kMinimizedNoFocus);

  EXPECT_TRUE(ExitWindows(4, 0xFFFF));
  SetExitWindowsResult(false);
  EXPECT_FALSE(ExitWindows(0, 0));
  ASSERT_EQ(ExitWindowsCalls().size(), 2u);
  EXPECT_EQ(ExitWindowsCalls()[0].flags, 4u);
  EXPECT_EQ(ExitWindowsCalls()[0].reserved, 0xFFFFu);
}

TEST_F(FakeControlTest, EndProgramUnwindsToTheTest) {
  EXPECT_FALSE(ProgramEndCode().has_value());
  try {
    EndProgram(3);
    FAIL() << "EndProgram returned";
  } catch (const std::exception&) {
    FAIL() << "the end of the program must not look like an ordinary exception";
  } catch (const ProgramEnded& ended) {
    EXPECT_EQ(ended.exit_code, 3);
  }
  EXPECT_EQ(ProgramEndCode(), 3);
}

TEST_F(FakeControlTest, MessageBoxesAreRecordedAndAnsweredFromTheScript) {
  QueueMessageBoxAnswer(6);
  QueueMessageBoxAnswer(7);
  EXPECT_EQ(MessageBox("first", "Nox Message", kMbIconQuestion | 4), 6);
  EXPECT_EQ(MessageBox("second", "Nox Message", 4), 7);
  EXPECT_EQ(MessageBox("third", "T", kMbOk), kIdOk);
  ASSERT_EQ(MessageBoxes().size(), 3u);
  EXPECT_EQ(MessageBoxes()[0].text, "first");
  EXPECT_EQ(MessageBoxes()[0].title, "Nox Message");
  EXPECT_EQ(MessageBoxes()[0].flags, kMbIconQuestion | 4);
  EXPECT_EQ(MessageBoxes()[2].text, "third");
}

int marker_a = 0;
int marker_b = 0;

TEST_F(FakeControlTest, LibraryExportsMatchTheFileNameWithoutRegardToCase) {
  RegisterLibraryExport("CLASPS.DLL", "SRV_RegCreateKey", &marker_a);
  RegisterLibraryExport("Tessel.dll", "EjectDrive", &marker_b);
  EXPECT_EQ(FindLibraryExport("clasps.dll", "SRV_RegCreateKey"), &marker_a);
  EXPECT_EQ(FindLibraryExport("CLASPS", "SRV_RegCreateKey"), &marker_a);
  EXPECT_EQ(FindLibraryExport("C:\\NOX\\TESSEL.DLL", "EjectDrive"), &marker_b);
  EXPECT_EQ(FindLibraryExport("CLASPS.DLL", "srv_regcreatekey"), nullptr)
      << "export names are matched exactly";
  EXPECT_EQ(FindLibraryExport("CLASPS.DLL", "SRV_RegDeleteKey"), nullptr);
  EXPECT_EQ(FindLibraryExport("OTHER.DLL", "EjectDrive"), nullptr);
  Reset();
  EXPECT_EQ(FindLibraryExport("CLASPS.DLL", "SRV_RegCreateKey"), nullptr);
}

TEST_F(FakeControlTest, RegistryInspection) {
  RegKey key = kNoKey;
  ASSERT_EQ(RegCreateKey(kLocalMachine, "Software\\Quillon\\Nox", &key), kSuccess);
  EXPECT_EQ(OpenRegKeyCount(), 1u);
  ASSERT_EQ(RegSetValue(key, "Restart", kRegDword, std::string("\x01\x00\x00\x00", 4)), kSuccess);
  ASSERT_EQ(RegSetValue(key, "", kRegSz, std::string("abc\0", 4)), kSuccess);
  ASSERT_EQ(RegCloseKey(key), kSuccess);
  EXPECT_EQ(OpenRegKeyCount(), 0u);

  EXPECT_TRUE(RegKeyExists(kLocalMachine, "SOFTWARE\\quillon"));
  EXPECT_FALSE(RegKeyExists(kCurrentUser, "Software\\Quillon"));
  EXPECT_EQ(RegSubkeyNames(kLocalMachine, "Software\\Quillon"), std::vector<std::string>{"Nox"});
  std::vector<RegValueInfo> values = RegKeyValues(kLocalMachine, "software\\quillon\\nox");
  ASSERT_EQ(values.size(), 2u);
  std::optional<RegValueInfo> restart =
      RegGetValue(kLocalMachine, "Software\\Quillon\\Nox", "RESTART");
  ASSERT_TRUE(restart.has_value());
  EXPECT_EQ(restart->name, "Restart");
  EXPECT_EQ(restart->type, kRegDword);
  EXPECT_EQ(restart->data, std::string("\x01\x00\x00\x00", 4));
  EXPECT_FALSE(RegGetValue(kLocalMachine, "Software\\Quillon\\Nox", "Missing").has_value());
}

TEST_F(FakeControlTest, FileInspection) {
  PutFile("C:\\WINDOWS\\SYSTEM\\USER.TBL", std::string("\0\x01", 2));
  PutFile("C:\\Master\\Sub\\settings.tbl", "abc");
  SetDriveType('H', kDriveFixed);
  PutFile("H:/Msdos.sys", "[Options]\r\n");
  EXPECT_TRUE(DirectoryExists("C:\\MASTER\\SUB"));
  EXPECT_TRUE(FileExists("c:\\windows\\system\\user.tbl"));
  EXPECT_FALSE(FileExists("C:\\Master\\Sub"));
  EXPECT_FALSE(DirectoryExists("C:\\Master\\Sub\\settings.tbl"));
  EXPECT_EQ(FileBytes("C:\\WINDOWS\\SYSTEM\\USER.TBL"), std::string("\0\x01", 2));
  EXPECT_FALSE(FileBytes("C:\\Master").has_value());
  EXPECT_EQ(AllFiles(),
            (std::vector<std::string>{"C:\\Master\\Sub\\settings.tbl",
                                      "C:\\WINDOWS\\SYSTEM\\USER.TBL", "H:\\Msdos.sys"}));
  uint32_t attributes = 0;
  ASSERT_EQ(SetFileAttributes("H:\\Msdos.sys", kAttrReadOnly | kAttrHidden), kSuccess);
  PutFile("H:\\MSDOS.SYS", "new");
  EXPECT_EQ(FileBytes("H:\\Msdos.sys"), "new") << "set-up writes ignore read-only";
  ASSERT_EQ(GetFileAttributes("H:\\Msdos.sys", &attributes), kSuccess);
  EXPECT_EQ(attributes, kAttrReadOnly | kAttrHidden);
}

}  // namespace
}  // namespace platform::fake
