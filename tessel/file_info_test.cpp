// GetFileInfo of the built Tessel.dll, on the library's own file and on
// two resource-only fixture DLLs built beside it.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "tessel/test_library.h"

namespace tessel {
namespace {

using testing::ExportAs;
using testing::FileInfoExport;
using testing::ProgramFolder;
using testing::ScratchFolder;
using testing::WriteFileBytes;

constexpr char kGuard = 0x5c;

class GetFileInfoTest : public ::testing::Test {
 protected:
  // The item's text, or "<-1>" when the export returned -1 (then the
  // buffer must be untouched).
  std::string Item(const std::string& path, int32_t item) {
    std::memset(buffer_, kGuard, sizeof buffer_);
    const int32_t length = get_info_(path.c_str(), item, buffer_);
    if (length == -1) {
      for (char byte : buffer_) EXPECT_EQ(byte, kGuard) << "item " << item;
      return "<-1>";
    }
    EXPECT_EQ(length, static_cast<int32_t>(std::strlen(buffer_))) << "item " << item;
    return buffer_;
  }

  FileInfoExport get_info_ = ExportAs<FileInfoExport>("GetFileInfo");
  char buffer_[256];
};

TEST_F(GetFileInfoTest, ItemsOfTheLibraryItself) {
  const std::string library = ProgramFolder() + "\\Tessel.dll";
  const char* expected[] = {"Quillon",
                            "Nox service library",
                            "1.4.0.0",
                            "Tessel",
                            "Copyright (C) Quillon",
                            "Tessel.dll",
                            "Nox",
                            "1.4.0.0"};
  for (int32_t item = 1; item <= 8; ++item) {
    EXPECT_EQ(Item(library, item), expected[item - 1]) << "item " << item;
  }
}

TEST_F(GetFileInfoTest, ItemNumberOutsideOneToEight) {
  const std::string library = ProgramFolder() + "\\Tessel.dll";
  for (int32_t item : {0, 9, -1, 1000}) EXPECT_EQ(Item(library, item), "<-1>") << item;
}

TEST_F(GetFileInfoTest, FileWithoutVersionResource) {
  ScratchFolder folder;
  const std::string text_file = folder.Path("plain.txt");
  WriteFileBytes(text_file, "no resources here");
  EXPECT_EQ(Item(text_file, 1), "<-1>");
  EXPECT_EQ(Item(folder.Path("missing.dll"), 1), "<-1>");
}

TEST_F(GetFileInfoTest, OwnLanguageFirstThenTheFallback) {
  const std::string fixture = ProgramFolder() + "\\tessel_version_fallback.dll";
  EXPECT_EQ(Item(fixture, 1), "Eigene Firma");
  EXPECT_EQ(Item(fixture, 7), "Only In Fallback");
  EXPECT_EQ(Item(fixture, 2), "<-1>");
}

TEST_F(GetFileInfoTest, NoTranslationGoesStraightToTheFallback) {
  const std::string fixture = ProgramFolder() + "\\tessel_version_untranslated.dll";
  EXPECT_EQ(Item(fixture, 4), "untranslated");
  EXPECT_EQ(Item(fixture, 1), "<-1>");
}

}  // namespace
}  // namespace tessel
