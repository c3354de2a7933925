#include "common/ansi_text.h"

#include <gtest/gtest.h>

namespace nox {
namespace {

TEST(TrimBlanksTest, RemovesOnlyBlanks) {
  EXPECT_EQ(TrimBlanks("  alice  "), "alice");
  EXPECT_EQ(TrimBlanks("a b"), "a b");
  EXPECT_EQ(TrimBlanks("\talice\t"), "\talice\t");
  EXPECT_EQ(TrimBlanks("     "), "");
  EXPECT_EQ(TrimBlanks(""), "");
  EXPECT_EQ(TrimBlanks(std::string("\0x ", 3)), std::string("\0x", 2));
}

TEST(EqualsIgnoreCaseTest, FoldsAsciiAndCodePage1252Letters) {
  struct Case {
    const char* a;
    const char* b;
    bool equal;
  } cases[] = {
      {"alice", "ALICE", true},
      {".Default", ".default", true},
      {"alice", "alice ", false},
      {"", "", true},
      {"\xe9l\xe8ve", "\xc9L\xc8VE", true},  // élève / ÉLÈVE
      {"\xf7", "\xd7", false},               // ÷ and × are no letters
      {"\x9a", "\x8a", true},                // š Š
      {"\xff", "\x9f", true},                // ÿ Ÿ
      {"zo\xeb", "ZO\xcb", true},            // zoë / ZOË
      {"\x9a\x9c\x9e\xff", "\x8a\x8c\x8e\x9f", true},
      {"[", "{", false},
      {"@", "`", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.a << " / " << c.b);
    EXPECT_EQ(EqualsIgnoreCase(c.a, c.b), c.equal);
    EXPECT_EQ(EqualsIgnoreCase(c.b, c.a), c.equal);
  }
}

TEST(FoldCaseTest, UpperCasesLettersOnly) {
  EXPECT_EQ(FoldCase("Zo\xeb 1\x9a\xf7\xff"), "ZO\xcb 1\x8a\xf7\x9f");
  EXPECT_EQ(FoldCase(std::string("a\0b", 3)), std::string("A\0B", 3));
}

}  // namespace
}  // namespace nox
