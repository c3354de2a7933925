#include "common/vb_number.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "common/runtime_error.h"

namespace nox {
namespace {

struct ReadCase {
  const char* text;
  int32_t expected;
};

TEST(ReadInt32Test, ReadsTheLeadingNumber) {
  const ReadCase cases[] = {
      {"", 0},
      {"33554432", 33554432},
      {"+7", 7},
      {"-7", -7},
      {"1049029", 1049029},
      {"12abc", 12},
      {"abc", 0},
      {"-", 0},
      {".", 0},
      {"3.", 3},
      {".75", 1},
      {"2.5", 2},
      {"3.5", 4},
      {"-2.5", -2},
      {"-3.5", -4},
      {"0.5", 0},
      {"1.5", 2},
      {"2.4999", 2},
      {"1E3", 1000},
      {"1e3", 1000},
      {"1D3", 1000},
      {"1.5E+1", 15},
      {"25E-1", 2},
      {"35e-1", 4},
      {"1E", 1},
      {"1E+", 1},
      {"1Ex", 1},
      {"5.2.1", 5},
      {"3355443,2", 3355443},
      {"&H2000000", 33554432},
      {"&h2000000", 33554432},
      {"&HFF", 255},
      {"&H1g", 1},
      {"&H", 0},
      {"&O200000000", 33554432},
      {"&o17", 15},
      {"&O78", 7},
      {"&X12", 0},
      {"&", 0},
      {"2147483647", 2147483647},
      {"-2147483648", -2147483647 - 1},
      {"2147483646.5", 2147483646},
      {"-2147483648.5", -2147483647 - 1},
      {"&H7FFFFFFF", 2147483647},
      {"1E-400", 0},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(testing::Message() << "case " << i << " text \"" << cases[i].text << "\"");
    EXPECT_EQ(ReadInt32(cases[i].text), cases[i].expected);
  }
}

TEST(ReadInt32Test, OutOfRangeIsAnOverflow) {
  const char* cases[] = {"2147483648",   "-2147483649",
                         "2147483647.5", "-2147483648.6",
                         "&H80000000",   "&HFFFFFFFF",
                         "1E10",         "1E400",
                         "-1E400",       "99999999999999999999999999999"};
  for (const char* text : cases) {
    SCOPED_TRACE(text);
    try {
      ReadInt32(text);
      ADD_FAILURE() << "no error raised";
    } catch (const RuntimeError& error) {
      EXPECT_EQ(error.number(), kErrOverflow);
      EXPECT_EQ(error.description(), "Overflow");
    }
  }
}

TEST(RoundToInt32Test, HalvesGoToTheEvenNeighbour) {
  EXPECT_EQ(RoundToInt32(0.5), 0);
  EXPECT_EQ(RoundToInt32(1.5), 2);
  EXPECT_EQ(RoundToInt32(2.5), 2);
  EXPECT_EQ(RoundToInt32(-0.5), 0);
  EXPECT_EQ(RoundToInt32(-1.5), -2);
  EXPECT_EQ(RoundToInt32(2.5000001), 3);
}

TEST(RoundToInt32Test, NotANumberIsAnOverflow) {
  EXPECT_THROW(RoundToInt32(std::nan("")), RuntimeError);
}

TEST(ReadLeadingNumberTest, LongDigitRunsKeepTheirMagnitude) {
  EXPECT_DOUBLE_EQ(ReadLeadingNumber(std::string(30, '9')), 1e30);
  EXPECT_DOUBLE_EQ(ReadLeadingNumber("&H100000000"), 4294967296.0);
}

}  // namespace
}  // namespace nox
