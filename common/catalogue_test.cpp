#include "common/catalogue.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "common/runtime_error.h"

namespace nox {
namespace {

uint32_t Bits(std::initializer_list<int> bits) {
  uint32_t mask = 0;
  for (int bit : bits) mask |= 1u << bit;
  return mask;
}

int ErrorOf(std::string_view triple) {
  try {
    ReadLevelTriple(triple);
  } catch (const RuntimeError& error) {
    return error.number();
  }
  return 0;
}

// The named levels with the bits the level table lists for them (bit lists,
// not the triple's numbers, so a wrong digit in either shows).
struct LevelCase {
  const char* name;
  const char* triple;
  uint32_t mask1, mask2, mask3;
};

const LevelCase kLevelCases[] = {
    {"None", "0,0,0", 0, 0, 0},
    {"Home High", "20752,57359,1049029", Bits({4, 8, 12, 14}), Bits({0, 1, 2, 3, 13, 14, 15}),
     Bits({0, 2, 6, 7, 8, 20})},
    {"Home Med.", "4111,8206,960", Bits({0, 1, 2, 3, 12}), Bits({1, 2, 3, 13}), Bits({6, 7, 8, 9})},
    {"Home Low", "4096,32782,197", Bits({12}), Bits({1, 2, 3, 15}), Bits({0, 2, 6, 7})},
    {"Office High", "12304,57359,1049045", Bits({4, 12, 13}), Bits({0, 1, 2, 3, 13, 14, 15}),
     Bits({0, 2, 4, 6, 7, 8, 20})},
    {"Office Med.", "4104,40974,196", Bits({3, 12}), Bits({1, 2, 3, 13, 15}), Bits({2, 6, 7})},
    {"Office Low", "4096,32776,4", Bits({12}), Bits({3, 15}), Bits({2})},
    {"Education High", "53520,63759,3670485", Bits({4, 8, 12, 14, 15}),
     Bits({0, 1, 2, 3, 8, 11, 12, 13, 14, 15}), Bits({0, 2, 4, 6, 7, 8, 19, 20, 21})},
    {"Education Med.", "36880,43011,1049045", Bits({4, 12, 15}), Bits({0, 1, 11, 13, 15}),
     Bits({0, 2, 4, 6, 7, 8, 20})},
    {"Education Low", "4104,34817,197", Bits({3, 12}), Bits({0, 11, 15}), Bits({0, 2, 6, 7})},
    {"Education Modern", "53520,268433679,3670493", Bits({4, 8, 12, 14, 15}),
     Bits({0, 1, 2, 3, 8, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27}),
     Bits({0, 2, 3, 4, 6, 7, 8, 19, 20, 21})},
};

TEST(LevelTripleTest, NamedLevelsReadIntoTheirBits) {
  ASSERT_EQ(kSecurityLevels.size(), std::size(kLevelCases));
  for (size_t i = 0; i < kSecurityLevels.size(); ++i) {
    const LevelCase& want = kLevelCases[i];
    SCOPED_TRACE(want.name);
    EXPECT_STREQ(kSecurityLevels[i].name, want.name);
    EXPECT_STREQ(kSecurityLevels[i].triple, want.triple);
    const LevelMasks masks = ReadLevelTriple(want.triple);
    EXPECT_EQ(masks.mask1, want.mask1);
    EXPECT_EQ(masks.mask2, want.mask2);
    EXPECT_EQ(masks.mask3, want.mask3);
  }
}

TEST(LevelTripleTest, ReadsTheWholePaddedField) {
  std::string field = "4096,32776,4";
  field.resize(30, ' ');
  const LevelMasks masks = ReadLevelTriple(field);
  EXPECT_EQ(masks.mask1, 4096u);
  EXPECT_EQ(masks.mask2, 32776u);
  EXPECT_EQ(masks.mask3, 4u);
}

TEST(LevelTripleTest, BlanksAnywhereAreSkipped) {
  const LevelMasks masks = ReadLevelTriple(" 40 96 , 32776 ,  4   ");
  EXPECT_EQ(masks.mask1, 4096u);
  EXPECT_EQ(masks.mask2, 32776u);
  EXPECT_EQ(masks.mask3, 4u);
}

TEST(LevelTripleTest, MissingPartsAreZero) {
  LevelMasks masks = ReadLevelTriple("5,6");
  EXPECT_EQ(masks.mask1, 5u);
  EXPECT_EQ(masks.mask2, 6u);
  EXPECT_EQ(masks.mask3, 0u);
  masks = ReadLevelTriple("");
  EXPECT_EQ(masks.mask1, 0u);
  EXPECT_EQ(masks.mask2, 0u);
  EXPECT_EQ(masks.mask3, 0u);
  masks = ReadLevelTriple(",,7");
  EXPECT_EQ(masks.mask1, 0u);
  EXPECT_EQ(masks.mask3, 7u);
}

TEST(LevelTripleTest, PartsAreTheirLeadingDigits) {
  const LevelMasks masks = ReadLevelTriple("-5,12abc,x9");
  EXPECT_EQ(masks.mask1, 0u);
  EXPECT_EQ(masks.mask2, 12u);
  EXPECT_EQ(masks.mask3, 0u);
  EXPECT_EQ(ReadLevelTriple(std::string(30, '\0')).mask1, 0u);
  EXPECT_EQ(ReadLevelTriple("&H10,1e3,2.9").mask1, 0u);
  EXPECT_EQ(ReadLevelTriple("&H10,1e3,2.9").mask2, 1u);
  EXPECT_EQ(ReadLevelTriple("&H10,1e3,2.9").mask3, 2u);
}

TEST(LevelTripleTest, FourthPartIsSubscriptError) {
  EXPECT_EQ(ErrorOf("1,2,3,4"), kErrSubscript);
  EXPECT_EQ(ErrorOf("1,2,3, x"), kErrSubscript);
  // Commas and blanks after the third part are harmless.
  EXPECT_EQ(ErrorOf("1,2,3,"), 0);
  EXPECT_EQ(ErrorOf("1,2,3,,,   "), 0);
}

TEST(LevelTripleTest, NumbersBeyond32BitsOverflow) {
  EXPECT_EQ(ReadLevelTriple("2147483647,0,0").mask1, 2147483647u);
  EXPECT_EQ(ErrorOf("2147483648,0,0"), kErrOverflow);
  EXPECT_EQ(ErrorOf("0,0,99999999999999999999999"), kErrOverflow);
}

TEST(LevelNameTest, TripleToName) {
  for (const LevelCase& level : kLevelCases) {
    EXPECT_EQ(LevelNameForTriple(level.triple), level.name);
  }
  std::string padded = "53520,63759,3670485";
  padded.resize(30, ' ');
  EXPECT_EQ(LevelNameForTriple(padded), "Education High");
  EXPECT_EQ(LevelNameForTriple("4096, 32776, 4"), "Office Low");
  EXPECT_EQ(LevelNameForTriple("4096,32776,5"), "Custom");
  EXPECT_EQ(LevelNameForTriple("04096,32776,4"), "Custom");
  EXPECT_EQ(LevelNameForTriple(""), "Custom");
  EXPECT_EQ(LevelNameForTriple("1,2,3,4"), "Custom");
}

TEST(LevelNameTest, NameToTriple) {
  for (const LevelCase& level : kLevelCases) {
    EXPECT_EQ(TripleForLevelName(level.name), std::string(level.triple));
  }
  EXPECT_EQ(TripleForLevelName("education high"), std::string("53520,63759,3670485"));
  EXPECT_EQ(TripleForLevelName("Custom"), std::nullopt);
  EXPECT_EQ(TripleForLevelName("Home Med"), std::nullopt);
}

TEST(CatalogueTest, PositionsFollowMaskAndBit) {
  EXPECT_EQ(CataloguePosition(1, 0), 1);
  EXPECT_EQ(CataloguePosition(1, 15), 16);
  EXPECT_EQ(CataloguePosition(2, 0), 17);
  EXPECT_EQ(CataloguePosition(3, 9), 42);
  EXPECT_EQ(CataloguePosition(3, 15), 48);
}

// Every entry, written out from the level table's list (not taken from the
// table under test), so a changed, moved or missing entry shows.
TEST(CatalogueTest, EntriesAsListed) {
  const std::string user = "Current_User,Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\";
  const std::string machine =
      "Local_Machine,Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\";
  const std::string kEntries[] = {
      user + "System,NoDispBackgroundPage",     // 1: mask 1, bit 0
      user + "System,NoDispSettingsPage",       // 2
      user + "System,NoDispAppearancePage",     // 3
      user + "System,NoDispScrSavPage",         // 4
      user + "System,NoDispCPL",                // 5
      user + "Explorer,NoSetFolders",           // 6
      user + "Explorer,Dummy",                  // 7
      user + "Explorer,Dummy",                  // 8
      user + "Explorer,Dummy",                  // 9
      user + "Explorer,Dummy",                  // 10
      user + "Explorer,Dummy",                  // 11
      user + "Explorer,Dummy",                  // 12
      user + "Explorer,NoSetFolders",           // 13
      user + "Explorer,NoDesktop",              // 14
      user + "System,Dummy",                    // 15
      user + "winoldapp,Disabled",              // 16: mask 1, bit 15
      user + "Explorer,NoSaveSettings",         // 17: mask 2, bit 0
      user + "Network,NoNetSetup",              // 18
      user + "System,NoDevMgrPage",             // 19
      user + "System,NoConfigPage",             // 20
      user + "Explorer,NoDevMgrPage",           // 21
      user + "System,NoAdminPage",              // 22
      user + "Explorer,Dummy",                  // 23
      user + "System,Dummy",                    // 24
      machine + "Network,NoDialIn",             // 25
      user + "network,NoPrintSharingControl",   // 26
      user + "network,NoFileSharingControl",    // 27
      user + "Network,NoNetSetupSecurityPage",  // 28
      user + "Explorer,Dummy",                  // 29
      user + "Explorer,Dummy",                  // 30
      user + "Explorer,Dummy",                  // 31
      user + "Explorer,NoSetFolders",           // 32: mask 2, bit 15
      user + "Explorer,NoFind",                 // 33: mask 3, bit 0
      user + "Explorer,Dummy",                  // 34
      user + "Explorer,NoRun",                  // 35
      user + "Explorer,NoClose",                // 36
      user + "Explorer,NoSetTaskBar",           // 37
      user + "Explorer,NoPrinterTabs",          // 38
      user + "system,DisableRegistryTools",     // 39
      user + "Explorer,NoDeletePrinter",        // 40
      user + "Explorer,WinOldApp",              // 41
      user + "Explorer,NoAddPrinter",           // 42: mask 3, bit 9
  };
  ASSERT_EQ(std::size(kEntries), static_cast<size_t>(kCatalogueSize));
  for (int position = 1; position <= kCatalogueSize; ++position) {
    EXPECT_EQ(kCatalogue[position - 1].regline, kEntries[position - 1]) << "entry " << position;
  }
}

TEST(CatalogueTest, EveryEntryAndBitIsDescribed) {
  for (const CatalogueEntry& entry : kCatalogue) {
    EXPECT_GT(std::string(entry.description).size(), 5u) << entry.regline;
  }
  for (const BitHandling& handling : kBitHandlings) {
    EXPECT_GT(std::string(handling.description).size(), 5u);
  }
}

// The bits with a handling of their own, written out from the rule: the
// level table's list plus the modern switches of mask 2 (bits 16 to 27),
// each once and in mask and bit order.
TEST(CatalogueTest, HandledBitsAreTheListedOnes) {
  const std::vector<std::pair<int, int>> expected = {
      {1, 4},  {1, 7},  {1, 8},  {1, 12}, {1, 14}, {1, 15}, {2, 0},  {2, 2},  {2, 6},
      {2, 12}, {2, 13}, {2, 14}, {2, 15}, {2, 16}, {2, 17}, {2, 18}, {2, 19}, {2, 20},
      {2, 21}, {2, 22}, {2, 23}, {2, 24}, {2, 25}, {2, 26}, {2, 27}, {3, 8},  {3, 11},
      {3, 12}, {3, 13}, {3, 14}, {3, 15}, {3, 18}, {3, 19}, {3, 20}, {3, 21}, {3, 25},
  };
  std::vector<std::pair<int, int>> handled;
  for (const BitHandling& handling : kBitHandlings) {
    handled.emplace_back(handling.mask_number, handling.bit);
  }
  EXPECT_EQ(handled, expected);
}

TEST(CatalogueTest, BootOptionsFollowTheTwoLockBits) {
  EXPECT_STREQ(BootOptionsValue(ReadLevelTriple("0,0,0")), "1");
  EXPECT_STREQ(BootOptionsValue(ReadLevelTriple("0,64,0")), "0");
  EXPECT_STREQ(BootOptionsValue(ReadLevelTriple("0,0,1048576")), "0");
  EXPECT_STREQ(BootOptionsValue(ReadLevelTriple("65535,63,1048575")), "1");
}

}  // namespace
}  // namespace nox
