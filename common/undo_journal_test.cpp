#include "common/undo_journal.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/regpath.h"
#include "common/undo_recorder.h"
#include "platform/fake/fake_control.h"

namespace nox {
namespace {

namespace fake = platform::fake;
using Kind = JournalEntry::Kind;

constexpr const char* kExplorer =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer";
constexpr const char* kNetwork = "Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Network";

TEST(UndoJournalLineTest, FormatsAndParsesEachKindByteExactly) {
  const struct {
    JournalEntry entry;
    const char* line;
  } cases[] = {
      {JournalEntry::Key(Kind::kCreatedKey, "Software\\Policies\\Google"),
       "K Software\\Policies\\Google"},
      {JournalEntry::Key(Kind::kTreeRecorded, "A\\B c"), "T A\\B c"},
      {JournalEntry::Value("Software\\X", "NoRun"), "A Software\\X,NoRun"},
      {JournalEntry::Value("Software\\X", ""), "A Software\\X,"},
      {JournalEntry::Value("K", "a, b ,c"), "A K,a, b ,c"},
      {JournalEntry::Value("Software\\X", "NoDrives", Kind::kValue, 4,
                           std::string("\x00\x01\xFF\x7F", 4)),
       "V 4 0001ff7f Software\\X,NoDrives"},
      {JournalEntry::Value("K", "Empty", Kind::kValue, 3, ""), "V 3  K,Empty"},
      {JournalEntry::Value("K", "%P%", Kind::kValue, 2, std::string("%P%\0", 4)),
       "V 2 25502500 K,%P%"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    EXPECT_EQ(FormatJournalLine(c.entry), c.line);
    EXPECT_EQ(ParseJournalLine(c.line), c.entry);
  }
}

TEST(UndoJournalLineTest, RefusesWhatIsNoEntry) {
  for (const char* line :
       {"", "K", "K ", "X Software,a", "A Software", "A ,name", "K a,b", "T a,b", "V 4 00 key",
        "V 4 0 key,v", "V 4 0g key,v", "V 4 0A key,v", "V -1 00 key,v", "V 4294967296 00 k,v",
        "V  00 k,v", "V 4", "KSoftware"}) {
    EXPECT_FALSE(ParseJournalLine(line).has_value()) << line;
  }
}

TEST(UndoJournalLineTest, ParsesTheLinesOfAMultiStringCountingTheDamagedOnes) {
  const std::string bytes("K a\0junk\0A a,b\0\0A never,read\0", 29);
  const ParsedJournal journal = ParseJournal(bytes);
  EXPECT_EQ(journal.entries, (std::vector<JournalEntry>{JournalEntry::Key(Kind::kCreatedKey, "a"),
                                                        JournalEntry::Value("a", "b")}));
  EXPECT_EQ(journal.damaged_lines, 1u);
  EXPECT_EQ(JoinJournalLines({"K a", "A a,b"}), std::string("K a\0A a,b\0\0", 11));
  EXPECT_EQ(ParseJournal("A a,b").entries.size(), 1u);  // no terminator at all
}

TEST(UndoJournalLineTest, KnowsTheKeysTheLoginWrites) {
  const auto hkcu = platform::kCurrentUser;
  const auto hklm = platform::kLocalMachine;
  EXPECT_TRUE(KeyNoxWrites(hkcu, std::string(kExplorer) + "\\RestrictRun"));
  EXPECT_TRUE(KeyNoxWrites(hkcu, "SOFTWARE\\POLICIES\\Google\\Chrome"));
  EXPECT_TRUE(KeyNoxWrites(hkcu, "Control Panel\\Accessibility\\StickyKeys"));
  EXPECT_TRUE(KeyNoxWrites(hklm, "Software\\Quillon\\Netsieve\\CurrentVersion"));
  EXPECT_FALSE(KeyNoxWrites(hkcu, "Software\\Quillon\\Netsieve\\CurrentVersion"));
  EXPECT_FALSE(KeyNoxWrites(hkcu, "Software\\PoliciesX"));
  EXPECT_FALSE(KeyNoxWrites(hkcu, "Software\\Microsoft\\Windows\\CurrentVersion\\Run"));
  EXPECT_FALSE(KeyNoxWrites(hkcu, "Software"));
  EXPECT_FALSE(KeyNoxWrites(platform::kUsers, "Software\\Policies"));
  EXPECT_TRUE(KeyNoxMayCreate(hkcu, "Software\\Microsoft\\Windows Script Host"));
  EXPECT_TRUE(KeyNoxMayCreate(hklm, "Software\\Quillon"));
  EXPECT_FALSE(KeyNoxMayCreate(hkcu, "Software\\Classes"));
  EXPECT_FALSE(KeyNoxMayCreate(hkcu, ""));
}

// The bytes of a REG_MULTI_SZ holding `lines`.
std::string MultiString(std::initializer_list<std::string> lines) {
  std::string bytes;
  for (const std::string& line : lines) bytes += line + '\0';
  return bytes + '\0';
}

class UndoRecorderTest : public ::testing::Test {
 protected:
  void SetUp() override { fake::Reset(); }

  static std::string Journal(const JournalPlace& place) {
    auto value = fake::RegGetValue(place.root, place.key, kJournalValue);
    if (!value) return "(none)";
    EXPECT_EQ(value->type, 7u);
    return value->data;
  }

  static void Put(platform::RegKey root, const std::string& key, const std::string& name,
                  uint32_t type, const std::string& data) {
    platform::ScopedRegKey opened;
    platform::RegCreateKey(root, key, opened.receive());
    platform::RegSetValue(opened.get(), name, type, data);
  }
};

// The state before the first change is kept through later changes and later
// logins; keys that were missing are named from the first missing one down.
TEST_F(UndoRecorderTest, KeepsTheFirstPriorStateOfEachValue) {
  Put(platform::kCurrentUser, kExplorer, "NoRun", platform::kRegDword, std::string("\2\0\0\0", 4));
  const std::string no_run = std::string("Current_User,") + kExplorer + ",NoRun";
  const std::string net_setup = std::string("Current_User,") + kNetwork + ",NoNetSetup";
  for (int login = 0; login < 2; ++login) {
    UndoJournalScope scope;
    RegWrite(no_run, login, platform::kRegDword, RegFlavor::kUninstaller);
    RegWrite(no_run, 7, platform::kRegDword, RegFlavor::kUninstaller);
    RegWrite(net_setup, 1, platform::kRegDword, RegFlavor::kUninstaller);
    DeleteRegValue(net_setup);
  }
  EXPECT_EQ(
      Journal(HiveJournalPlace()),
      MultiString({std::string("V 4 02000000 ") + kExplorer + ",NoRun",
                   std::string("K ") + kNetwork, std::string("A ") + kNetwork + ",NoNetSetup"}));
  EXPECT_EQ(Journal(MachineJournalPlace()), "(none)");
}

TEST_F(UndoRecorderTest, RecordsAKeyTreeOnceBeforeItsFirstDeletion) {
  const std::string run = std::string(kExplorer) + "\\RestrictRun";
  Put(platform::kCurrentUser, run, "1", platform::kRegSz, std::string("a.exe\0", 6));
  Put(platform::kCurrentUser, run + "\\Sub", "x", platform::kRegDword, std::string(4, '\0'));
  {
    UndoJournalScope scope;
    RegDeleteKeyTree(platform::kCurrentUser, run);
    RegWrite("Current_User," + run + ",2", "b.exe", platform::kRegSz, RegFlavor::kUninstaller);
    RegDeleteKeyTree(platform::kCurrentUser, run + "\\");
  }
  EXPECT_EQ(Journal(HiveJournalPlace()),
            MultiString({"V 1 612e65786500 " + run + ",1", "V 4 00000000 " + run + "\\Sub,x",
                         "T " + run, "K " + run, "A " + run + ",2"}));
}

// The service's journal of an account starts from the one a login without
// the service left in the account's hive: that one holds the older state.
TEST_F(UndoRecorderTest, TheServicesJournalStartsFromTheOneInTheHive) {
  const std::string sid = "S-1-5-21-1-2-3-1001";
  const std::string hive_explorer = sid + "\\" + kExplorer;
  Put(platform::kUsers, hive_explorer, "NoRun", platform::kRegDword, std::string(4, '\0'));
  Put(platform::kUsers, sid + "\\" + kJournalRoot, kJournalValue, 7,
      MultiString({std::string("V 4 01000000 ") + kExplorer + ",NoRun"}));
  {
    platform::ScopedUserHive hive(sid);
    UndoJournalScope scope;
    RegWrite(std::string("Current_User,") + kExplorer + ",NoRun", 1, platform::kRegDword);
    RegWrite(std::string("Current_User,") + kExplorer + ",NoFind", 1, platform::kRegDword);
  }
  EXPECT_EQ(Journal(ServiceJournalPlace(sid)),
            MultiString({std::string("V 4 01000000 ") + kExplorer + ",NoRun",
                         std::string("A ") + kExplorer + ",NoFind"}));
}

// A standard account cannot write the machine journal: its values are then
// not journaled (and not pretended to be), while the user's journal is.
TEST_F(UndoRecorderTest, AJournalThatCannotBeWrittenRecordsNothing) {
  fake::SetCaller(fake::Caller::kStandardAccount);
  {
    UndoJournalScope scope;
    JournalValueChange(platform::kLocalMachine, "Software\\Policies\\X", "A");
    JournalValueChange(platform::kCurrentUser, "Software\\Policies\\X", "A");
    JournalValueChange(platform::kLocalMachine, "Software\\Policies\\X", "B");
  }
  EXPECT_EQ(Journal(MachineJournalPlace()), "(none)");
  EXPECT_EQ(Journal(HiveJournalPlace()),
            MultiString({"K Software", "K Software\\Policies", "K Software\\Policies\\X",
                         "A Software\\Policies\\X,A"}));
  // Outside a scope nothing is journaled.
  fake::SetCaller(fake::Caller::kAdministrator);
  JournalValueChange(platform::kLocalMachine, "Software\\Policies\\X", "A");
  EXPECT_EQ(Journal(MachineJournalPlace()), "(none)");
}

}  // namespace
}  // namespace nox
