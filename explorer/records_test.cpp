// Runs natively on the fake platform and, compiled with mingw, under Wine on
// the real file system (the tables then live in the prefix's system folder).
#include "explorer/records.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "common/runtime_error.h"
#include "platform/platform.h"

namespace nox {
namespace {

std::string Blanks(size_t n) { return std::string(n, ' '); }

class TableFilesTest : public ::testing::Test {
 protected:
  void SetUp() override { RemoveTables(); }
  void TearDown() override { RemoveTables(); }

  void RemoveTables() {
    for (const std::string& path : {user_table_, settings_table_}) {
      platform::SetFileAttributes(path, platform::kAttrNormal);
      platform::DeleteFile(path);
    }
  }

  static UserRecord Named(const std::string& name) {
    UserRecord record = UserRecord::Blank();
    SetFieldText(record.user_name, name);
    SetFieldText(record.password, "pw-" + name);
    return record;
  }

  void WriteTable(const std::string& bytes) {
    ASSERT_EQ(platform::WriteWholeFile(user_table_, bytes), platform::kSuccess);
  }

  std::string ReadTable() {
    std::string bytes;
    EXPECT_EQ(platform::ReadWholeFile(user_table_, &bytes), platform::kSuccess);
    return bytes;
  }

  static std::string Encoded(const UserRecord& record) {
    const UserRecordBytes bytes = EncodeUserRecord(record);
    return std::string(bytes.data(), bytes.size());
  }

  const std::string user_table_ = SystemDirectoryWithSlash() + "USER.TBL";
  const std::string settings_table_ = SystemDirectoryWithSlash() + "NoxSettings.TBL";
};

TEST(UserRecordCodec, EveryFieldLandsAtItsOffsetLittleEndian) {
  UserRecord record = UserRecord::Blank();
  SetFieldText(record.user_name, "alice");
  SetFieldText(record.password, "Secret");
  SetFieldText(record.level_triple, "4096,32776,4");
  SetFieldText(record.start_page, "http://start");
  record.reserved_365 = {'\x11', '\x22'};
  record.network_level = 0x0102;
  record.reserved_791 = {'\x33'};
  SetFieldText(record.drive_schedule[3], "C");
  record.program_list_count = 7;
  record.allowed_program_count = 200;
  SetFieldText(record.proxy[kProxyHttp].server, "proxy");
  SetFieldText(record.proxy[kProxyHttp].port, "8080");
  SetFieldText(record.proxy[kProxySocks].port, "1080");
  SetFieldText(record.search_page, "http://search");
  record.allowed_minutes = 0x01020304;
  record.used_minutes = -2;
  record.last_use_date = 1.0;  // 3F F0 00 00 00 00 00 00 in IEEE order
  record.reserved_2687 = {'\x44', '\x55'};

  const UserRecordBytes bytes = EncodeUserRecord(record);
  const std::string b(bytes.data(), bytes.size());
  ASSERT_EQ(b.size(), 2689u);
  EXPECT_EQ(b.substr(0, 40), "alice" + Blanks(35));
  EXPECT_EQ(b.substr(40, 40), "Secret" + Blanks(34));
  EXPECT_EQ(b.substr(80, 30), "4096,32776,4" + Blanks(18));
  EXPECT_EQ(b.substr(110, 255), "http://start" + Blanks(243));
  EXPECT_EQ(b.substr(365, 2), "\x11\x22");
  EXPECT_EQ(b.substr(367, 10), Blanks(10));
  EXPECT_EQ(b.substr(789, 3), std::string("\x02\x01\x33", 3));
  EXPECT_EQ(b.substr(792 + 3 * 50, 50), "C" + Blanks(49));
  EXPECT_EQ(static_cast<unsigned char>(b[2192]), 7);
  EXPECT_EQ(static_cast<unsigned char>(b[2193]), 200);
  EXPECT_EQ(b.substr(2194, 55), "proxy" + Blanks(45) + "8080 ");
  EXPECT_EQ(b.substr(2194 + 4 * 55 + 50, 5), "1080 ");
  EXPECT_EQ(b.substr(2471, 200), "http://search" + Blanks(187));
  EXPECT_EQ(b.substr(2671, 4), std::string("\x04\x03\x02\x01", 4));
  EXPECT_EQ(b.substr(2675, 4), std::string("\xFE\xFF\xFF\xFF", 4));
  EXPECT_EQ(b.substr(2679, 8), std::string("\x00\x00\x00\x00\x00\x00\xF0\x3F", 8));
  EXPECT_EQ(b.substr(2687, 2), "\x44\x55");

  const UserRecordBytes again = EncodeUserRecord(DecodeUserRecord(b));
  EXPECT_EQ(std::string(again.data(), again.size()), b);
}

TEST(UserRecordCodec, ShortInputLeavesTheRestZero) {
  const UserRecord record = DecodeUserRecord("bob");
  EXPECT_EQ(FieldText(record.user_name), std::string("bob") + std::string(37, '\0'));
  EXPECT_EQ(record.allowed_minutes, 0);
  EXPECT_EQ(record.last_use_date, 0.0);
}

TEST(UserRecordCodec, EndOfTableRecordIsEofBlanksAndZeros) {
  const UserRecordBytes bytes = EncodeUserRecord(UserRecord::EndOfTable());
  const std::string b(bytes.data(), bytes.size());
  EXPECT_EQ(b.substr(0, 40), "EOF" + Blanks(37));
  EXPECT_EQ(b.substr(40), std::string(2689 - 40, '\0'));
}

TEST(SettingsRecordCodec, FieldsAtTheirOffsets) {
  SettingsRecord record;
  SetFieldText(record.master_path, "C:/master/user.tbl");
  record.option_word = 1;
  record.copy_from_master = -1;
  const SettingsRecordBytes bytes = EncodeSettingsRecord(record);
  const std::string b(bytes.data(), bytes.size());
  EXPECT_EQ(b, "C:/master/user.tbl" + Blanks(182) + std::string("\x01\x00\xFF\xFF", 4));
  EXPECT_EQ(DecodeSettingsRecord(b).copy_from_master, -1);
}

TEST_F(TableFilesTest, ThreeRecordTableEndsAtRecordFour) {
  WriteTable(Encoded(Named("a")) + Encoded(Named("b")) + Encoded(Named("c")));
  EXPECT_EQ(ReadTable().size(), 8067u);
  EXPECT_EQ(ReadUserRecord(1).TrimmedName(), "a");
  EXPECT_EQ(ReadUserRecord(2).TrimmedName(), "b");
  EXPECT_EQ(ReadUserRecord(3).TrimmedName(), "c");
  EXPECT_EQ(Encoded(ReadUserRecord(4)), Encoded(UserRecord::EndOfTable()));
  EXPECT_EQ(ReadUserRecord(0).TrimmedName(), "EOF");
  EXPECT_EQ(ReadUserRecord(-5).TrimmedName(), "EOF");
  EXPECT_EQ(ReadUserRecord(2000000000).TrimmedName(), "EOF");
}

TEST_F(TableFilesTest, StoredEofRecordReadsAsIs) {
  WriteTable(Encoded(Named("a")) + Encoded(Named(" EOF ")) + Encoded(Named("c")));
  EXPECT_EQ(ReadUserRecord(2).TrimmedName(), "EOF");
  EXPECT_EQ(ReadUserRecord(3).TrimmedName(), "c");
}

TEST_F(TableFilesTest, RecordCutShortIsReadAsFarAsItGoes) {
  const std::string second = Encoded(Named("b"));
  WriteTable(Encoded(Named("a")) + second.substr(0, 100));
  const UserRecord record = ReadUserRecord(2);
  EXPECT_EQ(FieldText(record.user_name), "b" + Blanks(39));
  EXPECT_EQ(FieldText(record.password), "pw-b" + Blanks(36));
  EXPECT_EQ(FieldText(record.level_triple), Blanks(20) + std::string(10, '\0'));
  EXPECT_EQ(record.allowed_minutes, 0);
}

TEST_F(TableFilesTest, OneByteIntoTheNextRecordIsNotARecord) {
  WriteTable(Encoded(Named("a")) + "x");  // 2690 bytes: position 2690 is not before the end
  EXPECT_EQ(ReadUserRecord(2).TrimmedName(), "EOF");
  WriteTable(Encoded(Named("a")) + "xy");
  EXPECT_EQ(FieldText(ReadUserRecord(2).user_name).substr(0, 3), std::string("xy\0", 3));
}

TEST_F(TableFilesTest, MissingTableReadsEofAndIsLeftEmpty) {
  EXPECT_EQ(ReadUserRecord(1).TrimmedName(), "EOF");
  uint64_t length = 99;
  ASSERT_EQ(platform::FileLength(user_table_, &length), platform::kSuccess);
  EXPECT_EQ(length, 0u);
}

TEST_F(TableFilesTest, WritingPastTheEndExtendsTheFile) {
  WriteTable(Encoded(Named("a")) + Encoded(Named("b")) + Encoded(Named("c")));
  WriteUserRecord(5, Named("e"));
  const std::string table = ReadTable();
  ASSERT_EQ(table.size(), 13445u);
  EXPECT_EQ(table.substr(4 * 2689), Encoded(Named("e")));
  EXPECT_EQ(table.substr(2 * 2689, 2689), Encoded(Named("c")));
  EXPECT_EQ(ReadUserRecord(5).TrimmedName(), "e");
}

TEST_F(TableFilesTest, WriteByDecimalTextReplacesOneRecordOnly) {
  WriteTable(Encoded(Named("a")) + Encoded(Named("b")) + Encoded(Named("c")));
  UserRecord changed = ReadUserRecord(2);
  changed.used_minutes = 42;
  WriteUserRecord(std::string("2"), changed);
  const std::string table = ReadTable();
  ASSERT_EQ(table.size(), 8067u);
  EXPECT_EQ(table.substr(0, 2689), Encoded(Named("a")));
  EXPECT_EQ(table.substr(2689, 2689), Encoded(changed));
  EXPECT_EQ(table.substr(2 * 2689), Encoded(Named("c")));
}

TEST_F(TableFilesTest, WriteClearsReadOnlyHiddenAndSystem) {
  WriteTable(Encoded(Named("a")));
  ASSERT_EQ(platform::SetFileAttributes(user_table_, platform::kAttrReadOnly |
                                                         platform::kAttrHidden |
                                                         platform::kAttrSystem),
            platform::kSuccess);
  WriteUserRecord(1, Named("z"));
  uint32_t attributes = 0;
  ASSERT_EQ(platform::GetFileAttributes(user_table_, &attributes), platform::kSuccess);
  EXPECT_EQ(attributes & (platform::kAttrReadOnly | platform::kAttrHidden | platform::kAttrSystem),
            0u);
  EXPECT_EQ(ReadUserRecord(1).TrimmedName(), "z");
}

TEST_F(TableFilesTest, WriteToMissingTableRaisesFileNotFound) {
  try {
    WriteUserRecord(1, Named("a"));
    FAIL() << "no error raised";
  } catch (const RuntimeError& error) {
    EXPECT_EQ(error.number(), kErrFileNotFound);
  }
}

TEST_F(TableFilesTest, SettingsDefaultForMissingOrEmptyFile) {
  for (int round = 0; round < 2; ++round) {  // missing, then the empty file it left
    const SettingsRecord record = ReadSettingsRecord();
    EXPECT_EQ(FieldText(record.master_path), SystemDirectoryWithSlash() +
                                                 Blanks(200 - SystemDirectoryWithSlash().size()));
    EXPECT_EQ(record.option_word, 1);
    EXPECT_EQ(record.copy_from_master, 0);
  }
  uint64_t length = 99;
  ASSERT_EQ(platform::FileLength(settings_table_, &length), platform::kSuccess);
  EXPECT_EQ(length, 0u);
}

TEST_F(TableFilesTest, ShortSettingsFileIsNotReadPastItsEnd) {
  ASSERT_EQ(platform::WriteWholeFile(settings_table_, "D:\\master\\x"), platform::kSuccess);
  const SettingsRecord record = ReadSettingsRecord();
  EXPECT_EQ(FieldText(record.master_path), "D:\\master\\x" + std::string(189, '\0'));
  EXPECT_EQ(record.option_word, 0);
  EXPECT_EQ(record.copy_from_master, 0);
}

TEST_F(TableFilesTest, FullSettingsFileIsRead) {
  ASSERT_EQ(platform::WriteWholeFile(settings_table_, "D:/m/user.tbl" + Blanks(187) +
                                                          std::string("\x01\x00\x01\x00", 4)),
            platform::kSuccess);
  const SettingsRecord record = ReadSettingsRecord();
  EXPECT_EQ(FieldText(record.master_path).substr(0, 14), "D:/m/user.tbl ");
  EXPECT_EQ(record.copy_from_master, 1);
}

}  // namespace
}  // namespace nox
