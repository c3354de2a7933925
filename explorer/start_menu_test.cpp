#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "explorer/frm_login.h"
#include "explorer/write_settings_test_support.h"

namespace nox::write_settings_test {
namespace {

constexpr const char* kShellFolders =
    "Software\\Microsoft\\Windows\\CurrentVersion\\explorer\\Shell folders";
constexpr const char* kUserShellFolders =
    "Software\\Microsoft\\Windows\\CurrentVersion\\explorer\\User Shell folders";
constexpr const char* kPoliciesExplorer =
    "Software\\Microsoft\\Windows\\CurrentVersion\\policies\\explorer";

std::optional<std::string> Text(platform::RegKey root, const char* key, const char* name) {
  auto value = fake::RegGetValue(root, key, name);
  if (!value) return std::nullopt;
  EXPECT_EQ(value->type, platform::kRegSz) << name;
  return value->data.substr(0, value->data.size() - 1);
}

std::optional<std::string> SubFolders(platform::RegKey root) {
  auto value = fake::RegGetValue(root, kPoliciesExplorer, "NoStartMenuSubFolders");
  if (!value) return std::nullopt;
  EXPECT_EQ(value->type, platform::kRegDword);
  return value->data;
}

class StartMenuTest : public ::testing::Test {
 protected:
  void SetUp() override { ArrangeMachine(); }
  frmLogin form_;
};

TEST_F(StartMenuTest, FirstLoginWithoutRestrictionSavesAndRestoresTheStandardFolders) {
  form_.SetStartMenu(0, 1);
  const auto hkcu = platform::kCurrentUser;
  EXPECT_EQ(Text(hkcu, kShellFolders, "WinMenu Programs"), kStandardPrograms);
  EXPECT_EQ(Text(hkcu, kShellFolders, "WinStart Menu"), kStandardMenu);
  EXPECT_EQ(Text(hkcu, kShellFolders, "NoxMenu Programs"), kNoxPrograms);
  EXPECT_EQ(Text(hkcu, kShellFolders, "NoxStart Menu"), kNoxMenu);
  EXPECT_EQ(Text(hkcu, kUserShellFolders, "Programs"), kStandardPrograms);
  EXPECT_EQ(Text(hkcu, kUserShellFolders, "Start Menu"), kStandardMenu);
  EXPECT_EQ(SubFolders(hkcu), Dword(0));
}

TEST_F(StartMenuTest, RestrictedAndBackAgain) {
  const auto hkcu = platform::kCurrentUser;
  form_.SetStartMenu(0, 1);
  // Windows now reports the folders it was given; the saved values stay.
  PutValue(hkcu, kShellFolders, "Programs", platform::kRegSz, Sz("C:\\elsewhere"));

  form_.SetStartMenu(8192, 1);
  EXPECT_EQ(Text(hkcu, kUserShellFolders, "Programs"), kNoxPrograms);
  EXPECT_EQ(Text(hkcu, kUserShellFolders, "Start Menu"), kStandardMenu);
  EXPECT_EQ(SubFolders(hkcu), Dword(1));

  form_.SetStartMenu(63759, 1);
  EXPECT_EQ(Text(hkcu, kUserShellFolders, "Programs"), kNoxPrograms);
  EXPECT_EQ(Text(hkcu, kUserShellFolders, "Start Menu"), kNoxMenu);
  EXPECT_EQ(SubFolders(hkcu), Dword(1));

  form_.SetStartMenu(4096, 1);
  EXPECT_EQ(Text(hkcu, kUserShellFolders, "Programs"), kStandardPrograms);
  EXPECT_EQ(Text(hkcu, kUserShellFolders, "Start Menu"), kNoxMenu);
  EXPECT_EQ(SubFolders(hkcu), Dword(0));

  form_.SetStartMenu(0, 1);
  EXPECT_EQ(Text(hkcu, kUserShellFolders, "Programs"), kStandardPrograms);
  EXPECT_EQ(Text(hkcu, kUserShellFolders, "Start Menu"), kStandardMenu);
  EXPECT_EQ(Text(hkcu, kShellFolders, "WinMenu Programs"), kStandardPrograms);
}

TEST_F(StartMenuTest, RecordedValuesAreNeverChanged) {
  const auto hkcu = platform::kCurrentUser;
  PutValue(hkcu, kShellFolders, "NoxMenu Programs", platform::kRegSz, Sz("D:\\kiosk\\Programs"));
  PutValue(hkcu, kShellFolders, "WinStart Menu", platform::kRegSz, Sz("D:\\saved menu"));
  form_.SetStartMenu(8192 | 4096, 1);
  EXPECT_EQ(Text(hkcu, kUserShellFolders, "Programs"), "D:\\kiosk\\Programs");
  EXPECT_EQ(Text(hkcu, kShellFolders, "NoxMenu Programs"), "D:\\kiosk\\Programs");
  form_.SetStartMenu(0, 1);
  EXPECT_EQ(Text(hkcu, kUserShellFolders, "Start Menu"), "D:\\saved menu");
  EXPECT_EQ(Text(hkcu, kShellFolders, "WinStart Menu"), "D:\\saved menu");
}

TEST_F(StartMenuTest, AllUsersScopeLivesUnderLocalMachine) {
  const auto hklm = platform::kLocalMachine;
  PutValue(hklm, kShellFolders, "Common Programs", platform::kRegSz,
           Sz("C:\\WINNT\\Profiles\\All Users\\Start Menu\\Programs"));
  PutValue(hklm, kShellFolders, "Common Start Menu", platform::kRegSz,
           Sz("C:\\WINNT\\Profiles\\All Users\\Start Menu"));
  form_.SetStartMenu(8192, 2);
  EXPECT_EQ(Text(hklm, kShellFolders, "WinMenu Programs"),
            "C:\\WINNT\\Profiles\\All Users\\Start Menu\\Programs");
  EXPECT_EQ(Text(hklm, kShellFolders, "WinStart Menu"),
            "C:\\WINNT\\Profiles\\All Users\\Start Menu");
  EXPECT_EQ(Text(hklm, kUserShellFolders, "Common Programs"), kNoxPrograms);
  EXPECT_EQ(Text(hklm, kUserShellFolders, "Common Start Menu"),
            "C:\\WINNT\\Profiles\\All Users\\Start Menu");
  EXPECT_EQ(SubFolders(hklm), Dword(1));
  EXPECT_EQ(Text(platform::kCurrentUser, kUserShellFolders, "Programs"), std::nullopt);
}

TEST_F(StartMenuTest, UnknownStandardFolderIsNeverWrittenAsBlanks) {
  const auto hklm = platform::kLocalMachine;
  form_.SetStartMenu(0, 2);
  // The blank text is recorded (and counts as not set next time) ...
  EXPECT_EQ(Text(hklm, kShellFolders, "WinMenu Programs"), std::string(253, ' '));
  // ... but the folder Windows uses is left alone.
  EXPECT_EQ(Text(hklm, kUserShellFolders, "Common Programs"), std::nullopt);
  EXPECT_EQ(Text(hklm, kUserShellFolders, "Common Start Menu"), std::nullopt);
  EXPECT_EQ(SubFolders(hklm), Dword(0));

  PutValue(hklm, kShellFolders, "Common Programs", platform::kRegSz, Sz("C:\\All\\Programs"));
  form_.SetStartMenu(0, 2);
  EXPECT_EQ(Text(hklm, kShellFolders, "WinMenu Programs"), "C:\\All\\Programs");
  EXPECT_EQ(Text(hklm, kUserShellFolders, "Common Programs"), "C:\\All\\Programs");
}

}  // namespace
}  // namespace nox::write_settings_test
