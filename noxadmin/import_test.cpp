// CSV import and export, and "check" against tables broken in each way it
// knows.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "noxadmin/test_support.h"

namespace nox::admin {
namespace {

using namespace testing_support;

void MakeClass(const TempFolder& folder) {
  const std::vector<std::vector<std::string>> users = {
      {"user", "add", "alice", "--password", "a,b \"c\"", "--level", "Education High", "--minutes",
       "60", "--network", "2", "--drive", "C=08:00-17:00", "--drive", "D=22:00-06:00", "--programs",
       "word.exe;excel.exe", "--discs", "MATHS2000;ATLAS"},
      {"user", "add", "Zo\xC3\xAB", "--level", "128,0,294912", "--start-page", "http://x/?a=1,b=2",
       "--search-page", "http://s/", "--proxy-http", "proxy:8080", "--proxy-ftp", "ftp.lan:21",
       "--proxy-socks", "socks"},
      {"user", "add", "teacher", "--level", "None"},
      {"user", "add", ".Default", "--level", "Home Med.", "--password", "x", "--discs", "ONLY"},
  };
  for (const auto& args : users) ASSERT_EQ(RunIn(folder, args).code, kExitOk) << args[2];
}

TEST(NoxadminCsv, ExportThenImportRebuildsTheTablesByteForByte) {
  TempFolder original;
  MakeClass(original);
  const RunResult exported = RunIn(original, {"export"});
  ASSERT_EQ(exported.code, kExitOk) << exported.err;
  EXPECT_EQ(exported.out.substr(0, exported.out.find("\r\n")),
            "name,password,level,minutes,network,start-page,search-page,proxy-http,proxy-https,"
            "proxy-ftp,proxy-gopher,proxy-socks,drives,discs,programs");
  // The password as stored, one-way: the typed text is nowhere.
  const size_t alice = exported.out.find("\r\nalice,$N1$008000$");
  ASSERT_NE(alice, std::string::npos) << exported.out;
  EXPECT_EQ(exported.out.substr(alice + 2 + 6 + 40),
            ",Education High,60,2,,,,,,,,C=08:00-17:00;D=22:00-06:00,MATHS2000;ATLAS,word.exe;"
            "excel.exe\r\n" +
                exported.out.substr(exported.out.find("\r\nZo", alice) + 2));
  EXPECT_EQ(exported.out.find("a,b"), std::string::npos);

  TempFolder rebuilt;
  WriteBytes(rebuilt / "class.csv", exported.out);
  const RunResult imported = RunIn(rebuilt, {"import", (rebuilt / "class.csv").string()});
  ASSERT_EQ(imported.code, kExitOk) << imported.err;
  EXPECT_EQ(imported.out, "Added 4 and updated 0 users\n");
  for (const char* name : {"USER.TBL", "1.TBL", "4.TBL"}) {
    EXPECT_BYTES_EQ(ReadBytes(original / name), ReadBytes(rebuilt / name));
  }
  EXPECT_EQ(rebuilt.Names(), (std::vector<std::string>{"1.TBL", "4.TBL", "USER.TBL", "class.csv"}));
  EXPECT_EQ(RunIn(rebuilt, {"export"}).out, exported.out);

  // Importing the same file again changes nothing.
  const std::string table = ReadBytes(rebuilt / "USER.TBL");
  ASSERT_EQ(RunIn(rebuilt, {"import", (rebuilt / "class.csv").string()}).code, kExitOk);
  EXPECT_BYTES_EQ(table, ReadBytes(rebuilt / "USER.TBL"));
}

TEST(NoxadminCsv, ExportToAFile) {
  TempFolder folder;
  MakeClass(folder);
  ASSERT_EQ(RunIn(folder, {"export", "--output", (folder / "out.csv").string()}).code, kExitOk);
  EXPECT_EQ(ReadBytes(folder / "out.csv"), RunIn(folder, {"export"}).out);
}

TEST(NoxadminCsv, UpdateTouchesOnlyTheGivenCells) {
  TempFolder folder;
  MakeClass(folder);
  const std::string before = ReadBytes(folder / "USER.TBL");
  WriteBytes(folder / "update.csv",
             "\xEF\xBB\xBFName,Password,minutes\r\nALICE,new,\r\nbob,b,45\r\n,,\r\n");
  const RunResult result = RunIn(folder, {"import", (folder / "update.csv").string()});
  ASSERT_EQ(result.code, kExitOk) << result.err;
  EXPECT_EQ(result.out, "Added 1 and updated 1 users\n");
  std::string expected = before;
  expected.replace(40, 40, "new" + std::string(37, ' '));
  expected += RecordBytes().Name("bob").Password("b").Triple("0,0,33554432").Int(2671, 4, 45).str();
  EXPECT_BYTES_EQ(expected, PlainPasswords(expected, ReadBytes(folder / "USER.TBL")));
}

TEST(NoxadminCsv, ANameHeldTwiceUpdatesTheFirstRecord) {
  TempFolder folder;
  const std::string first = RecordBytes().Name("dup").Triple("0,0,0").str();
  const std::string second = RecordBytes().Name("DUP").Triple("0,0,0").str();
  WriteBytes(folder / "USER.TBL", first + second);
  WriteBytes(folder / "in.csv", "name,password\r\nDup,x\r\n");
  const RunResult result = RunIn(folder, {"import", (folder / "in.csv").string()});
  ASSERT_EQ(result.code, kExitOk) << result.err;
  EXPECT_EQ(result.out, "Added 0 and updated 1 users\n");
  const std::string updated = RecordBytes().Name("dup").Password("x").Triple("0,0,0").str();
  EXPECT_BYTES_EQ(updated + second,
                  PlainPasswords(updated + second, ReadBytes(folder / "USER.TBL")));
}

struct BadCsv {
  std::string text;
  std::string message;
};

class NoxadminCsvRefusal : public ::testing::TestWithParam<BadCsv> {};

TEST_P(NoxadminCsvRefusal, NothingIsImported) {
  TempFolder folder;
  MakeClass(folder);
  const std::vector<std::string> names_before = folder.Names();
  const std::string table = ReadBytes(folder / "USER.TBL");
  const std::string list = ReadBytes(folder / "1.TBL");
  WriteBytes(folder / "in.csv", GetParam().text);
  const RunResult result = RunIn(folder, {"import", (folder / "in.csv").string()});
  EXPECT_EQ(result.code, kExitFailed);
  EXPECT_NE(result.err.find(GetParam().message), std::string::npos) << result.err;
  EXPECT_BYTES_EQ(table, ReadBytes(folder / "USER.TBL"));
  EXPECT_EQ(list, ReadBytes(folder / "1.TBL"));
  std::vector<std::string> names = names_before;
  names.push_back("in.csv");
  std::sort(names.begin(), names.end());
  EXPECT_EQ(folder.Names(), names);
}

INSTANTIATE_TEST_SUITE_P(
    Files, NoxadminCsvRefusal,
    ::testing::ValuesIn(std::vector<BadCsv>{
        {"name,password\r\nnew1,ok\r\nnew2," + std::string(41, 'p') + "\r\n",
         "line 3: password: 41 characters"},
        {"name,programs\r\nalice,x.exe\r\nnew,\"a\"\"b.exe\"\r\n", "line 3: programs:"},
        {"name,level\r\nnew,Nonsense\r\n", "line 2: level:"},
        {"name,password\r\nnew,a\r\nNEW,b\r\n", "line 3: name: \"NEW\" is in the file twice"},
        {"name,password\r\nnew,$N1$999999$AAAAAAAAAAAA$AAAAAAAAAAAAAAAA\r\n",
         "line 2: password: not a hashed password"},
        {"name,colour\r\nnew,red\r\n", "unknown column \"colour\""},
        {"password\r\nx\r\n", "no \"name\" column"},
        {"name,name\r\nx,y\r\n", "column \"name\" twice"},
        {"name,password\r\nnew\r\n", "line 2: 1 cells, the header has 2"},
        {"name,password\r\n\"new,x\r\n", "never closed"},
        {"name,password\r\n\"new\"x,y\r\n", "after the closing quote"},
        {"", "no header row"},
        {"name\r\n" + std::string(41, 'n') + "\r\n", "line 2: name: 41 characters"},
        {"name,discs\r\nteacher,\"multi\nline\"\r\n", "discs:"},
    }));

TEST(NoxadminCsv, DryRunWritesNothing) {
  TempFolder folder;
  WriteBytes(folder / "in.csv", "name\nnew\n");
  const RunResult result = RunIn(folder, {"import", (folder / "in.csv").string(), "--dry-run"});
  EXPECT_EQ(result.code, kExitOk);
  EXPECT_EQ(result.out, "Would add 1 and update 0 users\n");
  EXPECT_EQ(folder.Names(), std::vector<std::string>{"in.csv"});
}

// -------------------------------------------------------------------- check

struct BrokenTable {
  std::string name;
  std::function<void(const TempFolder&)> arrange;
  std::string problem;
};

RecordBytes User(const std::string& name) { return RecordBytes().Name(name).Triple("0,0,0"); }

class NoxadminCheck : public ::testing::TestWithParam<BrokenTable> {};

TEST_P(NoxadminCheck, ReportsTheProblem) {
  TempFolder folder;
  GetParam().arrange(folder);
  const RunResult result = RunIn(folder, {"check"});
  EXPECT_EQ(result.code, kExitFailed) << result.out;
  EXPECT_NE(result.out.find(GetParam().problem), std::string::npos) << result.out;
}

INSTANTIATE_TEST_SUITE_P(
    Tables, NoxadminCheck,
    ::testing::ValuesIn(std::vector<BrokenTable>{
        {"InvalidTriple",
         [](const TempFolder& f) { WriteBytes(f / "USER.TBL", User("a").Triple("1,2,3,4").str()); },
         "USER.TBL record 1 (a): level triple \"1,2,3,4\" cannot be read (error 9"},
        {"TripleWithLetters",
         [](const TempFolder& f) {
           WriteBytes(f / "USER.TBL", User("a").Triple("12abc,0,&H2000000").str());
         },
         "holds more than digits and commas; the login reads its restrictions as 12,0,0 and its "
         "daily budget as on"},
        {"HugeTriple",
         [](const TempFolder& f) {
           WriteBytes(f / "USER.TBL", User("a").Triple("0,0,99999999999").str());
         },
         "cannot be read (error 6"},
        {"ScheduleWithInvalidTimes",
         [](const TempFolder& f) {
           WriteBytes(f / "USER.TBL",
                      User("a").Text(792 + 4 * 50, 50, "       25:00       17:00 True ").str());
         },
         "drive D: the schedule is on but \"25:00\" to \"17:00\" are not times of day"},
        {"ScheduleThatNeverHides",
         [](const TempFolder& f) {
           WriteBytes(f / "USER.TBL",
                      User("a").Text(792 + 1 * 50, 50, "       08:00       08:00True").str());
         },
         "drive A: the schedule starts where it ends"},
        {"MissingProgramList",
         [](const TempFolder& f) { WriteBytes(f / "USER.TBL", User("a").Int(2193, 1, 2).str()); },
         "1.TBL is missing but the record asks for 0 disc lines and 2 programs"},
        {"ShortProgramList",
         [](const TempFolder& f) {
           WriteBytes(f / "USER.TBL", User("a").Int(2192, 1, 1).Int(2193, 1, 2).str());
           WriteBytes(f / "1.TBL", "\"h\",\"1\"\r\nCD X\r\n\"a.exe\",\"False\",\"\",\"\"\r\n");
         },
         "1.TBL is short"},
        {"FlagLiftsRestriction",
         [](const TempFolder& f) {
           WriteBytes(f / "USER.TBL", User("a").Int(2193, 1, 1).str());
           WriteBytes(f / "1.tbl", "h,1\r\na.exe,True,,\r\n");
         },
         "the first program's flag is \"True\""},
        {"DuplicateNames",
         [](const TempFolder& f) {
           WriteBytes(f / "USER.TBL", User("Anna").str() + User("x").str() + User("ANNA").str());
         },
         "record 3 (ANNA): same name as record 1"},
        {"RecordsAfterEof",
         [](const TempFolder& f) {
           WriteBytes(f / "USER.TBL",
                      User("a").str() + User("EOF").str() + User("b").str() + User("c").str());
         },
         "record 2 is \"EOF\": the 2 records behind it are never read"},
        {"LengthNotAMultiple",
         [](const TempFolder& f) { WriteBytes(f / "USER.TBL", User("a").str() + "xyz"); },
         "not a multiple of 2689: the last 3 bytes are a record cut short, which the login "
         "program reads as a user"},
        {"NoUsers", [](const TempFolder&) {}, "no users: nobody can log in"},
        {"NetworkLevel",
         [](const TempFolder& f) { WriteBytes(f / "USER.TBL", User("a").Int(789, 2, 7).str()); },
         "network level 7 is not 0 to 3"},
        {"OpenDefault",
         [](const TempFolder& f) { WriteBytes(f / "USER.TBL", User(".default").str()); },
         "logs in as this user without asking"},
        {"OrphanFile",
         [](const TempFolder& f) {
           WriteBytes(f / "USER.TBL", User("a").str());
           WriteBytes(f / "2.KWT", "x");
         },
         "2.KWT: belongs to no user"},
        {"ZeroBudget",
         [](const TempFolder& f) {
           WriteBytes(f / "USER.TBL", User("a").Triple("0,0,33554432").str());
         },
         "daily budget of 0 minutes"},
        {"SettingsLength",
         [](const TempFolder& f) {
           WriteBytes(f / "USER.TBL", User("a").str());
           WriteBytes(f / "NoxSettings.TBL", "C:\\short");
         },
         "NoxSettings.TBL: 8 bytes, not 204"},
    }),
    [](const ::testing::TestParamInfo<BrokenTable>& info) { return info.param.name; });

TEST(NoxadminCheck, ACleanTablePasses) {
  TempFolder folder;
  MakeClass(folder);
  const RunResult result = RunIn(folder, {"check"});
  EXPECT_EQ(result.code, kExitOk) << result.out;
  EXPECT_EQ(result.out, "No problems found\n");
}

TEST(NoxadminCheck, FixHashesThePlainPasswordsAndNothingElse) {
  TempFolder folder;
  const std::string hashed = "$N1$008000$FS/cFuqVM8Tg$TNuZ7rAaFNVTjRo5";
  const std::string before = RecordBytes().Name("alice").Password("pw").Triple("0,0,0").str() +
                             RecordBytes().Name("bob").Triple("0,0,0").str() +
                             RecordBytes().Name("carol").Password(hashed).Triple("0,0,0").str() +
                             RecordBytes().Name("EOF").str() +
                             RecordBytes().Name("old").Password("x").Triple("0,0,0").str();
  WriteBytes(folder / "USER.TBL", before);
  const RunResult found = RunIn(folder, {"check"});
  const std::string behind_eof =
      "USER.TBL: record 4 is \"EOF\": the 1 records behind it are never read\n";
  EXPECT_EQ(found.out, behind_eof +
                           "USER.TBL record 1 (alice): password stored in plain text: anyone who "
                           "can log in can read it in USER.TBL (\"noxadmin check --fix\" hashes "
                           "it)\n2 problems\n");
  EXPECT_EQ(ReadBytes(folder / "USER.TBL"), before);

  const RunResult fixed = RunIn(folder, {"check", "--fix"});
  EXPECT_EQ(fixed.out.substr(0, fixed.out.find('\n')), "Hashed 2 passwords stored in plain text");
  EXPECT_EQ(fixed.out.find("plain text: anyone"), std::string::npos) << fixed.out;
  const std::string after = ReadBytes(folder / "USER.TBL");
  EXPECT_NE(after, before);
  EXPECT_BYTES_EQ(before, PlainPasswords(before, after));

  EXPECT_EQ(RunIn(folder, {"check", "--fix"}).out, behind_eof + "1 problem\n");
  EXPECT_EQ(ReadBytes(folder / "USER.TBL"), after);
}

}  // namespace
}  // namespace nox::admin
