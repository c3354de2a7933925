#include "common/catalogue.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <set>
#include <string>

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

TEST(CatalogueTest, EntriesAsListed) {
  const std::string policies =
      "Current_User,Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\";
  const std::pair<int, std::string> kSamples[] = {
      {1, policies + "System,NoDispBackgroundPage"},
      {6, policies + "Explorer,NoSetFolders"},
      {7, policies + "Explorer,Dummy"},
      {14, policies + "Explorer,NoDesktop"},
      {15, policies + "System,Dummy"},
      {16, policies + "winoldapp,Disabled"},
      {17, policies + "Explorer,NoSaveSettings"},
      {21, policies + "Explorer,NoDevMgrPage"},
      {24, policies + "System,Dummy"},
      {25,
       "Local_Machine,Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Network,NoDialIn"},
      {26, policies + "network,NoPrintSharingControl"},
      {32, policies + "Explorer,NoSetFolders"},
      {34, policies + "Explorer,Dummy"},
      {39, policies + "system,DisableRegistryTools"},
      {41, policies + "Explorer,WinOldApp"},
      {42, policies + "Explorer,NoAddPrinter"},
  };
  for (const auto& [position, regline] : kSamples) {
    EXPECT_EQ(kCatalogue[position - 1].regline, regline) << "entry " << position;
  }
}

TEST(CatalogueTest, EveryEntryAndBitIsDescribed) {
  std::set<std::pair<int, int>> seen;
  for (const CatalogueEntry& entry : kCatalogue) {
    EXPECT_GT(std::string(entry.description).size(), 5u) << entry.regline;
  }
  for (const BitHandling& handling : kBitHandlings) {
    EXPECT_TRUE(seen.insert({handling.mask_number, handling.bit}).second);
    EXPECT_GT(std::string(handling.description).size(), 5u);
  }
  EXPECT_TRUE(seen.count({3, 25}));
  EXPECT_TRUE(seen.count({2, 6}));
  for (int bit = 16; bit <= 27; ++bit) EXPECT_TRUE(seen.count({2, bit})) << bit;
}

TEST(CatalogueTest, BootOptionsFollowTheTwoLockBits) {
  EXPECT_STREQ(BootOptionsValue(ReadLevelTriple("0,0,0")), "1");
  EXPECT_STREQ(BootOptionsValue(ReadLevelTriple("0,64,0")), "0");
  EXPECT_STREQ(BootOptionsValue(ReadLevelTriple("0,0,1048576")), "0");
  EXPECT_STREQ(BootOptionsValue(ReadLevelTriple("65535,63,1048575")), "1");
}

}  // namespace
}  // namespace nox
