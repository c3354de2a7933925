// The error dialog's form on the fake platform: filled from a trapped error,
// driven through its handlers.
#include "clearway/snare/frm_snare.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "clearway/snare/snare_internal.h"
#include "platform/fake/fake_control.h"

namespace nox {
namespace {

namespace fake = platform::fake;

constexpr const char* kIni = "C:\\NOX\\SNCLIENT.INI";

class FrmSnareTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fake::Reset();
    ResetSnare();
    fake::SetProgramFileName("C:\\NOX\\Clearway.exe");
  }
  // Traps `error` in Sub Inner under Sub main (the headless dialog answers at
  // once), leaving the trap's context for a fresh form.
  static void Trap(int32_t number, const std::string& source = "", int32_t line = 12) {
    snPUSH("Clearway", "Sub main", "()");
    snPUSH("hidea", "Sub Inner", "(x=1)");
    snERROR("hidea", "Sub Inner", TrappedError{number, source, "", 0, line});
  }
  static std::vector<std::string> VisibleButtons(const frmSNARE& form) {
    std::vector<std::string> shown;
    for (SnareControl button : {kVdCtrlContinue, kVdCtrlMore, kSnPrint, kVdHelp, kCmdWWW}) {
      if (form[button].visible) shown.push_back(form[button].text);
    }
    return shown;
  }
};

TEST_F(FrmSnareTest, SummaryNamesTheErrorInLowerCaseAndCountsTheLevels) {
  struct Case {
    const char* source;
    const char* summary;
  };
  const Case cases[] = {
      {"", "An unexpected 'file not found' error occured in Clearway.\r\n1 error(s) are logged."},
      {"1!Remote!rmod!Sub R!7!70",
       "An unexpected 'remote automation error' error occured in Clearway.\r\n2 error(s) are "
       "logged."},
      {"2!Far!m2!Sub F!7!53!Near!m1!Sub N!0!70",
       "An unexpected 'file not found' error occured in a component used by Clearway.\r\n"
       "3 error(s) are logged."},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    ResetSnare();
    Trap(53, cases[i].source);
    frmSNARE form;
    form.Fill();
    EXPECT_EQ(form[kLblErrCnt].text, cases[i].summary) << "case " << i;
  }
}

TEST_F(FrmSnareTest, ErrorListCountsDownAndShowsTheLastLevel) {
  Trap(53, "2!Far!m2!Sub F!7!53!Near!m1!Sub N!0!70");
  frmSNARE form;
  form.Fill();
  EXPECT_EQ(form[kErrText].items,
            (std::vector<std::string>{"Error 3 - Remote Automation error",
                                      "Error 2 - Permission denied", "Error 1 - File not found"}));
  EXPECT_EQ(form[kErrText].list_index, 2);
  EXPECT_EQ(form[kErrNo].text, "53 ");
  EXPECT_EQ(form[kErrModule].text, "m2 ");
  EXPECT_EQ(form[kErrProcedure].text, "Sub F ");
  EXPECT_EQ(form[kErrLine].text, "7 ");
  EXPECT_EQ(form[kErrProject].text, "Far (remote)");
  form.SelectErrorLevel(0);
  EXPECT_EQ(form[kErrNo].text, "440 ");
  EXPECT_EQ(form[kErrProject].text, "Clearway (local) << Near (remote) << Far (remote)");
  EXPECT_EQ(form[kErrType].text, "Object Linking and Embedding");
  form.SelectErrorLevel(1);
  EXPECT_EQ(form[kErrLine].text, "<unknown> ");
}

TEST_F(FrmSnareTest, LabelsAndAnUnnumberedLine) {
  Trap(5, "", 0);
  frmSNARE form;
  form.Fill();
  EXPECT_EQ(form.caption, "Program Error Intercepted");
  EXPECT_EQ(form[kErrLine].text, " line numbers not used - Code Pointer = 0");
  const std::pair<SnareControl, const char*> labels[] = {
      {kVdCtrlLabel1, "Module "},      {kVdCtrlLabel2, "Procedure "},
      {kVdCtrlLabel4, "Line Number "}, {kVdCtrlLabel5, "Error No. "},
      {kVdCtrlLabel6, "Description "}, {kVdCtrlLabel7, "Category "},
      {kVdCtrlProjLab, "Source "},     {kVdCtrlContinue, "&Continue"},
      {kVdCtrlMore, "&Break to"},      {kText1, "Type in what you where doing here."}};
  for (const auto& [control, text] : labels) EXPECT_EQ(form[control].text, text) << control;
  EXPECT_EQ(form[kErrModule].text, "hidea ");
  EXPECT_EQ(form[kErrType].text, "General run-time error");
}

TEST_F(FrmSnareTest, CallTreeSelectsTheRuntimeErrorLine) {
  Trap(53);
  frmSNARE form;
  form.Fill();
  EXPECT_EQ(form[kVdCtrlCalls].items,
            (std::vector<std::string>{" 1 : Call\tClearway : Sub main : ()",
                                      " 2 : Call\t\thidea : Sub Inner : (x=1)",
                                      " 3 : Error\t\tRuntime error 53, File not found"}));
  EXPECT_EQ(form[kVdCtrlCalls].list_index, 2);
}

TEST_F(FrmSnareTest, ViewsAndButtonsOfANormalRunAndOfTheDevelopmentEnvironment) {
  struct Case {
    const char* program;
    const char* ini;
    size_t views;
    int front;
    std::vector<std::string> buttons;
  };
  const Case cases[] = {
      {"C:\\NOX\\Clearway.exe", "", 1, 0, {"&Continue", "Print"}},
      {"C:\\NOX\\Clearway.exe",
       "[preferences]\r\nForce System Info=1\r\n",
       4,
       0,
       {"&Continue", "Print"}},
      {"C:\\NOX\\VB32.EXE", "", 4, 1, {"&Continue", "&Break to", "Print", "Help", "Check"}},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    fake::Reset();
    ResetSnare();
    fake::SetProgramFileName(cases[i].program);
    fake::PutFile(kIni, cases[i].ini);
    Trap(53);
    frmSNARE form;
    form.Fill();
    EXPECT_EQ(form[kCombo1].items.size(), cases[i].views) << "case " << i;
    EXPECT_EQ(form.front_panel, cases[i].front) << "case " << i;
    EXPECT_EQ(VisibleButtons(form), cases[i].buttons) << "case " << i;
  }
  frmSNARE form;
  form.Fill();
  EXPECT_EQ(form[kCombo1].items[3], "View local system information");
}

TEST_F(FrmSnareTest, ContinueStandsJustLeftOfPrintAndTheFormIsCentred) {
  Trap(53);
  frmSNARE form;
  form.Fill();
  const SnareRect& continue_rect = form[kVdCtrlContinue].rect;
  EXPECT_EQ(continue_rect.left + continue_rect.width, form[kSnPrint].rect.left - 10);
  EXPECT_EQ(form.left_twips, (12000 - form.width_twips) / 2);
  EXPECT_EQ(form.top_twips, (9000 - form.height_twips) / 2);
}

TEST_F(FrmSnareTest, UserTextIsTakenOnlyOnContinue) {
  Trap(53);
  frmSNARE first;
  first.run_modal = [](frmSNARE& form) {
    form.Form_Activate();
    EXPECT_TRUE(Snare().busy);
    EXPECT_EQ(form.focus, kText1);
    EXPECT_EQ(form[kText1].sel_length, 34);
    form[kText1].text = "I was saving the list";
    form.vdCtrlContinue_Click();
  };
  EXPECT_EQ(ShowSnareDialog(first), kActionLeave);
  EXPECT_EQ(Snare().user_text, "I was saving the list");
  EXPECT_FALSE(Snare().busy);
  frmSNARE second;
  second.run_modal = [](frmSNARE& form) {
    form[kText1].text = "not taken";
    form.vdCtrlMore_Click();
  };
  EXPECT_EQ(ShowSnareDialog(second), kActionBreakRetry);
  EXPECT_EQ(Snare().user_text, "I was saving the list");
}

TEST_F(FrmSnareTest, TheFrameCannotCloseTheShownForm) {
  Trap(53);
  frmSNARE form;
  form.run_modal = [](frmSNARE& shown) {
    EXPECT_TRUE(shown.Form_QueryUnload());
    shown.vdCtrlContinue_Click();
    EXPECT_FALSE(shown.Form_QueryUnload());
  };
  ShowSnareDialog(form);
}

TEST_F(FrmSnareTest, SystemReportOnActivationOrOnceForItsView) {
  fake::PutFile(kIni, "[preferences]\r\nDisplay Mode=1\r\nForce System Info=1\r\n");
  Trap(53);
  frmSNARE shown;
  shown.run_modal = [](frmSNARE& form) {
    form.Form_Activate();
    form.vdCtrlContinue_Click();
  };
  ShowSnareDialog(shown);
  EXPECT_EQ(Snare().system_text.substr(0, 13), "Application\r\n");
  EXPECT_NE(Snare().system_text.find("   Title.................Clearway\r\n"), std::string::npos);

  fake::PutFile(kIni, "[preferences]\r\nForce System Info=1\r\n");
  ResetSnare();
  Trap(53);
  frmSNARE form;
  form.Fill();
  EXPECT_EQ(form[kVdCtrlArgs].text, "");
  form[kCombo1].list_index = 3;
  form.Combo1_Click();
  EXPECT_TRUE(form.system_gathered);
  EXPECT_EQ(form.front_panel, 3);
  form[kVdCtrlArgs].text = "kept";
  form[kCombo1].list_index = 0;
  form.Combo1_Click();
  form[kCombo1].list_index = 3;
  form.Combo1_Click();
  EXPECT_EQ(form[kVdCtrlArgs].text, "kept") << "produced once per dialog";
}

TEST_F(FrmSnareTest, HintsGoToTheStatusLine) {
  const std::pair<int, const char*> cases[] = {
      {kTheForm, "Press 'Continue' to acknowledge this error and continue."},
      {kSnPrint, "Press to print this tabs data to the default printer."},
      {kVdCtrlLabel6, "A description of the error"},
      {kErrProject, "The error source"},
      {kErrLine, "The line number where the error happened"},
  };
  frmSNARE form;
  for (const auto& [control, hint] : cases) {
    form.MouseMove(control);
    EXPECT_EQ(form[kStatusLine].text, hint) << control;
  }
  form.MouseMove(kLblErrCnt);
  EXPECT_EQ(form[kStatusLine].text, "The line number where the error happened")
      << "a control without a hint leaves the last one";
}

TEST_F(FrmSnareTest, PrintingTheCurrentView) {
  fake::PutFile(kIni, "[preferences]\r\nForce System Info=1\r\n");
  Trap(53);
  frmSNARE form;
  form.Fill();
  form.snPrint_Click();
  EXPECT_TRUE(fake::PrintJobs().empty()) << "no printer: nothing printed, nothing shown";
  EXPECT_TRUE(fake::MessageBoxes().empty());
  fake::SetPrinterPresent(true);
  form[kText1].text = "line one\r\nline two";
  form.snPrint_Click();
  form.SelectView(1);
  form.snPrint_Click();
  form.SelectView(2);
  form.snPrint_Click();
  ASSERT_EQ(fake::PrintJobs().size(), 3u);
  EXPECT_EQ(fake::PrintJobs()[0].lines, (std::vector<std::string>{"line one", "line two"}));
  EXPECT_EQ(
      fake::PrintJobs()[1].lines,
      (std::vector<std::string>{"Category      File System (disk, directory or file) access error",
                                "Source        Clearway (local)", "Module        hidea ",
                                "Procedure     Sub Inner ", "Line Number   12 ",
                                "Error No.     53 ", "Description   Error 1 - File not found"}));
  EXPECT_EQ(fake::PrintJobs()[2].lines,
            (std::vector<std::string>{" 1 : Call\tClearway : Sub main : ()",
                                      " 2 : Call\t\thidea : Sub Inner : (x=1)"}));
  EXPECT_FALSE(form.hourglass);
}

TEST_F(FrmSnareTest, HelpAndTheHelpKey) {
  fake::SetProgramFileName("C:\\NOX\\VB32.EXE");
  snPUSH("Clearway", "Sub main", "()");
  snERROR("Clearway", "Sub main", TrappedError{53, "", "app.hlp", 77, 3});
  Snare().help_file = "prog.hlp";
  frmSNARE form;
  form.window = 42;
  form.run_modal = [](frmSNARE& shown) {
    EXPECT_EQ(Snare().help_file, "snare.hlp");
    shown.vdHelp_Click();
    shown.Form_HelpKey();
    shown.vdCtrlContinue_Click();
  };
  ShowSnareDialog(form);
  EXPECT_EQ(Snare().help_file, "prog.hlp") << "the application's help file is restored";
  ASSERT_EQ(fake::HelpCalls().size(), 2u);
  EXPECT_EQ(fake::HelpCalls()[0].owner, 0u);
  EXPECT_EQ(fake::HelpCalls()[0].file, "app.hlp");
  EXPECT_EQ(fake::HelpCalls()[0].context, 77u);
  EXPECT_EQ(fake::HelpCalls()[1].owner, 42u);
  EXPECT_EQ(fake::HelpCalls()[1].file, "snare.hlp");
  Snare().help_file.clear();
  form.Form_HelpKey();
  EXPECT_EQ(fake::HelpCalls().size(), 2u) << "no application help file: F1 shows nothing";
}

TEST_F(FrmSnareTest, KnowledgeBaseLookup) {
  fake::SetProgramFileName("C:\\NOX\\VB32.EXE");
  Trap(6);
  frmSNARE form;
  form.Fill();
  form.cmdWWW_Click();
  ASSERT_EQ(fake::MessageBoxes().size(), 1u);
  EXPECT_EQ(fake::MessageBoxes()[0].text, "Cannot find allmskb.txt -- assistance not available.");

  const std::string found =
      "The following knowledge base article(s) may contain information to assist you:\r\n";
  const std::string none =
      "No matching article was found. Try searching the knowledge base for the error number.";
  struct Case {
    const char* list;
    std::string result;
  };
  const Case cases[] = {
      {"Q100 PRB: Overflow in CInt()\r\nQ200 Other\r\nQ201 Overflow\r\n",
       found + "\r\n - Q100 PRB: Overflow in CInt()\r\n - Q201 Overflow"},
      {"Q300 error6 when converting\r\nQ400 ERROR 6 spaced\r\n",
       found + "\r\n - Q300 error6 when converting"},
      {"overflow\r\nOverflow-Q9 x\r\n", found + "\r\n - overflow"},  // no blank: the whole line
      {"Q500 nothing here\r\n", none},
      {"", none},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    fake::PutFile("C:\\WINDOWS\\allmskb.txt", cases[i].list);
    form.cmdWWW_Click();
    ASSERT_EQ(fake::MessageBoxes().size(), i + 2);
    EXPECT_EQ(fake::MessageBoxes().back().text, cases[i].result) << "case " << i;
    EXPECT_EQ(fake::MessageBoxes().back().title, "Snare");
    EXPECT_EQ(fake::MessageBoxes().back().flags, platform::kMbIconInformation);
  }
}

TEST_F(FrmSnareTest, CheckDoesNothingOutsideTheDevelopmentEnvironment) {
  Trap(53);
  frmSNARE form;
  form.Fill();
  form.cmdWWW_Click();
  EXPECT_TRUE(fake::MessageBoxes().empty());
}

TEST_F(FrmSnareTest, LongTextsAndElevenLevelsFillTheForm) {
  std::string source = "10";
  for (int k = 0; k < 10; ++k) source += "!" + std::string(5000, 'S') + "!m!p!1!53";
  Trap(53, source);
  frmSNARE form;
  form.Fill();
  EXPECT_EQ(form[kErrText].items.size(), 11u);
  EXPECT_EQ(form[kErrText].items.front(), "Error 11 - Remote Automation error");
  EXPECT_EQ(form[kLblErrCnt].text.substr(form[kLblErrCnt].text.size() - 23),
            "11 error(s) are logged.");
}

}  // namespace
}  // namespace nox
