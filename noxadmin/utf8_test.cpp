#include "noxadmin/utf8.h"

#include <gtest/gtest.h>

#include <vector>

namespace nox::admin {
namespace {

struct Sequence {
  std::string bytes;
  std::optional<char32_t> code;  // nothing: not UTF-8
  size_t length;                 // bytes taken (0 when refused)
};

TEST(Utf8, DecodesEachLengthAndRefusesWhatIsNotUtf8) {
  const std::vector<Sequence> cases = {
      {"A", U'A', 1},
      {std::string("\0", 1), 0, 1},
      {"\x7F", 0x7F, 1},
      {"\xC2\x80", 0x80, 2},
      {"\xDF\xBF", 0x7FF, 2},
      {"\xE0\xA0\x80", 0x800, 3},
      {"\xE2\x82\xAC", 0x20AC, 3},
      {"\xEF\xBF\xBF", 0xFFFF, 3},
      {"\xF0\x90\x80\x80", 0x10000, 4},
      {"\xF4\x8F\xBF\xBF", 0x10FFFF, 4},
      {"\x80", std::nullopt, 0},              // a continuation byte alone
      {"\xC3", std::nullopt, 0},              // cut off
      {"\xE2\x82", std::nullopt, 0},          // cut off
      {"\xC3\x28", std::nullopt, 0},          // no continuation
      {"\xC0\x80", std::nullopt, 0},          // overlong NUL
      {"\xC1\xBF", std::nullopt, 0},          // overlong
      {"\xE0\x9F\xBF", std::nullopt, 0},      // overlong
      {"\xF0\x8F\xBF\xBF", std::nullopt, 0},  // overlong
      {"\xED\xA0\x80", std::nullopt, 0},      // surrogate
      {"\xED\xBF\xBF", std::nullopt, 0},      // surrogate
      {"\xF4\x90\x80\x80", std::nullopt, 0},  // above U+10FFFF
      {"\xF8\x88\x80\x80\x80", std::nullopt, 0},
      {"\xFF", std::nullopt, 0},
      {"\xE9", std::nullopt, 0},  // a Windows-1252 e acute
  };
  for (const Sequence& c : cases) {
    size_t pos = 0;
    EXPECT_EQ(NextCodePoint(c.bytes, pos), c.code) << testing::PrintToString(c.bytes);
    EXPECT_EQ(pos, c.length) << testing::PrintToString(c.bytes);
  }
}

TEST(Utf8, DecodesFromTheGivenPlace) {
  const std::string text = "a\xC3\xA9z";
  size_t pos = 1;
  EXPECT_EQ(NextCodePoint(text, pos), U'\u00E9');
  EXPECT_EQ(pos, 3u);
  EXPECT_EQ(NextCodePoint(text, pos), U'z');
  EXPECT_EQ(pos, 4u);
}

TEST(Utf8, EncodesEachLengthByteForByte) {
  const std::vector<std::pair<char32_t, std::string>> cases = {
      {U'A', "A"},
      {0x7F, "\x7F"},
      {0x80, "\xC2\x80"},
      {0xE9, "\xC3\xA9"},
      {0x7FF, "\xDF\xBF"},
      {0x800, "\xE0\xA0\x80"},
      {0xFFFD, "\xEF\xBF\xBD"},
      {0x10000, "\xF0\x90\x80\x80"},
      {0x10FFFF, "\xF4\x8F\xBF\xBF"},
  };
  for (const auto& [code, bytes] : cases) {
    std::string out = "x";
    AppendUtf8(code, out);
    EXPECT_EQ(out, "x" + bytes) << static_cast<uint32_t>(code);
    size_t pos = 1;
    EXPECT_EQ(NextCodePoint(out, pos), code);
  }
}

}  // namespace
}  // namespace nox::admin
