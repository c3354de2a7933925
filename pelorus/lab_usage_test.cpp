// The usage files of the lab-wide budget: their bytes, damaged files and the
// names PCs give them.
#include "pelorus/lab_usage.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace nox {
namespace {

std::string Bytes(std::initializer_list<int> values) {
  std::string bytes;
  for (int v : values) bytes += static_cast<char>(v);
  return bytes;
}

TEST(UsageFileTest, EncodesByteExactly) {
  const std::string file = EncodeUsageFile({{"kid", 20240301, 258}});
  std::string expected = "NOXUSE01" + Bytes({1, 0, 0, 0});
  std::string body =
      "kid" + std::string(37, ' ') + Bytes({0xAD, 0xD7, 0x34, 0x01}) + Bytes({0x02, 0x01, 0, 0});
  uint32_t hash = 2166136261u;
  for (char c : body) hash = (hash ^ static_cast<unsigned char>(c)) * 16777619u;
  expected += Bytes({static_cast<int>(hash & 0xFF), static_cast<int>((hash >> 8) & 0xFF),
                     static_cast<int>((hash >> 16) & 0xFF), static_cast<int>(hash >> 24)});
  EXPECT_EQ(file, expected + body);
  EXPECT_EQ(EncodeUsageFile({}), "NOXUSE01" + Bytes({0, 0, 0, 0, 0xC5, 0x9D, 0x1C, 0x81}));
}

TEST(UsageFileTest, RoundTrips) {
  const std::vector<UsageEntry> entries = {
      {"kid", 20240301, 5}, {"a b", 20231231, 0}, {std::string(40, 'x'), 1, -7}};
  EXPECT_EQ(DecodeUsageFile(EncodeUsageFile(entries)), entries);
}

TEST(UsageFileTest, DamagedFilesReadAsNothing) {
  const std::string good = EncodeUsageFile({{"kid", 20240301, 5}, {"anna", 20240301, 2}});
  std::string flipped = good;
  flipped[30] ^= 1;
  std::string wrong_count = good;
  wrong_count[8] = 3;
  std::string huge_count = good;
  huge_count[11] = '\x7F';
  const std::string damaged[] = {"",
                                 "NOXUSE01",
                                 good.substr(0, good.size() - 1),
                                 good + "x",
                                 "NOXUSE02" + good.substr(8),
                                 flipped,
                                 wrong_count,
                                 huge_count};
  for (const std::string& bytes : damaged) {
    EXPECT_EQ(DecodeUsageFile(bytes), std::nullopt) << bytes.size();
  }
}

TEST(UsageFileTest, FileNamesOfComputerNames) {
  const std::pair<std::string, std::string> cases[] = {
      {"PC1", "PC1.tbl"},
      {"", ""},
      {"A\\B/C:D*E?F\"G<H>I|J", "A_B_C_D_E_F_G_H_I_J.tbl"},
      {std::string("X\x01Y\tZ"), "X_Y_Z.tbl"},
      {"LAB-07.room", "LAB-07.room.tbl"}};
  for (const auto& [name, file] : cases) EXPECT_EQ(UsageFileName(name), file) << name;
}

TEST(UsageFileTest, DayNumbers) {
  EXPECT_EQ(DayNumber({2024, 3, 1}), 20240301);
  EXPECT_EQ(DayNumber({1999, 12, 31}), 19991231);
}

}  // namespace
}  // namespace nox
