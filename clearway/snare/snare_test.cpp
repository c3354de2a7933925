#include "clearway/snare/snare.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "clearway/snare/snare_internal.h"
#include "platform/fake/fake_control.h"

namespace nox {
namespace {

namespace fake = platform::fake;

constexpr const char* kIni = "C:\\NOX\\SNCLIENT.INI";
const std::string kStart =
    "1/1/2000 12:00:00 AM - start Snare client v5.00.04 (for Visual Basic 5.0) data capture";
const std::string kStop =
    "1/1/2000 12:00:00 AM - stop Snare client v5.00.04 (for Visual Basic 5.0) data capture";
const std::string kZone(14, ' ');

TrappedError Trap(int32_t number, const std::string& source = "") {
  return TrappedError{number, source, "", 0, 0};
}

class SnareTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fake::Reset();
    ResetSnare();
    fake::SetProgramFileName("C:\\NOX\\Clearway.exe");
    fake::SetProgramVersion({1, 4, 0});
  }
  static std::string File(const std::string& path) {
    return fake::FileBytes(path).value_or("<none>");
  }
};

// ------------------------------------------------------------ trace lines

struct TraceCase {
  const char* include;   // the [include] section of SNCLIENT.INI
  const char* outer_in;  // the outer routine's entry line after the time stamp
  const char* inner_in;
  const char* suffix;  // what every trace line ends with before CR LF
};

TEST_F(SnareTest, TraceLinesFollowTheIncludeSettings) {
  const TraceCase cases[] = {
      {"Resources=0\nMemory=0\nArguments=1\nUser=0", "->Clearway : Sub main : ()",
       "->\thidea : Sub RegWrite : (regline=a,b, dwtype=4)", ""},
      {"Resources=0\nMemory=0\nArguments=0\nUser=0", "->Clearway : Sub main",
       "->\thidea : Sub RegWrite", ""},
      {"Resources=0\nMemory=0\nArguments=2\nUser=0", "->Clearway : Sub main",
       "->\thidea : Sub RegWrite", ""},
      {"Resources=1\nMemory=1\nArguments=0\nUser=0", "->Clearway : Sub main",
       "->\thidea : Sub RegWrite", " : [res = 37%, mem = 5000000000]"},
      {"Resources=0\nMemory=2\nArguments=0\nUser=0", "->Clearway : Sub main",
       "->\thidea : Sub RegWrite", " : [mem = 5000000000]"},
      {"Resources=1\nMemory=0\nArguments=0\nUser=0", "->Clearway : Sub main",
       "->\thidea : Sub RegWrite", " : [res = 37%]"},
      {"Resources=0\nMemory=0\nArguments=0\nUser=1", "->Clearway : Sub main",
       "->\thidea : Sub RegWrite", " : "},
      // A present section without the keys: all four on.
      {"", "->Clearway : Sub main : ()", "->\thidea : Sub RegWrite : (regline=a,b, dwtype=4)",
       " : [res = 37%, mem = 5000000000] : "},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    SetUp();
    const TraceCase& c = cases[i];
    fake::PutFile(kIni,
                  std::string("[log file]\nWrite To Disk=1\nCapture To Disk=1\nLog File=trace.log\n"
                              "[include]\n") +
                      c.include);
    fake::SetMemoryStatus({37, 5000000000});
    fake::SetTimerMilliseconds(4000000000u);  // wraps during the run
    snPUSH("Clearway", "Sub main", "()");
    fake::AdvanceTimer(300000000);
    snPUSH("hidea", "Sub RegWrite", "(regline=a,b, dwtype=4)");
    fake::AdvanceTimer(5);
    snPOP("hidea", "Sub RegWrite", "(regline=changed)");
    snPOP("Clearway", "Sub main", "()");
    const std::string outer_out = std::string("<-") + (c.outer_in + 2);
    const std::string inner_out = std::string("<-") + (c.inner_in + 2);
    const std::string s = c.suffix;
    EXPECT_EQ(File("C:\\NOX\\trace.log"),
              "[Clearway] " + kStart + "\r\n\r\n" + "[Clearway] [00001] [00000.000]" + c.outer_in +
                  s + "\r\n\r\n" + "[Clearway] [00002] [300000.000]" + c.inner_in + s + "\r\n\r\n" +
                  "[Clearway] [00003] [300000.005]" + inner_out + s + "\r\n\r\n" +
                  "[Clearway] [00004] [300000.005]" + outer_out + s + "\r\n\r\n")
        << "case " << i;
    EXPECT_EQ(Snare().level, 0) << "case " << i;
  }
}

TEST_F(SnareTest, TimeStampsAlwaysUseAPointAndNeverCutTheIntegerPart) {
  const std::pair<int64_t, const char*> cases[] = {
      {0, "00000.000"},        {3250, "00003.250"},       {12346, "00012.346"},
      {99999999, "99999.999"}, {100000000, "100000.000"}, {-1, "-00000.001"}};
  for (const auto& [ms, text] : cases) EXPECT_EQ(pfTimeStamp(ms), text) << ms;
}

// ------------------------------------------------------------- settings

struct SettingsCase {
  const char* ini;  // nullptr: no file
  SnareSettings expected;
};

TEST_F(SnareTest, SettingsFileIsReadThroughItsBufferSizes) {
  auto with = [](auto change) {
    SnareSettings s;
    s.include_resources = s.include_memory = s.include_arguments = s.include_user = -1;
    change(s);
    return s;
  };
  const std::string long_address(300, 'a');
  const SettingsCase cases[] = {
      {nullptr, SnareSettings{}},
      {"", with([](SnareSettings&) {})},
      {"[preferences]\nSilent Run=1\nDisplay Mode=3", with([](SnareSettings& s) {
         s.silent_run = -1;
         s.display_mode = -3;
       })},
      {"[preferences]\nSilent Run=2", with([](SnareSettings& s) { s.silent_run = -2; })},
      {"[preferences]\nSilent Run=12\nForce System Info=0.5", with([](SnareSettings& s) {
         s.silent_run = -1;
         s.force_system_info = true;
       })},
      {"[preferences]\nForce System Info=abc", with([](SnareSettings&) {})},
      {"[include]\nResources=\nMemory=x\nArguments=0\nUser=9", with([](SnareSettings& s) {
         s.include_resources = 0;
         s.include_memory = 0;
         s.include_arguments = 0;
         s.include_user = -9;
       })},
      {"[log file]\nWrite To Disk=1\nCapture To Disk=7", with([](SnareSettings& s) {
         s.write_to_disk = s.capture_to_disk = true;
         s.log_file = "C:\\NOX\\error.log";
       })},
      {"[log file]\nWrite To Disk=1\nLog File=", with([](SnareSettings& s) {
         s.write_to_disk = true;
         s.log_file = "C:\\NOX\\error.log";
       })},
      {"[log file]\nWrite To Disk=1\nLog File=D:\\logs\\x.log", with([](SnareSettings& s) {
         s.write_to_disk = true;
         s.log_file = "D:\\logs\\x.log";
       })},
      {"[log file]\nWrite To Disk=0\nLog File=x.log", with([](SnareSettings&) {})},
      {"[log file]\nWrite To Disk=1\nLog File=x.log", with([](SnareSettings& s) {
         s.write_to_disk = true;
         s.log_file = "C:\\NOX\\x.log";
       })},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    SetUp();
    if (cases[i].ini != nullptr) fake::PutFile(kIni, cases[i].ini);
    snSTART();
    const SnareSettings& got = Snare().settings;
    const SnareSettings& want = cases[i].expected;
    EXPECT_EQ(got.force_system_info, want.force_system_info) << i;
    EXPECT_EQ(got.write_to_disk, want.write_to_disk) << i;
    EXPECT_EQ(got.capture_to_disk, want.capture_to_disk) << i;
    EXPECT_EQ(got.log_file, want.log_file) << i;
    EXPECT_EQ(got.email_address, want.email_address) << i;
    EXPECT_EQ((std::vector<int>{got.silent_run, got.display_mode, got.include_resources,
                                got.include_memory, got.include_arguments, got.include_user}),
              (std::vector<int>{want.silent_run, want.display_mode, want.include_resources,
                                want.include_memory, want.include_arguments, want.include_user}))
        << i;
  }
  SetUp();
  fake::PutFile(kIni, "[email]\nAddress=" + long_address);
  snSTART();
  EXPECT_EQ(Snare().settings.email_address, long_address.substr(0, 254));
}

TEST_F(SnareTest, StartUpReadsTheProgramAndItsSurroundings) {
  fake::SetProgramDirectory("C:\\");
  fake::SetProgramFileName("C:\\Clearway.exe");
  fake::PutFile("C:\\SNCLIENT.INI", "[log file]\nWrite To Disk=1\nLog File=x.log");
  fake::AddTopLevelWindow("Verdin Snares");
  fake::AddTopLevelWindow("Verdin Snare");
  snSTART();
  snSTART();
  const SnareState& snare = Snare();
  EXPECT_EQ(snare.settings.log_file, "C:\\x.log");
  EXPECT_EQ(snare.call_stack[0], "Snare(tm) : Program START <1/1/2000, 12:00:00 AM>");
  EXPECT_EQ(snare.trace_prefix, "[Clearway] ");
  EXPECT_EQ(snare.project_name, "Clearway");
  EXPECT_FALSE(snare.in_development_environment);
  EXPECT_TRUE(snare.monitor_present);
  EXPECT_EQ(snare.monitor, fake::AddTopLevelWindow("later") - 4);
  EXPECT_EQ(fake::MillisecondTimerRequests(), 1);
  EXPECT_EQ(pfMsg(62), "C:\\Clearway ver 1.4.0");
}

TEST_F(SnareTest, MonitorTitles) {
  const std::pair<const char*, bool> cases[] = {{"Verdin Snare", true},
                                                {"Verdin Snare -", true},
                                                {"Verdin Snare - trace", true},
                                                {"Verdin Snares", false},
                                                {"Verdin Snare-", false},
                                                {"verdin snare", false},
                                                {"", false},
                                                {"Verdin Snar", false}};
  for (const auto& [title, monitor] : cases) EXPECT_EQ(IsMonitorTitle(title), monitor) << title;
}

// ----------------------------------------------------- monitor window

std::vector<intptr_t> g_pause_answers;  // answers to 0x464 wParam 1, in turn

intptr_t PausingMonitor(const fake::SentMessage& message) {
  if (message.message == 0x000C)
    return message.text.find("Sub main") != std::string::npos ? 128 : 0;
  if (message.wparam == 2) return 0;
  if (g_pause_answers.empty()) return 0;
  const intptr_t answer = g_pause_answers.front();
  g_pause_answers.erase(g_pause_answers.begin());
  return answer;
}

TEST_F(SnareTest, MonitorGetsEveryLineAndCanPauseTheProgram) {
  const platform::WindowHandle monitor = fake::AddTopLevelWindow("Verdin Snare", &PausingMonitor);
  fake::SetVisibleProgramWindows({0x500});
  g_pause_answers = {1, 1, 0};
  snPUSH("Clearway", "Sub main", "()");
  std::vector<std::string> texts;
  std::vector<uintptr_t> pause_asks;
  for (const fake::SentMessage& m : fake::SentMessages()) {
    EXPECT_EQ(m.window, monitor);
    if (m.message == 0x000C) {
      texts.push_back(m.text);
      EXPECT_EQ(m.wparam, m.text.size());
    } else {
      EXPECT_EQ(m.message, 0x464u);
      pause_asks.push_back(m.wparam);
    }
  }
  EXPECT_EQ(texts,
            (std::vector<std::string>{"[Clearway] " + kStart + "\r\n",
                                      "[Clearway] [00001] [00000.000]->Clearway : Sub main\r\n"}));
  EXPECT_EQ(pause_asks, (std::vector<uintptr_t>{1, 2, 1, 2, 1}));
  EXPECT_EQ(fake::MessagePumps(), 2);
  ASSERT_EQ(fake::EnableWindowCalls().size(), 2u);
  EXPECT_FALSE(fake::EnableWindowCalls()[0].enable);
  EXPECT_TRUE(fake::EnableWindowCalls()[1].enable);
  EXPECT_EQ(fake::FileBytes("C:\\NOX\\error.log"), std::nullopt);
}

// ------------------------------------------------------ call-stack table

TEST_F(SnareTest, UnbalancedExitAbandonsTheNestingSilentlyOutsideTheDevelopmentEnvironment) {
  snPUSH("Clearway", "Sub main", "()");
  snPUSH("hide", "Sub A", "()");
  EXPECT_EQ(Snare().call_stack[2], " 2 : \thide : Sub A : ()");
  snPOP("hide", "Sub B", "()");
  EXPECT_EQ(Snare().level, 0);
  EXPECT_TRUE(fake::MessageBoxes().empty());
  snPUSH("hide", "Sub C", "()");
  EXPECT_EQ(Snare().call_stack[1], " 1 : hide : Sub C : ()");
}

TEST_F(SnareTest, UnbalancedExitInTheDevelopmentEnvironmentAsksToBreak) {
  fake::SetProgramFileName("C:\\VB\\vb5.exe");
  for (int answer : {platform::kIdCancel, platform::kIdOk}) {
    fake::QueueMessageBoxAnswer(answer);
    snPUSH("Clearway", "Sub main", "()");
    snPOP("Clearway", "Sub other", "()");
  }
  ASSERT_EQ(fake::MessageBoxes().size(), 2u);
  EXPECT_EQ(fake::MessageBoxes()[0].title, "SNVB100");
  EXPECT_EQ(fake::MessageBoxes()[0].flags, 0x31u);
  EXPECT_EQ(fake::MessageBoxes()[0].text,
            "Module    \tClearway\r\nProcedure\tSub other\r\n\r\n"
            "Procedure is unbalanced or contains calls to unbalanced routines. \r\n\r\n"
            "'snPOP()' was called without 'snPUSH()'. \r\n\r\n"
            "Choose OK break to VB.\r\nChoose CANCEL to continue with program.");
  EXPECT_EQ(fake::DebuggerBreaks(), 1);
}

TEST_F(SnareTest, LevelsPastTheTableAreCountedButNotRecorded) {
  fake::PutFile(kIni, "[preferences]\nSilent Run=1");
  for (int depth : {1001, 1500}) {
    SetUp();
    fake::PutFile(kIni, "[preferences]\nSilent Run=1");
    for (int i = 1; i <= depth; ++i)
      snPUSH("snaretry", "Sub Nest", "(depth=" + std::to_string(i) + ")");
    EXPECT_EQ(Snare().level, depth);
    EXPECT_EQ(Snare().call_stack.size(), 1001u);
    EXPECT_EQ(Snare().call_stack[1000].substr(0, 8), " 1000 : ");
    EXPECT_NE(Snare().call_stack[1000].find("(depth=1000)"), std::string::npos);
    snERROR("snaretry", "Sub Nest", TrappedError{5, "", "", 0, 20});
    EXPECT_EQ(Snare().snapshot.size(), 1001u);
    EXPECT_EQ(Snare().snapshot[0], " " + std::to_string(depth));
    EXPECT_EQ(Snare().context[0].module, "snaretry");
    for (int i = depth; i >= 1; --i) snPOP("snaretry", "Sub Nest", "()");
    EXPECT_EQ(Snare().level, 0) << depth;
    EXPECT_EQ(Snare().call_stack[1], "");
  }
}

// ------------------------------------------------------- error capture

TEST_F(SnareTest, ErrorLogOfALocalErrorByteForByte) {
  fake::PutFile(kIni, "[preferences]\nSilent Run=1\n[log file]\nWrite To Disk=1\nLog File=err.log");
  snPUSH("Clearway", "Sub main", "()");
  snPUSH("hidea", "Sub RegWrite", "(regline=x)");
  EXPECT_EQ(snERROR("hidea", "Sub RegWrite", TrappedError{53, "", "", 0, 20}), 0);
  EXPECT_EQ(File("C:\\NOX\\err.log"),
            kStart + "\r\n" + std::string(65, '*') + "\r\n" +
                "C:\\NOX\\Clearway ver 1.4.0\r\n"
                "Error Information\r\n"
                "Error 0\r\n" +
                kZone + "Category      File System (disk, directory or file) access error\r\n" +
                kZone + "Source        Clearway (local)\r\n" + kZone + "Module        hidea\r\n" +
                kZone + "Procedure     Sub RegWrite\r\n" + kZone + "Line Number   20\r\n" + kZone +
                "Error No.     53\r\n" + kZone +
                "Description   File not found\r\n"
                "\r\n"
                "\r\n"
                "Call Tree & Arguments\r\n" +
                kZone + " 1 : Call\tClearway : Sub main : ()\r\n" + kZone +
                " 2 : Call\t\thidea : Sub RegWrite : (regline=x)\r\n" + kZone +
                " 3 : Error\t\tRuntime error 53, File not found\r\n"
                "\r\n"
                "System State Information\r\n"
                "\r\n"
                "User Said\r\n" +
                kZone + "\r\n" + kStop + "\r\n");
  snERROR("hidea", "Sub RegWrite", TrappedError{70, "", "", 0, 21});
  const std::string log = File("C:\\NOX\\err.log");
  EXPECT_EQ(log.find(kStart), 0u);
  EXPECT_EQ(log.rfind(kStop), log.size() - kStop.size() - 2);
  EXPECT_NE(log.find("Runtime error 70, Permission denied"), std::string::npos);
  EXPECT_EQ(log.find(kStop), log.rfind(kStart) - kStop.size() - 2);  // two framed blocks
}

TEST_F(SnareTest, ErrorContextOfTrappedErrors) {
  struct Case {
    const char* module;  // the trapping routine
    const char* procedure;
    TrappedError error;
    const char *source, *module0, *procedure0, *category, *description;
    int number;
  };
  const Case cases[] = {
      {"hidea", "Sub RegWrite", Trap(11), "Clearway (local)", "hidea", "Sub RegWrite",
       "General run-time error", "Division by zero", 11},
      {"HIDEA ", "Sub RegWrite", Trap(70, "Other"), "Other (remote)", "hidea", "Sub RegWrite",
       "Network  error", "Permission denied", 70},
      {"hiddenmod", "Sub Hidden", Trap(336, "Clearway"), "Clearway (local)", "hiddenmod << hidea",
       "Sub Hidden << Sub RegWrite", "Form, control, property or object value error",
       "Application-defined or object-defined error", 336},
      {"hidea", "Sub RegWrite", Trap(99999), "Clearway (local)", "hidea", "Sub RegWrite",
       "User defined  error", "Application-defined or object-defined error", 99999},
      {"hidea", "Sub RegWrite", Trap(-2147221504 + 513), "Clearway (local)", "hidea",
       "Sub RegWrite", "Remote OLE Automation error",
       "Application-defined or object-defined error : Application-defined or object-defined error",
       513},
      {"hidea", "Sub RegWrite", Trap(-2147221504 + 53), "Clearway (local)", "hidea", "Sub RegWrite",
       "Remote OLE Automation error",
       "File not found : Application-defined or object-defined error", 53},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    SetUp();
    fake::PutFile(kIni, "[preferences]\nSilent Run=1");
    snPUSH("Clearway", "Sub main", "()");
    snPUSH("hidea", "Sub RegWrite", "()");
    snERROR(cases[i].module, cases[i].procedure, cases[i].error);
    const ErrorLevel& level0 = Snare().context[0];
    EXPECT_EQ(level0.source, cases[i].source) << i;
    EXPECT_EQ(level0.module, cases[i].module0) << i;
    EXPECT_EQ(level0.procedure, cases[i].procedure0) << i;
    EXPECT_EQ(level0.category, cases[i].category) << i;
    EXPECT_EQ(level0.description, cases[i].description) << i;
    EXPECT_EQ(level0.number, cases[i].number) << i;
    EXPECT_EQ(Snare().forwarded_levels, 0) << i;
    EXPECT_TRUE(fake::AllFiles() == std::vector<std::string>{kIni}) << i;  // silent: no log
  }
}

TEST_F(SnareTest, ErrorCategoriesFirstMatchWins) {
  const std::pair<int32_t, const char*> cases[] = {
      {11, "General run-time"},
      {53, "File System (disk, directory or file) access"},
      {70, "Network "},
      {336, "Form, control, property or object value"},
      {338, "Form, control, property or object value"},
      {440, "Object Linking and Embedding"},
      {3452, "Replication"},
      {3454, "Data Access"},
      {710, "Design-time"},
      {708, "File System (disk, directory or file) access"},
      {457, "ODBC"},
      {35600, "Windows 95 Custom Control"},
      {32767, "Custom Control or user defined"},
      {32766, "Common Dialog"},
      {0, "User defined "},
      {99999, "User defined "},
      {-5, "Remote OLE Automation"}};
  for (const auto& [number, name] : cases)
    EXPECT_EQ(pfCategoryName(pfCategory(number)), name) << number;
  EXPECT_EQ(pfCategoryName(1), "Unknown Error Class");
}

TEST_F(SnareTest, ForwardedErrorsChainTheirLevels) {
  fake::PutFile(kIni, "[preferences]\nSilent Run=1\n[log file]\nWrite To Disk=1");
  snPUSH("Clearway", "Sub main", "()");
  snPUSH("hidea", "Sub RegWrite", "()");
  snERROR("hidea", "Sub RegWrite",
          TrappedError{1234, "2!RemoteA!modA!Sub A!12!53!RemoteB!modB!Sub B!x!70", "", 0, 7});
  const SnareState& snare = Snare();
  ASSERT_EQ(snare.forwarded_levels, 2);
  EXPECT_EQ(snare.context[0].source, "Clearway (local) << RemoteB (remote) << RemoteA (remote)");
  EXPECT_EQ(snare.context[0].module, "hidea << modB << modA");
  EXPECT_EQ(snare.context[0].procedure, "Sub RegWrite << Sub B << Sub A");
  EXPECT_EQ(snare.context[0].description, "Remote Automation error");
  EXPECT_EQ(snare.context[0].category, "Object Linking and Embedding");
  EXPECT_EQ(snare.context[0].number, 440);
  EXPECT_EQ(snare.context[1].line, "<unknown>");
  EXPECT_EQ(snare.context[1].description, "Permission denied");
  EXPECT_EQ(snare.context[2].source, "RemoteA (remote)");
  EXPECT_EQ(snare.context[2].line, "12");
  const std::string log = File("C:\\NOX\\error.log");
  EXPECT_NE(log.find(kZone + " 2 : Call\t\thidea : Sub RegWrite : ()\r\n" + kZone +
                     " 3 : Trap\t\tRuntime error 70, Permission denied\r\n" + kZone +
                     " 4 : Trap\t\tRuntime error 53, File not found on line 12\r\n" + kZone +
                     " 5 : Error\t\tRuntime error 440, Remote Automation error\r\n"),
            std::string::npos)
      << log;
  EXPECT_NE(log.find("Error 2\r\n"), std::string::npos);
}

TEST_F(SnareTest, ForwardedSourceParsing) {
  struct Case {
    const char* source;
    size_t levels;
    const char* last_module;  // of the last element (level count)
    const char* first_line;   // of level 1
    int first_number;
  };
  const Case cases[] = {
      {"1!A!m!p!5!9", 1, "m", "5", 9},
      {"1!A", 1, "", "<unknown>", 0},
      {"1!A!m!p!-3!x", 1, "m", "<unknown>", 0},
      {"11!a!m1!p!1!1!b!m2!p!2!2", 10, "m1", "<unknown>", 0},
      {"0!A!m!p!5!9", 0, "", "", 0},
      {"!!!", 0, "", "", 0},
      {"2!A!m1!p!1!91!B!m2!p!99999999999!9999999999999", 2, "m1", "<unknown>", 0},
  };
  for (const Case& c : cases) {
    const std::vector<ForwardedLevel> levels = ParseForwardedSource(c.source);
    ASSERT_EQ(levels.size(), c.levels) << c.source;
    if (levels.empty()) continue;
    EXPECT_EQ(levels.back().module, c.last_module) << c.source;
    EXPECT_EQ(levels.front().line, c.first_line) << c.source;
    EXPECT_EQ(levels.front().number, c.first_number) << c.source;
  }
}

TEST_F(SnareTest, WithoutSettingsTheShownErrorIsLoggedInTheCurrentDirectory) {
  fake::SetCurrentDirectory("C:\\WORK");
  snPUSH("Clearway", "Sub main", "()");
  snERROR("Clearway", "Sub main", Trap(5));
  snERROR("Clearway", "Sub main", Trap(6));
  const std::string log = File("C:\\WORK\\snerror.log");
  EXPECT_NE(log.find("Runtime error 5, Invalid procedure call or argument"), std::string::npos);
  EXPECT_NE(log.find("Runtime error 6, Overflow"), std::string::npos);
  EXPECT_EQ(fake::AllFiles(), std::vector<std::string>{"C:\\WORK\\snerror.log"});
}

TEST_F(SnareTest, ErrorLineGoesToTheTraceSinks) {
  fake::PutFile(kIni,
                "[preferences]\nSilent Run=1\n[log file]\nWrite To Disk=1\nCapture To Disk=1");
  snPUSH("Clearway", "Sub main", "()");
  snERROR("Clearway", "Sub main", TrappedError{53, "", "", 0, 30});
  EXPECT_NE(File("C:\\NOX\\error.log")
                .find("[Clearway] ERROR 53 at Clearway : Sub main : Line 30 : File not found\r\n" +
                      kStart),
            std::string::npos);
}

}  // namespace
}  // namespace nox
