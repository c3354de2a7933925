// The instrumentation helper's handler, with the error dialog's answer
// scripted: this test program brings its own pfDialog and pfMail, so the
// trap's are not linked in.
#include "clearway/snare/traced_routine.h"

#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

#include "clearway/snare/snare_internal.h"
#include "common/runtime_error.h"
#include "platform/fake/fake_control.h"

namespace nox {

namespace {
std::deque<int16_t> g_dialog_answers;
int g_mails = 0;
}  // namespace

int16_t pfDialog() {
  if (g_dialog_answers.empty()) return 0;
  const int16_t answer = g_dialog_answers.front();
  g_dialog_answers.pop_front();
  return answer;
}

void pfMail() { ++g_mails; }

namespace {

namespace fake = platform::fake;

class TracedRoutineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fake::Reset();
    ResetSnare();
    g_dialog_answers.clear();
    g_mails = 0;
    fake::SetProgramFileName("C:\\NOX\\Clearway.exe");
  }
};

TEST(ArgumentListTest, JoinsNamesAndValues) {
  EXPECT_EQ(ArgumentList({}), "()");
  EXPECT_EQ(ArgumentList({{"scope", "1"}}), "(scope=1)");
  EXPECT_EQ(ArgumentList({{"regline", "a,b,c"}, {"regvalue", ""}, {"dwtype", "4"}}),
            "(regline=a,b,c, regvalue=, dwtype=4)");
}

// A routine of three statements whose second fails `failures` times.
struct Outcome {
  std::vector<std::string> statements;
  int traps = 0;
};

Outcome RunRoutine(int failures, TracedRoutine::OnError on_error = TracedRoutine::OnError::kTrap) {
  Outcome run;
  int left = failures;
  {
    TracedRoutine routine("hide", "Sub Three", on_error);
    routine.Do(10, [&] { run.statements.push_back("first"); });
    routine.Do(20, [&] {
      run.statements.push_back("second");
      if (left-- > 0) Raise(kErrFileNotFound);
    });
    routine.Do(30, [&] { run.statements.push_back("third"); });
    EXPECT_EQ(Snare().level, 1);
  }
  run.traps = Snare().context[0].number == 53 ? 1 : 0;
  return run;
}

TEST_F(TracedRoutineTest, HandlerActsOnTheReturnedCode) {
  struct Case {
    std::deque<int16_t> answers;
    int failures;
    std::vector<std::string> statements;
    int debugger_breaks;
  };
  const Case cases[] = {
      {{}, 0, {"first", "second", "third"}, 0},
      {{0}, 1, {"first", "second"}, 0},
      {{7}, 1, {"first", "second"}, 0},
      {{1}, 1, {"first", "second", "second", "third"}, 0},
      {{1, 1}, 2, {"first", "second", "second", "second", "third"}, 0},
      {{2}, 1, {"first", "second", "third"}, 0},
      {{5}, 1, {"first", "second", "second", "third"}, 1},
      {{5, 0}, 2, {"first", "second", "second"}, 1},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    SetUp();
    g_dialog_answers = cases[i].answers;
    const Outcome run = RunRoutine(cases[i].failures);
    EXPECT_EQ(run.statements, cases[i].statements) << i;
    EXPECT_EQ(fake::DebuggerBreaks(), cases[i].debugger_breaks) << i;
    EXPECT_EQ(Snare().level, 0) << i;  // the exit path ran
    EXPECT_EQ(Snare().context[0].line, cases[i].failures ? "20" : "") << i;
  }
}

TEST_F(TracedRoutineTest, ResumeNextPassesOverFailuresWithoutTrapping) {
  const Outcome run = RunRoutine(3, TracedRoutine::OnError::kResumeNext);
  EXPECT_EQ(run.statements, (std::vector<std::string>{"first", "second", "third"}));
  EXPECT_EQ(run.traps, 0);
  EXPECT_EQ(Snare().level, 0);
}

TEST_F(TracedRoutineTest, UnannouncedRoutineTrapsUnderTheInnermostAnnouncedOne) {
  fake::PutFile("C:\\NOX\\SNCLIENT.INI", "[email]\nAddress=admin@example.org");
  {
    TracedRoutine outer("snaretry", "Sub Nest", [] { return ArgumentList({{"depth", "1"}}); });
    outer.Do([] {
      TracedRoutine hidden = TracedRoutine::Unannounced("hiddenmod", "Sub Hidden");
      hidden.Do(20, [] { Raise(kErrPermissionDenied); });
    });
    EXPECT_EQ(Snare().level, 1);
  }
  EXPECT_EQ(Snare().level, 0);
  EXPECT_EQ(Snare().context[0].module, "hiddenmod << snaretry");
  EXPECT_EQ(Snare().context[0].procedure, "Sub Hidden << Sub Nest");
  EXPECT_EQ(g_mails, 1);
  // Shown (not silent) without Write To Disk: logged in the current directory.
  EXPECT_TRUE(fake::FileExists("C:\\NOX\\snerror.log"));
}

TEST_F(TracedRoutineTest, TheEndOfTheProgramLeavesNoExitBehind) {
  EXPECT_THROW(
      {
        TracedRoutine routine("Clearway", "Sub main");
        routine.Do([] { platform::EndProgram(0); });
      },
      fake::ProgramEnded);
  EXPECT_EQ(Snare().level, 1);
}

}  // namespace
}  // namespace nox
