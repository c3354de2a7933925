// The load handling and the disc guard of frmLogin, on the fake platform.
#include "explorer/frm_login.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "explorer/login_test_support.h"
#include "platform/fake/fake_control.h"

namespace nox {
namespace {

using namespace testing_support;
namespace fake = platform::fake;

class LoadTest : public ::testing::Test {
 protected:
  void SetUp() override { ResetMachine(); }

  bool Load(const std::string& command_line = "") {
    return Ends([&] { form_.Form_Load(command_line); });
  }

  void PutSettings(const std::string& master_path, int16_t copy_from_master) {
    SettingsRecord settings;
    SetFieldText(settings.master_path, master_path);
    settings.option_word = 1;
    settings.copy_from_master = copy_from_master;
    SettingsRecordBytes bytes = EncodeSettingsRecord(settings);
    fake::PutFile(std::string(kSystemDir) + "NoxSettings.TBL",
                  std::string(bytes.data(), bytes.size()));
  }

  frmLogin form_;
};

TEST_F(LoadTest, CommandLineGoesToTheRealExplorerExactlyAsReceived) {
  PutUserTable({MakeUser("user", "")});
  EXPECT_TRUE(Load("  /e,C:\\DATA  "));
  ASSERT_EQ(fake::ProgramStarts().size(), 1u);
  EXPECT_EQ(fake::ProgramStarts()[0].command_line, "C:\\WINDOWS\\explorer.exe   /e,C:\\DATA  ");
  EXPECT_EQ(fake::ProgramStarts()[0].state, platform::WindowState::kNormalFocus);
  EXPECT_FALSE(form_.visible);
  // No table was touched: reading one would have created the settings file.
  EXPECT_FALSE(fake::FileExists(std::string(kSystemDir) + "NoxSettings.TBL"));
  EXPECT_FALSE(fake::RegGetValue(platform::kLocalMachine, kNetsieveKey, "User"));
}

TEST_F(LoadTest, BlankCommandLineIsTreatedAsEmpty) {
  fake::SetLogonUserName("nobody");
  EXPECT_FALSE(Load("    "));
  EXPECT_TRUE(form_.visible);
  EXPECT_TRUE(fake::ProgramStarts().empty());
}

TEST_F(LoadTest, NumberedFilesAreRefreshedUntilTheFirstNumberWithoutAnyFile) {
  PutSettings("C:\\MASTER\\tables.dat", 1);
  fake::PutFile("C:\\MASTER\\1.KWt", "kw1");
  fake::PutFile("C:\\MASTER\\2.tbl", "tbl2");
  fake::PutFile("C:\\MASTER\\4.tbl", "tbl4");  // beyond the gap at 3
  fake::PutFile("C:\\MASTER\\user.tbl", "");
  fake::PutFile("C:\\MASTER\\noxsettings.tbl", "");
  fake::PutFile(std::string(kSystemDir) + "2.tbl", "old");
  Load();
  EXPECT_EQ(form_.master_folder, "C:\\MASTER\\");
  EXPECT_EQ(fake::FileBytes(std::string(kSystemDir) + "1.KWT"), "kw1");
  EXPECT_EQ(fake::FileBytes(std::string(kSystemDir) + "2.tbl"), "tbl2");
  EXPECT_FALSE(fake::FileExists(std::string(kSystemDir) + "1.tbl"));
  EXPECT_FALSE(fake::FileExists(std::string(kSystemDir) + "4.tbl"));
  // The two tables came over too (the settings file now holds no master path).
  EXPECT_EQ(fake::FileBytes(std::string(kSystemDir) + "user.tbl"), "");
}

TEST_F(LoadTest, MasterFolderEndsAtTheLastSlashOfEitherKind) {
  struct Case {
    const char* master_path;
    int16_t flag;
    const char* folder;
  } cases[] = {
      {"D:/SHARE/NOX/tables.dat", 1, "D:/SHARE/NOX/"},
      {"D:\\SHARE/NOX\\x", 1, "D:\\SHARE/NOX\\"},
      {"tables.dat", 1, ""},
      {"", 1, ""},
      {"D:\\SHARE\\x", 0, kSystemDir},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.master_path);
    ResetMachine();
    form_ = frmLogin();
    PutSettings(c.master_path, c.flag);
    Load();
    EXPECT_EQ(form_.master_folder, c.folder);
  }
}

TEST_F(LoadTest, MissingSettingsMeanTheSystemDirectoryAndCopiesOntoThemselvesChangeNothing) {
  fake::PutFile(std::string(kSystemDir) + "1.KWT", "local");
  fake::PutFile(std::string(kSystemDir) + "1.tbl", "local tbl");
  Load();
  EXPECT_EQ(form_.master_folder, kSystemDir);
  EXPECT_EQ(fake::FileBytes(std::string(kSystemDir) + "1.KWT"), "local");
  EXPECT_EQ(fake::FileBytes(std::string(kSystemDir) + "1.tbl"), "local tbl");
}

// Listed for the window's disc guard as the window shows; a login without
// the window lists none.
TEST_F(LoadTest, CdromDrivesAreListedInLetterOrderForTheWindowOnly) {
  fake::SetDriveType('F', platform::kDriveCdrom);
  fake::SetDriveType('D', platform::kDriveCdrom);
  fake::SetDriveType('E', platform::kDriveRemovable);
  fake::SetDriveType('Z', platform::kDriveCdrom);
  fake::SetDriveType('A', platform::kDriveCdrom);
  PutUserTable({MakeUser("alice", "secret")});
  fake::SetLogonUserName("alice");
  Load();
  EXPECT_TRUE(form_.List2.items.empty()) << "logged in without the window";

  fake::SetLogonUserName("nobody");
  frmLogin waiting;
  waiting.Form_Load("");
  ASSERT_TRUE(waiting.visible);
  EXPECT_EQ(waiting.List2.items, (std::vector<std::string>{"A:", "D:", "F:", "Z:"}));
}

TEST_F(LoadTest, LogonNameInCapitalsLogsInTheMatchingRecordWithoutAWindow) {
  PutUserTable({MakeUser("bob", "b"), MakeUser("alice", "secret"), MakeUser("carol", "c")});
  fake::SetLogonUserName("ALICE");
  bool centred = false;
  form_.on_centre = [&] { centred = true; };
  Load();
  EXPECT_FALSE(form_.visible);
  EXPECT_FALSE(centred);
  EXPECT_EQ(form_.current_record_number, "2");
  EXPECT_EQ(RegText(platform::kLocalMachine, kNetsieveKey, "User"), "2");
  EXPECT_EQ(RegText(platform::kLocalMachine, kNetsieveKey, "UserName"),
            "alice" + std::string(35, ' '));
  EXPECT_FALSE(fake::FileExists(std::string(kSystemDir) + "user.cur"));
  EXPECT_TRUE(ShellStarted());
  EXPECT_TRUE(fake::MessageBoxes().empty());
}

TEST_F(LoadTest, LogonNameWithABlankDoesNotMatch) {
  PutUserTable({MakeUser("alice", "secret")});
  fake::SetLogonUserName("alice ");
  Load();
  EXPECT_TRUE(form_.visible);
  EXPECT_EQ(form_.Text1[0].text, "alice ");
}

TEST_F(LoadTest, UnknownLogonNameAndDefaultWithoutPasswordLogInAsDefault) {
  PutUserTable({MakeUser("alice", "secret"), MakeUser(".Default", "")});
  fake::SetLogonUserName("stranger");
  Load();
  EXPECT_FALSE(form_.visible);
  EXPECT_EQ(fake::FileBytes(std::string(kSystemDir) + "user.cur"), ".Default\r\n\r\n");
  EXPECT_EQ(RegText(platform::kLocalMachine, kNetsieveKey, "User"), "2");
  EXPECT_EQ(RegText(platform::kLocalMachine, kNetsieveKey, "UserName"),
            ".Default" + std::string(32, ' '));
  EXPECT_TRUE(ShellStarted());
}

TEST_F(LoadTest, DefaultWithAPasswordShowsTheWindowWithDefaultInTheNameBox) {
  PutUserTable({MakeUser(".default", "pw")});
  fake::SetLogonUserName("stranger");
  Load();
  EXPECT_TRUE(form_.visible);
  EXPECT_EQ(form_.caption, "Nox Login");
  EXPECT_EQ(form_.Text1[0].text, ".Default");
  EXPECT_EQ(form_.Text1[1].text, "");
  EXPECT_EQ(form_.focused_text, 1);
  EXPECT_FALSE(ShellStarted());
  EXPECT_FALSE(fake::FileExists(std::string(kSystemDir) + "user.cur"));
}

TEST_F(LoadTest, WithoutDefaultTheWindowShowsTheLogonNameCentred) {
  PutUserTable({MakeUser("alice", "secret")});
  fake::SetLogonUserName("stranger");
  // The window gives its outer size when it is centred.
  form_.on_centre = [&] {
    form_.width_twips = 3900;
    form_.height_twips = 2085;
  };
  Load();
  EXPECT_TRUE(form_.visible);
  EXPECT_EQ(form_.Text1[0].text, "stranger");
  EXPECT_EQ(form_.focused_text, 1);
  // 800 x 600 pixels are 12000 x 9000 twips.
  EXPECT_DOUBLE_EQ(form_.left_twips, (12000.0 - 3900) / 2);
  EXPECT_DOUBLE_EQ(form_.top_twips, (9000.0 - 2085) / 2);
}

TEST_F(LoadTest, NoLogonNameAndRestartFlagClearsTheFlagAndEnds) {
  PutUserTable({MakeUser(".Default", "")});
  fake::FailLogonUserName();
  nox::RegWrite("Local_Machine,SOFTWARE\\Quillon\\Explorer\\CurrentVersion,Restart", "1 please",
                platform::kRegSz);
  EXPECT_TRUE(Load());
  auto restart = fake::RegGetValue(platform::kLocalMachine,
                                   "Software\\Quillon\\Explorer\\CurrentVersion", "Restart");
  ASSERT_TRUE(restart);
  EXPECT_EQ(restart->type, platform::kRegSz);
  EXPECT_EQ(restart->data, std::string("0\0", 2));
  EXPECT_FALSE(form_.visible);
  EXPECT_TRUE(fake::ProgramStarts().empty());
  EXPECT_FALSE(fake::FileExists(std::string(kSystemDir) + "user.cur"));
}

TEST_F(LoadTest, NoLogonNameWithoutRestartFlagGoesOn) {
  const char* flags[] = {nullptr, "0", " 1", ""};
  for (const char* flag : flags) {
    SCOPED_TRACE(flag ? flag : "(missing)");
    ResetMachine();
    form_ = frmLogin();
    fake::FailLogonUserName();
    if (flag) {
      nox::RegWrite("Local_Machine,Software\\Quillon\\Explorer\\CurrentVersion\\,Restart", flag,
                    platform::kRegSz);
    }
    EXPECT_FALSE(Load());
    EXPECT_TRUE(form_.visible);
    EXPECT_EQ(form_.Text1[0].text, ".Default");
  }
}

TEST_F(LoadTest, NoLogonNameMatchesOnlyARecordOfBlanks) {
  PutUserTable({MakeUser("alice", "x"), MakeUser("", "x")});
  fake::FailLogonUserName();
  Load();
  EXPECT_FALSE(form_.visible);
  EXPECT_EQ(form_.current_record_number, "2");
}

TEST_F(LoadTest, AutomaticLoginBGoesOnWhenUserCurCannotBeWritten) {
  PutUserTable({MakeUser(".Default", "")});
  fake::MakeDirectories(std::string(kSystemDir) + "user.cur");  // a folder in the file's place
  Load();
  EXPECT_TRUE(fake::MessageBoxes().empty());
  EXPECT_EQ(RegText(platform::kLocalMachine, kNetsieveKey, "User"), "1");
  EXPECT_TRUE(ShellStarted());
}

TEST_F(LoadTest, EmptyOrGarbageTablesNeverStopTheLoad) {
  const std::string tables[] = {"", std::string(100, '\xff'), std::string(2689 + 17, '\0'),
                                TableBytes({MakeUser("alice", "x")}).substr(0, 50)};
  for (size_t i = 0; i < std::size(tables); ++i) {
    SCOPED_TRACE(i);
    ResetMachine();
    form_ = frmLogin();
    fake::PutFile(kUserTablePath, tables[i]);
    fake::PutFile(std::string(kSystemDir) + "NoxSettings.TBL", std::string(7, '\x80'));
    fake::SetLogonUserName("nobody");
    Load();
    EXPECT_TRUE(form_.visible);
  }
}

class DiscGuardTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetMachine();
    ejected_.clear();
  }
  static int32_t NOX_STDCALL RecordEject(const char* drive) {
    ejected_.push_back(drive);
    return -1;
  }
  static std::vector<std::string> ejected_;
  frmLogin form_;
};
std::vector<std::string> DiscGuardTest::ejected_;

TEST_F(DiscGuardTest, EjectsLabelledDiscsThatNoListEntryNames) {
  fake::RegisterLibraryExport("Tessel.DLL", "EjectDrive", reinterpret_cast<void*>(&RecordEject));
  fake::SetDriveType('D', platform::kDriveCdrom);
  fake::SetDriveType('E', platform::kDriveCdrom);
  fake::SetDriveType('F', platform::kDriveCdrom);
  fake::SetDriveType('G', platform::kDriveCdrom);
  fake::SetVolumeLabel('D', "GAMES");
  fake::SetVolumeLabel('E', "MATHS");
  fake::SetVolumeLabel('G', "maths");
  form_.List2.items = {"D:", "E:", "F:", "G:"};
  form_.List1.items = {"01 MATHS", "MATHS", "xx GAME"};
  form_.Timer1_Timer();
  EXPECT_EQ(ejected_, (std::vector<std::string>{"D:", "G:"}));
}

TEST_F(DiscGuardTest, EmptyProgramListEjectsEveryLabelledDisc) {
  fake::RegisterLibraryExport("Tessel.DLL", "EjectDrive", reinterpret_cast<void*>(&RecordEject));
  fake::SetDriveType('D', platform::kDriveCdrom);
  fake::SetVolumeLabel('D', "X");
  form_.List2.items = {"D:"};
  form_.Timer1_Timer();
  form_.Timer1_Timer();
  EXPECT_EQ(ejected_, (std::vector<std::string>{"D:", "D:"}));
}

TEST_F(DiscGuardTest, MissingLibrarySkipsTheTick) {
  fake::SetDriveType('D', platform::kDriveCdrom);
  fake::SetVolumeLabel('D', "GAMES");
  form_.List2.items = {"D:"};
  EXPECT_FALSE(Ends([&] { form_.Timer1_Timer(); }));
  EXPECT_TRUE(ejected_.empty());
  EXPECT_TRUE(fake::MessageBoxes().empty());
  // Bound once the library is there.
  fake::RegisterLibraryExport("Tessel.DLL", "EjectDrive", reinterpret_cast<void*>(&RecordEject));
  form_.Timer1_Timer();
  EXPECT_EQ(ejected_, (std::vector<std::string>{"D:"}));
}

TEST(FocusTest, EnteringABoxSelectsItsWholeText) {
  frmLogin form;
  form.Text1[0].text = "alice";
  form.Text1[0].sel_start = 3;
  form.Text1_GotFocus(0);
  EXPECT_EQ(form.Text1[0].sel_start, 0);
  EXPECT_EQ(form.Text1[0].sel_length, 5);
  EXPECT_EQ(form.focused_text, 0);
}

}  // namespace
}  // namespace nox
