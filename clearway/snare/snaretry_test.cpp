#include "clearway/snare/snaretry.h"

#include <gtest/gtest.h>

#include "clearway/snare/snare_internal.h"
#include "platform/fake/fake_control.h"

namespace nox::snaretry {
namespace {

namespace fake = platform::fake;

TEST(SnaretryCommandLineTest, TakesItsSwitchesAndOneNumber) {
  struct Case {
    const char* line;
    bool valid;
    int32_t depth = 0, number = 0;
    const char* source = nullptr;  // none given
    bool unannounced = false, twice = false;
  };
  const Case cases[] = {
      {"53", true, 1, 53, nullptr, false, false},
      {"  /DEPTH 3 /twice -5 ", true, 3, -5, nullptr, false, true},
      {"/source \"2!a b!m!p!1!2\" /unannounced 70", true, 1, 70, "2!a b!m!p!1!2", true, false},
      {"/depth 2000 1", true, 2000, 1, nullptr, false, false},
      {"/source Other 2147483647", true, 1, 2147483647, "Other", false, false},
      {"/depth 2001 1", false},
      {"/depth 0 1", false},
      {"/depth x 1", false},
      {"", false},
      {"/twice", false},
      {"5 6", false},
      {"2147483648", false},
      {"/source", false},
      {"\"", false},
      {"12345678901234567890", false},
  };
  for (const Case& c : cases) {
    const auto options = ParseCommandLine(c.line);
    ASSERT_EQ(options.has_value(), c.valid) << c.line;
    if (!options) continue;
    EXPECT_EQ(options->depth, c.depth) << c.line;
    EXPECT_EQ(options->number, c.number) << c.line;
    EXPECT_EQ(options->source.has_value(), c.source != nullptr) << c.line;
    if (c.source) {
      EXPECT_EQ(*options->source, c.source) << c.line;
    }
    EXPECT_EQ(options->unannounced, c.unannounced) << c.line;
    EXPECT_EQ(options->twice, c.twice) << c.line;
  }
}

class SnaretryRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fake::Reset();
    ResetSnare();
    fake::SetProgramFileName("C:\\NOX\\snaretry.exe");
    fake::PutFile("C:\\NOX\\SNCLIENT.INI",
                  "[preferences]\nSilent Run=1\n[log file]\nWrite To Disk=1\nCapture To Disk=1\n"
                  "Log File=t.log\n[include]\nResources=0\nMemory=0\nUser=0\n");
  }
  std::string Log() { return fake::FileBytes("C:\\NOX\\t.log").value_or(""); }
};

TEST_F(SnaretryRunTest, NestedRunTracesEveryEntryAndExit) {
  Main(*ParseCommandLine("/depth 2 11"));
  const std::string log = Log();
  const std::string trace =
      "[snaretry] [00001] [00000.000]->snaretry : Sub main : ()\r\n\r\n"
      "[snaretry] [00002] [00000.000]->\tsnaretry : Sub Nest : (depth=2)\r\n\r\n"
      "[snaretry] [00003] [00000.000]->\t\tsnaretry : Sub Nest : (depth=1)\r\n\r\n"
      "[snaretry] ERROR 11 at snaretry : Sub Nest : Line 20 : Division by zero\r\n";
  EXPECT_NE(log.find(trace), std::string::npos) << log;
  EXPECT_NE(log.find(" 3 : Call\t\t\tsnaretry : Sub Nest : (depth=1)\r\n"), std::string::npos);
  EXPECT_NE(log.find(" 4 : Error\t\t\tRuntime error 11, Division by zero\r\n"), std::string::npos);
  const std::string exits =
      "[snaretry] [00004] [00000.000]<-\t\tsnaretry : Sub Nest : (depth=1)\r\n\r\n"
      "[snaretry] [00005] [00000.000]<-\tsnaretry : Sub Nest : (depth=2)\r\n\r\n"
      "[snaretry] [00006] [00000.000]<-snaretry : Sub main : ()\r\n\r\n";
  EXPECT_EQ(log.substr(log.size() - exits.size()), exits);
  EXPECT_EQ(Snare().level, 0);
}

TEST_F(SnaretryRunTest, VariantsReachTheTrapAsTheyShould) {
  struct Case {
    const char* line;
    const char* expected;  // a text the log must hold
    int blocks;            // error-log blocks
  };
  const Case cases[] = {
      {"/unannounced 70", "Module        hiddenmod << snaretry\r\n", 1},
      {"/twice 5", "Source        snaretry (local)\r\n", 2},
      {"/source Other 5", "Source        Other (remote)\r\n", 1},
      {"/source \"1!Remote!rmod!Sub R!7!53\" 5", "Runtime error 53, File not found on line 7\r\n",
       1},
      {"/depth 2000 5", " 1001 : Error", 1},
  };
  for (const Case& c : cases) {
    SetUp();
    Main(*ParseCommandLine(c.line));
    const std::string log = Log();
    EXPECT_NE(log.find(c.expected), std::string::npos) << c.line;
    int blocks = 0;
    for (size_t at = log.find("stop Snare client"); at != std::string::npos;
         at = log.find("stop Snare client", at + 1)) {
      ++blocks;
    }
    EXPECT_EQ(blocks, c.blocks) << c.line;
    EXPECT_EQ(Snare().level, 0) << c.line;
  }
}

}  // namespace
}  // namespace nox::snaretry
