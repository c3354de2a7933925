#include "tessel/line_join.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tessel {
namespace {

std::string Joined(const std::vector<std::string>& pieces) {
  LineJoiner joiner;
  for (const std::string& piece : pieces) joiner.Append(piece.data(), piece.size());
  return joiner.text();
}

TEST(LineJoinerTest, JoinsLinesWithoutSeparator) {
  struct Case {
    std::vector<std::string> pieces;
    std::string text;
  };
  const Case cases[] = {
      {{"a\r\nb\r\nc\r\n"}, "abc"},
      {{"a\nb\nc"}, "abc"},
      {{"a\r", "\nb", "\r\n", "c"}, "abc"},
      {{"a\rb\n"}, "a\rb"},
      {{"\r\n\r\n\n"}, ""},
      {{"x\r\r\n"}, "x\r"},
      {{"last\r"}, "last\r"},
      {{""}, ""},
      {{std::string("n\0l\n", 4)}, std::string("n\0l", 3)},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    EXPECT_EQ(Joined(cases[i].pieces), cases[i].text) << "case " << i;
  }
}

TEST(LineJoinerTest, CarriageReturnOfAnEarlierLineStays) {
  // The "\r" ends the first line's text; the second line is empty.
  EXPECT_EQ(Joined({"a\r", "\n", "\n"}), "a");
  EXPECT_EQ(Joined({"a\r\n", "\n"}), "a");
}

}  // namespace
}  // namespace tessel
