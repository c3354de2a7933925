#include "common/modern_switches.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/fake/fake_control.h"

namespace nox {
namespace {

TEST(WrittenSwitchesTest, MarkerTexts) {
  const struct {
    std::string marker;
    uint32_t bits;
  } kCases[] = {
      {std::string(253, ' ') + "\\", 0},  // missing
      {"\\", 0},
      {"0\\", 0},
      {"65536\\", 0x10000},
      {" 268369920 \\", kModernSwitchBits},
      {"268369920", kModernSwitchBits},  // without the final backslash
      {"1\\", kModernSwitchBits},        // a bit outside the twelve
      {"268435456\\", kModernSwitchBits},
      {"99999999999999999999999\\", kModernSwitchBits},
      {"-65536\\", kModernSwitchBits},
      {"65 536\\", kModernSwitchBits},
      {std::string("\x00\x00\x01\x00", 4) + "\\", kModernSwitchBits},  // a DWORD's bytes
  };
  for (const auto& c : kCases) EXPECT_EQ(ReadWrittenSwitches(c.marker), c.bits) << c.marker;
}

TEST(ModernSwitchStepsTest, EveryBitWritesAndRemovesOnlyItsOwn) {
  size_t writes = 0;
  for (int bit = 16; bit <= 27; ++bit) {
    const std::vector<RegStep> on = SwitchWrites(1u << bit, 5);
    const std::vector<RegStep> off = SwitchRemovals(1u << bit);
    EXPECT_FALSE(on.empty()) << bit;
    EXPECT_FALSE(off.empty()) << bit;
    for (const RegStep& step : on) EXPECT_EQ(step.kind, RegStep::Kind::kWrite) << bit;
    writes += on.size();
  }
  EXPECT_EQ(SwitchWrites(kModernSwitchBits, 5).size(), writes);
  EXPECT_TRUE(SwitchWrites(~kModernSwitchBits, 5).empty());
  EXPECT_TRUE(SwitchRemovals(~kModernSwitchBits).empty());
  EXPECT_EQ(SwitchWrites(1u << 22, 5).front().value.AsNumber(), 5);
}

TEST(ModernSwitchStepsTest, KeyDeletionReportsWhetherTheKeyIsGone) {
  platform::fake::Reset();
  RegWrite("Current_User,Software\\T\\List\\Sub,1", "a", platform::kRegSz, RegFlavor::kUninstaller);
  const RegStep remove{RegStep::Kind::kDeleteKey, "Current_User,Software\\T\\List,"};
  EXPECT_TRUE(RunRegStep(remove, RegFlavor::kUninstaller));
  EXPECT_FALSE(platform::fake::RegKeyExists(platform::kCurrentUser, "Software\\T\\List"));
  EXPECT_TRUE(RunRegStep(remove, RegFlavor::kUninstaller));
  const RegStep unknown_root{RegStep::Kind::kDeleteKey, "Nowhere,Software\\T,"};
  EXPECT_FALSE(RunRegStep(unknown_root, RegFlavor::kUninstaller));
}

}  // namespace
}  // namespace nox
