#include "explorer/write_settings_parts.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/modern_switches.h"
#include "common/runtime_error.h"
#include "explorer/write_settings_test_support.h"

namespace nox::write_settings_test {
namespace {

template <typename Call>
int ErrorOf(Call call) {
  try {
    call();
  } catch (const RuntimeError& error) {
    return error.number();
  }
  return 0;
}

platform::LocalTime At(int hour, int minute) {
  platform::LocalTime time;
  time.hour = hour;
  time.minute = minute;
  return time;
}

struct ScheduleCase {
  const char* start;
  const char* end;
  int hour, minute;
  bool hidden;
};

TEST(DriveScheduleTest, WindowIncludesItsStartAndExcludesItsEnd) {
  const ScheduleCase kCases[] = {
      {"08:00", "17:00", 12, 30, true},  {"08:00", "17:00", 17, 0, false},
      {"08:00", "17:00", 8, 0, true},    {"08:00", "17:00", 7, 59, false},
      {"08:00", "17:00", 16, 59, true},  {"22:00", "06:00", 23, 0, true},
      {"22:00", "06:00", 5, 59, true},   {"22:00", "06:00", 6, 0, false},
      {"22:00", "06:00", 21, 59, false}, {"22:00", "06:00", 22, 0, true},
      {"22:00", "06:00", 0, 0, true},    {"10:00", "10:00", 10, 0, false},
      {"10:00", "10:00", 3, 0, false},   {"00:00", "23:59", 23, 58, true},
      {" 8:05", "9:5  ", 9, 4, true},    {" 8:05", "9:5  ", 9, 5, false},
  };
  for (size_t i = 0; i < std::size(kCases); ++i) {
    const ScheduleCase& c = kCases[i];
    EXPECT_EQ(ScheduleHidesDrive(Schedule(c.start, c.end, "True"), At(c.hour, c.minute)), c.hidden)
        << "case " << i;
  }
}

TEST(DriveScheduleTest, OnlyATrueFlagCounts) {
  EXPECT_TRUE(ScheduleHidesDrive(Schedule("08:00", "17:00", "  True"), At(12, 0)));
  EXPECT_FALSE(ScheduleHidesDrive(Schedule("08:00", "17:00", "False"), At(12, 0)));
  EXPECT_FALSE(ScheduleHidesDrive(Schedule("08:00", "17:00", "true"), At(12, 0)));
  EXPECT_FALSE(ScheduleHidesDrive(Schedule("08:00", "17:00", ""), At(12, 0)));
  EXPECT_FALSE(ScheduleHidesDrive(std::string(50, '\0'), At(12, 0)));
  // Times are not looked at unless the schedule is in force.
  EXPECT_FALSE(ScheduleHidesDrive(Schedule("xx:yy", "", "False"), At(12, 0)));
}

TEST(DriveScheduleTest, ScheduleInForceWithBadTimesRaises13) {
  for (const char* bad : {"", "24:00", "12:60", "ab:cd", "1200", "-1:00", "12:", "123:4"}) {
    EXPECT_EQ(ErrorOf([&] { ScheduleHidesDrive(Schedule(bad, "17:00", "True"), At(1, 0)); }),
              kErrTypeMismatch)
        << bad;
    EXPECT_EQ(ErrorOf([&] { ScheduleHidesDrive(Schedule("08:00", bad, "True"), At(1, 0)); }),
              kErrTypeMismatch)
        << bad;
  }
}

TEST(ProxyTextTest, EmptyTableGivesEveryPlaceEmpty) {
  EXPECT_EQ(ProxyText(UserRecord::Blank()), "ftp=:;gopher=:;http=:;https=:;socks=:");
}

TEST(ProxyTextTest, FieldsAreTrimmedAndOrdered) {
  UserRecord record = UserRecord::Blank();
  SetFieldText(record.proxy[kProxyHttp].server, "  proxy");
  SetFieldText(record.proxy[kProxyHttp].port, "8080");
  SetFieldText(record.proxy[kProxySocks].server, "socks.example");
  SetFieldText(record.proxy[kProxySocks].port, " 1080");
  SetFieldText(record.proxy[kProxyFtp].port, "21");
  EXPECT_EQ(ProxyText(record), "ftp=:21;gopher=:;http=proxy:8080;https=:;socks=socks.example:1080");
}

TEST(InternetExplorerVersionTest, AboveFourPointSeven) {
  EXPECT_FALSE(InternetExplorerAbove47("4.70.1300\\"));
  EXPECT_TRUE(InternetExplorerAbove47("4.72.3110.8\\"));
  EXPECT_TRUE(InternetExplorerAbove47("5.00.2919.6307\\"));
  EXPECT_TRUE(InternetExplorerAbove47("4.71\\"));
  EXPECT_FALSE(InternetExplorerAbove47("4.7\\"));
  EXPECT_FALSE(InternetExplorerAbove47("4.40.308\\"));
  EXPECT_TRUE(InternetExplorerAbove47("9.0.8112.16421\\"));
  EXPECT_TRUE(InternetExplorerAbove47("11.0.9600\\"));
  EXPECT_TRUE(InternetExplorerAbove47("6\\"));
  EXPECT_TRUE(InternetExplorerAbove47("  5.5  \\"));
  // A missing value reads as 253 blanks and a backslash: one character left.
  EXPECT_FALSE(InternetExplorerAbove47(std::string(253, ' ') + "\\"));
  EXPECT_FALSE(InternetExplorerAbove47("\\"));
}

TEST(InternetExplorerVersionTest, TextNotBeginningWithANumberRaises13) {
  for (const char* bad : {"abc\\", "v5.0\\", ".x\\", "-\\"}) {
    EXPECT_EQ(ErrorOf([&] { InternetExplorerAbove47(bad); }), kErrTypeMismatch) << bad;
  }
}

class FilePartsTest : public ::testing::Test {
 protected:
  void SetUp() override { ArrangeMachine(); }
};

TEST_F(FilePartsTest, WipeEmptiesTheTemporaryFolderAndRecreatesIt) {
  fake::PutFile("C:\\NOX\\keep.txt", "beside tmp");
  fake::PutFile("C:\\NOX\\tmp\\sub\\a\\b\\c.txt", "deep");
  ListBox queue;
  queue.AddItem("stale entry");
  WipeTemporaryFolder(queue, "C:\\NOX\\tmp");
  EXPECT_TRUE(fake::DirectoryExists("C:\\NOX\\tmp"));
  EXPECT_FALSE(fake::DirectoryExists("C:\\NOX\\tmp\\sub"));
  EXPECT_FALSE(fake::DirectoryExists("C:\\NOX\\tmp\\Start Menu"));
  EXPECT_TRUE(fake::FileExists("C:\\NOX\\keep.txt"));
  for (const std::string& file : fake::AllFiles()) {
    EXPECT_EQ(Upper(file).rfind("C:\\NOX\\TMP\\", 0), std::string::npos) << file;
  }
  ASSERT_FALSE(queue.items.empty());
  EXPECT_EQ(queue.items[0], "C:\\NOX\\tmp\\");
}

TEST_F(FilePartsTest, WipeOfAMissingFolderCreatesIt) {
  ListBox queue;
  WipeTemporaryFolder(queue, "C:\\NOX\\fresh");
  EXPECT_TRUE(fake::DirectoryExists("C:\\NOX\\fresh"));
}

TEST_F(FilePartsTest, WipeLeavesAReadOnlyFileAndGoesOn) {
  fake::PutFile("C:\\NOX\\tmp\\locked.txt", "read-only");
  platform::SetFileAttributes("C:\\NOX\\tmp\\locked.txt", platform::kAttrReadOnly);
  ListBox queue;
  WipeTemporaryFolder(queue, "C:\\NOX\\tmp");
  EXPECT_TRUE(fake::FileExists("C:\\NOX\\tmp\\locked.txt"));
  EXPECT_FALSE(fake::FileExists("C:\\NOX\\tmp\\old.txt"));
  EXPECT_FALSE(fake::DirectoryExists("C:\\NOX\\tmp\\sub"));
}

TEST_F(FilePartsTest, WipeRemovesLinksWithoutFollowingThem) {
  fake::PutFile("C:\\DATA\\precious.doc", "keep me");
  fake::PutFile("C:\\DATA\\inner\\more.doc", "keep me too");
  fake::PutDirectoryLink("C:\\NOX\\tmp\\junction", "C:\\DATA");
  fake::PutDirectoryLink("C:\\NOX\\tmp\\sub\\windows", "C:\\WINDOWS");
  // Through the link the target's files are reachable, as on Windows.
  std::vector<platform::FindEntry> through;
  ASSERT_EQ(platform::FindFiles("C:\\NOX\\tmp\\junction\\*.doc", &through), platform::kSuccess);
  ASSERT_EQ(through.size(), 1u);

  ListBox queue;
  WipeTemporaryFolder(queue, "C:\\NOX\\tmp");
  EXPECT_EQ(fake::FileBytes("C:\\DATA\\precious.doc"), "keep me");
  EXPECT_EQ(fake::FileBytes("C:\\DATA\\inner\\more.doc"), "keep me too");
  EXPECT_TRUE(fake::FileExists("C:\\WINDOWS\\SYSTEM\\Timedate.cpl"));
  EXPECT_TRUE(fake::FileExists("C:\\WINDOWS\\Recent\\b.lnk"));
  EXPECT_FALSE(fake::DirectoryExists("C:\\NOX\\tmp\\junction"));
  EXPECT_FALSE(fake::DirectoryExists("C:\\NOX\\tmp\\sub"));
  EXPECT_FALSE(fake::FileExists("C:\\NOX\\tmp\\old.txt"));
  EXPECT_TRUE(fake::DirectoryExists("C:\\NOX\\tmp"));
}

TEST_F(FilePartsTest, TemporaryFolderThatIsALinkIsReplacedNotEmptied) {
  fake::PutFile("C:\\DATA\\precious.doc", "keep me");
  ASSERT_EQ(platform::MoveFile("C:\\NOX\\tmp", "C:\\NOX\\tmp.old"), platform::kSuccess);
  fake::PutDirectoryLink("C:\\NOX\\tmp", "C:\\DATA");
  ListBox queue;
  WipeTemporaryFolder(queue, "C:\\NOX\\tmp");
  EXPECT_EQ(fake::FileBytes("C:\\DATA\\precious.doc"), "keep me");
  uint32_t attributes = 0;
  ASSERT_EQ(platform::GetFileAttributes("C:\\NOX\\tmp", &attributes), platform::kSuccess);
  EXPECT_EQ(attributes & platform::kAttrReparsePoint, 0u);
  std::vector<platform::FindEntry> entries;
  platform::FindFiles("C:\\NOX\\tmp\\*", &entries);
  EXPECT_EQ(entries.size(), 2u);  // "." and ".." only
}

TEST_F(FilePartsTest, RecentFilesGoOnlyWhenTheValueNamesAFolder) {
  DeleteRecentFiles(std::string(kRecentFolder) + "\\");
  EXPECT_FALSE(fake::FileExists(std::string(kRecentFolder) + "\\a.lnk"));

  // Empty value ("\" alone) and missing value (blanks and "\"): the pattern
  // would be the root of the current drive; nothing may go.
  fake::PutFile("C:\\NOX\\notes.txt", "current directory file");
  DeleteRecentFiles("\\");
  DeleteRecentFiles(std::string(253, ' ') + "\\");
  DeleteRecentFiles("   \\");
  EXPECT_TRUE(fake::FileExists("C:\\IO.SYS"));
  EXPECT_TRUE(fake::FileExists("C:\\MSDOS.SYS"));
  EXPECT_TRUE(fake::FileExists("C:\\NOX\\notes.txt"));
}

TEST_F(FilePartsTest, KillDeletesMatchingFilesButNoFolders) {
  fake::PutFile("C:\\WINDOWS\\Recent\\c.lnk", "c");
  fake::PutFile("C:\\WINDOWS\\Recent\\inner\\d.lnk", "d");
  Kill("C:\\WINDOWS\\Recent\\*.*");
  EXPECT_FALSE(fake::FileExists("C:\\WINDOWS\\Recent\\b.lnk"));
  EXPECT_FALSE(fake::FileExists("C:\\WINDOWS\\Recent\\c.lnk"));
  EXPECT_TRUE(fake::FileExists("C:\\WINDOWS\\Recent\\inner\\d.lnk"));
  EXPECT_EQ(ErrorOf([] { Kill("C:\\WINDOWS\\Recent\\*.*"); }), kErrFileNotFound);
  EXPECT_EQ(ErrorOf([] { Kill("C:\\nowhere\\*.*"); }), kErrPathNotFound);
}

RegistryDump RestrictRunValues() {
  RegistryDump dump;
  DumpKey(platform::kCurrentUser, "",
          "Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer\\RestrictRun", &dump);
  return dump;
}

std::optional<std::string> RestrictRunFlag() {
  return RegData(platform::kCurrentUser,
                 "Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer", "RestrictRun");
}

std::vector<std::string> RestrictRunNames() {
  std::vector<std::string> names;
  for (int i = 1;; ++i) {
    auto value =
        RegData(platform::kCurrentUser,
                "Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer\\RestrictRun",
                std::to_string(i));
    if (!value) break;
    names.push_back(value->substr(0, value->size() - 1));
  }
  return names;
}

TEST_F(FilePartsTest, ProgramListReplacesOlderNumberedValues) {
  fake::PutFile("C:\\WINDOWS\\SYSTEM\\3.TBL",
                "x,y\r\n\"a.exe\",\"False\",\"1\",\"2\"\r\n\"b.exe\",\"\",\"\",\"\"\r\n"
                "c.exe,True,3,4\r\n");
  UserRecord record = UserRecord::Blank();
  record.allowed_program_count = 3;
  ListBox list1;
  ApplyProgramList(record, "3", list1);
  EXPECT_EQ(RestrictRunFlag(), Dword(1));
  EXPECT_EQ(RestrictRunNames(),
            (std::vector<std::string>{"a.exe", "b.exe", "c.exe", "wardkeep.exe", "Regedit.exe",
                                      "Ntsieve.exe", "Mendkit.exe", "pelorus.exe"}));
  EXPECT_EQ(RestrictRunValues().size(), 8u);  // "9" = stale.exe is gone
  EXPECT_TRUE(list1.items.empty());
}

TEST_F(FilePartsTest, FirstProgramFlaggedTrueLiftsTheList) {
  fake::PutFile("C:\\WINDOWS\\SYSTEM\\3.TBL", "x,y\r\n\"a.exe\",\"True\",\"1\",\"2\"\r\n");
  UserRecord record = UserRecord::Blank();
  record.allowed_program_count = 3;
  ListBox list1;
  ApplyProgramList(record, "3", list1);
  EXPECT_EQ(RestrictRunFlag(), Dword(0));
  EXPECT_FALSE(fake::RegKeyExists(
      platform::kCurrentUser,
      "Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer\\RestrictRun"));
}

TEST_F(FilePartsTest, NoAllowedProgramsLiftsTheList) {
  UserRecord record = UserRecord::Blank();
  record.program_list_count = 1;
  ListBox list1;
  ApplyProgramList(record, "3", list1);
  EXPECT_EQ(RestrictRunFlag(), Dword(0));
  EXPECT_FALSE(fake::RegKeyExists(
      platform::kCurrentUser,
      "Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer\\RestrictRun"));
  EXPECT_EQ(list1.items, std::vector<std::string>{"ABCNox Disc 1"});
}

TEST_F(FilePartsTest, MissingProgramListGivesEmptyNamesAndTheFixedOnes) {
  UserRecord record = UserRecord::Blank();
  record.program_list_count = 2;
  record.allowed_program_count = 2;
  ListBox list1;
  ApplyProgramList(record, "7", list1);
  EXPECT_EQ(list1.items, (std::vector<std::string>{"", ""}));
  EXPECT_EQ(RestrictRunFlag(), Dword(1));
  EXPECT_EQ(RestrictRunNames(),
            (std::vector<std::string>{"", "", "wardkeep.exe", "Regedit.exe", "Ntsieve.exe",
                                      "Mendkit.exe", "pelorus.exe"}));
}

TEST_F(FilePartsTest, ShortProgramListReadsAsFarAsItGoes) {
  fake::PutFile("C:\\WINDOWS\\SYSTEM\\3.TBL", "\"x\",\"y\"\r\nonly line\r\n\"a.exe\"");
  UserRecord record = UserRecord::Blank();
  record.program_list_count = 3;
  record.allowed_program_count = 2;
  ListBox list1;
  ApplyProgramList(record, "3", list1);
  EXPECT_EQ(list1.items, (std::vector<std::string>{"only line", "\"a.exe\"", ""}));
  EXPECT_EQ(RestrictRunNames(),
            (std::vector<std::string>{"", "", "wardkeep.exe", "Regedit.exe", "Ntsieve.exe",
                                      "Mendkit.exe", "pelorus.exe"}));
}

TEST_F(FilePartsTest, ProgramRecordCutShortKeepsWhatWasRead) {
  fake::PutFile("C:\\WINDOWS\\SYSTEM\\3.TBL", "\"x\",\"y\"\r\n\"a.exe\"\r\n");
  UserRecord record = UserRecord::Blank();
  record.allowed_program_count = 1;
  ListBox list1;
  ApplyProgramList(record, "3", list1);
  EXPECT_EQ(RestrictRunFlag(), Dword(1));
  EXPECT_EQ(RestrictRunNames(),
            (std::vector<std::string>{"a.exe", "wardkeep.exe", "Regedit.exe", "Ntsieve.exe",
                                      "Mendkit.exe", "pelorus.exe"}));
}

// A login's switches against what the profile holds: every value of the
// twelve is present beforehand (written by Nox or by someone else), and the
// marker says which of them an earlier login wrote.
struct SwitchCase {
  const char* marker;  // nullptr: none
  uint32_t mask2;
  const char* marker_after;
  const char* present;  // per bit 16 to 27: '1' when its first value is left as written
};

TEST(ModernSwitchesTest, ClearBitsRemoveOnlyWhatTheMarkerRecords) {
  const SwitchCase kCases[] = {
      {nullptr, 0, nullptr, "111111111111"},             // never written: left alone
      {"268369920", 1u << 16, "65536", "100000000000"},  // lighter level
      {"65536", 0, nullptr, "011111111111"},             // only Task Manager was ours
      {"65536", 3u << 16, "196608", "111111111111"},     // marker grows
      {"junk", 0, nullptr, "000000000000"},              // damaged: all twelve count
      {"4294967295", 0, nullptr, "000000000000"},        // bits outside the twelve
      {"  65536 ", 1u << 31, nullptr, "011111111111"},   // bit 31 is no switch
  };
  for (size_t i = 0; i < std::size(kCases); ++i) {
    const SwitchCase& c = kCases[i];
    SCOPED_TRACE(i);
    ArrangeMachine();
    for (const RegStep& step : SwitchWrites(kModernSwitchBits, 4)) {
      RunRegStep(step, RegFlavor::kLogin);
    }
    std::vector<std::string> written;
    for (int bit = 16; bit <= 27; ++bit) {
      const RegPath first = SplitRegPath(SwitchWrites(1u << bit, 4).front().regline);
      written.push_back(fake::RegGetValue(first.root, first.key, first.value_name)->data);
    }
    if (c.marker) RegWrite(kWrittenSwitches, c.marker, platform::kRegSz);
    WriteModernSwitches(c.mask2, 4);
    const std::string marker = RegRead(kWrittenSwitches);
    EXPECT_EQ(marker,
              c.marker_after ? std::string(c.marker_after) + "\\" : std::string(253, ' ') + "\\");
    for (int bit = 16; bit <= 27; ++bit) {
      const RegPath first = SplitRegPath(SwitchWrites(1u << bit, 4).front().regline);
      const auto value = fake::RegGetValue(first.root, first.key, first.value_name);
      const bool left = value && value->data == written[bit - 16];
      EXPECT_EQ(left, c.present[bit - 16] == '1') << "bit " << bit;
    }
  }
}

// Without the service a standard account cannot change the Policies
// branches: what it cannot remove stays recorded for a later login.
TEST(ModernSwitchesTest, StandardAccountKeepsTheMarkerOfWhatItCouldNotRemove) {
  ArrangeMachine();
  WriteModernSwitches(kModernSwitchBits, 4);
  fake::SetCaller(fake::Caller::kStandardAccount);
  WriteModernSwitches(0, 4);
  EXPECT_EQ(RegRead(kWrittenSwitches), "268369920\\");
  EXPECT_TRUE(fake::RegGetValue(platform::kCurrentUser,
                                "Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\System",
                                "DisableTaskMgr"));
  EXPECT_FALSE(fake::RegGetValue(platform::kCurrentUser,
                                 "Software\\Microsoft\\Windows Script Host\\Settings", "Enabled"));
  EXPECT_FALSE(fake::RefusedAccesses().empty());
}

TEST(ModernSwitchesTest, RemovalPutsTheAccessibilityFlagsBackAndDeletesTheLists) {
  ArrangeMachine();
  WriteModernSwitches(kModernSwitchBits, 4);
  EXPECT_EQ(RegRead("Current_User,Control Panel\\Accessibility\\StickyKeys,Flags"), "506\\");
  WriteModernSwitches(0, 4);
  EXPECT_EQ(RegRead("Current_User,Control Panel\\Accessibility\\StickyKeys,Flags"), "510\\");
  EXPECT_EQ(RegRead("Current_User,Control Panel\\Accessibility\\ToggleKeys,Flags"), "62\\");
  const char* kLists[] = {
      "Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer\\DisallowRun",
      "Software\\Policies\\Microsoft\\Edge\\URLBlocklist",
      "Software\\Policies\\Google\\Chrome\\URLBlocklist"};
  for (const char* key : kLists)
    EXPECT_FALSE(fake::RegKeyExists(platform::kCurrentUser, key)) << key;
  EXPECT_TRUE(fake::RegKeyExists(platform::kCurrentUser, "Software\\Policies\\Google\\Chrome"));
}

}  // namespace
}  // namespace nox::write_settings_test
