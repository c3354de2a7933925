#include "common/list_input.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/runtime_error.h"
#include "platform/fake/fake_control.h"

namespace nox {
namespace {

int ErrorOf(void (*read)(ListInput&), ListInput& input) {
  try {
    read(input);
  } catch (const RuntimeError& error) {
    return error.number();
  }
  return 0;
}

std::vector<std::string> AllItems(const std::string& text) {
  ListInput input(text);
  std::vector<std::string> items;
  while (!input.AtEnd()) items.push_back(input.ReadItem());
  return items;
}

struct ItemCase {
  const char* text;
  std::vector<std::string> items;
};

TEST(ListInputTest, Items) {
  const ItemCase kCases[] = {
      {"a,b,c", {"a", "b", "c"}},
      {"a\r\nb\r\nc\r\n", {"a", "b", "c"}},
      {"a\nb\rc", {"a", "b", "c"}},
      {"\"x, y\",\"z\"\r\n", {"x, y", "z"}},
      {"  padded  ,\tx\t\r\n", {"padded", "x"}},
      {"\"  kept  \"", {"  kept  "}},
      {"\"ab\"cd,e", {"ab", "e"}},
      {"\"ab\" ,e", {"ab", "e"}},
      {"a,,b", {"a", "", "b"}},
      {"a\r\n\r\nb", {"a", "", "b"}},
      {"\"open to the end", {"open to the end"}},
      {"\"\",x", {"", "x"}},
      {",", {""}},
  };
  for (size_t i = 0; i < std::size(kCases); ++i) {
    EXPECT_EQ(AllItems(kCases[i].text), kCases[i].items) << "case " << i;
  }
}

TEST(ListInputTest, ItemsThenWholeLines) {
  ListInput input("\"head\",\"second\"\r\nline one, with a comma\r\n  \"quoted\" line \r\nlast");
  EXPECT_EQ(input.ReadItem(), "head");
  EXPECT_EQ(input.ReadItem(), "second");
  EXPECT_EQ(input.ReadLine(), "line one, with a comma");
  EXPECT_EQ(input.ReadLine(), "  \"quoted\" line ");
  EXPECT_EQ(input.ReadLine(), "last");
  EXPECT_TRUE(input.AtEnd());
}

TEST(ListInputTest, EmptyLinesAreEmptyLines) {
  ListInput input("\r\n\nx");
  EXPECT_EQ(input.ReadLine(), "");
  EXPECT_EQ(input.ReadLine(), "");
  EXPECT_EQ(input.ReadLine(), "x");
}

TEST(ListInputTest, ReadingPastTheEndRaises62) {
  ListInput input("a\r\n");
  EXPECT_EQ(input.ReadItem(), "a");
  EXPECT_EQ(ErrorOf([](ListInput& in) { in.ReadItem(); }, input), kErrInputPastEnd);
  EXPECT_EQ(ErrorOf([](ListInput& in) { in.ReadLine(); }, input), kErrInputPastEnd);
  ListInput empty("");
  EXPECT_EQ(ErrorOf([](ListInput& in) { in.ReadItem(); }, empty), kErrInputPastEnd);
}

TEST(ListInputTest, NoFileRaises52) {
  ListInput none;
  EXPECT_TRUE(none.AtEnd());
  EXPECT_EQ(ErrorOf([](ListInput& in) { in.ReadItem(); }, none), kErrBadFileName);
  EXPECT_EQ(ErrorOf([](ListInput& in) { in.ReadLine(); }, none), kErrBadFileName);
}

TEST(ListInputTest, OpenReadsThroughThePlatform) {
  platform::fake::Reset();
  platform::fake::PutFile("C:\\WINDOWS\\SYSTEM\\3.TBL", "\"a\",\"b\"\r\nline\r\n");
  ListInput input = ListInput::Open("c:\\windows\\system\\3.tbl");
  EXPECT_EQ(input.ReadItem(), "a");
  EXPECT_EQ(input.ReadItem(), "b");
  EXPECT_EQ(input.ReadLine(), "line");
  try {
    ListInput::Open("C:\\WINDOWS\\SYSTEM\\4.TBL");
    ADD_FAILURE() << "a missing file opened";
  } catch (const RuntimeError& error) {
    EXPECT_EQ(error.number(), kErrFileNotFound);
  }
}

}  // namespace
}  // namespace nox
