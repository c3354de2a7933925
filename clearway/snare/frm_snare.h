// frmSNARE: the error dialog's state and handlers.
//
// The class holds the form's plain controls; its handlers are the whole
// behaviour. The Win32 window (win32/snare_window.cpp) creates the real
// controls from the positions below, copies texts in and out around each
// handler and runs the modal loop; tests call the handlers directly on the
// fake platform.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace nox {

// Control positions in twips (left, top, width, height).
struct SnareRect {
  int left, top, width, height;
};

enum SnareControl : int {
  kLblErrCnt,
  kCombo1,
  kText1,
  kVdCtrlLabel1,
  kErrModule,
  kVdCtrlLabel2,
  kErrProcedure,
  kVdCtrlLabel4,
  kErrLine,
  kVdCtrlLabel5,
  kErrNo,
  kVdCtrlLabel6,
  kErrText,
  kVdCtrlLabel7,
  kErrType,
  kVdCtrlProjLab,
  kErrProject,
  kVdCtrlCalls,
  kVdCtrlArgs,
  kVdCtrlContinue,
  kVdCtrlMore,
  kSnPrint,
  kVdHelp,
  kCmdWWW,
  kStatusLine,  // where UpdateStatusBar shows its hint
  kSnareControlCount,
  kTheForm = kSnareControlCount,  // the form itself, for hints
};

// One control of any kind: its text (caption, text or selected item), list
// items with the selected index, selection of a text box, visibility.
struct SnareControlState {
  std::string text;
  std::vector<std::string> items;
  int list_index = -1;
  int sel_start = 0;
  int sel_length = 0;
  bool visible = true;
  SnareRect rect{};
};

inline constexpr int kSnareClientWidth = 7200;
inline constexpr int kSnareClientHeight = 5355;
// The view a control belongs to (its panel), -1 for controls on every view.
int SnareControlView(SnareControl control);
// The hint UpdateStatusBar gets for the control under the mouse ("" none).
std::string SnareHint(int control);

class frmSNARE {
 public:
  frmSNARE();

  std::array<SnareControlState, kSnareControlCount> controls;
  SnareControlState& operator[](SnareControl control) { return controls[control]; }
  const SnareControlState& operator[](SnareControl control) const { return controls[control]; }

  std::string caption;
  bool visible = false;
  double left_twips = 0, top_twips = 0;
  double width_twips = kSnareClientWidth, height_twips = kSnareClientHeight;
  int front_panel = 0;           // the view whose panel is in front
  bool system_gathered = false;  // the system report has been produced
  bool hourglass = false;
  int focus = -1;  // the SnareControl with the focus, -1 none
  // The current help reference: the shown error level's.
  std::string help_file;
  int32_t help_context = 0;
  platform::WindowHandle window = 0;  // the real window, 0 on the fake

  // Set by the window: runs the modal loop until the form is hidden (empty:
  // no window, the form is hidden at once); lets waiting messages through;
  // sends the controls' state to the window.
  std::function<void(frmSNARE&)> run_modal;
  std::function<void()> do_events;

  // ----------------------------------------------------------- handlers
  void Form_Load();
  void Form_Activate();
  void Combo1_Click();
  void errText_Click();
  void vdCtrlContinue_Click();
  void vdCtrlMore_Click();
  void snPrint_Click();
  void vdHelp_Click();
  void cmdWWW_Click();
  // F1 anywhere on the form.
  void Form_HelpKey();
  // Closing through the window frame: true when the close is refused.
  bool Form_QueryUnload() const { return visible; }
  void MouseMove(int control) { UpdateStatusBar(SnareHint(control)); }
  void UpdateStatusBar(const std::string& hint);

  // pfDialog's filling of the form from the error context (steps before
  // showing it).
  void Fill();
  // The system information report into vdCtrlArgs.
  void ProduceSystemReport();
  // The Windows directory.
  std::string pfSys() const;

  // The knowledge-base lookup's message for the list's content.
  std::string KnowledgeBaseResult(const std::string& list) const;

  void SelectErrorLevel(int index);
  void SelectView(int view);

 private:
  void ArrangeForDevelopment();
  void ArrangeForNormalRun();
  std::string SummaryText() const;
  void FillErrorList();
  void FillCallTree();
  void Centre();
  void Hide();
  void SetLevelFields(int level);
  std::vector<std::string> PrintedLines() const;
};

// pfDialog on a given form: fills it, shows it modally through its
// run_modal, copies the user's answer back; the dialog result.
int16_t ShowSnareDialog(frmSNARE& form);

// Binds the form to a real window (Win32) or to none.
void BindSnareWindow(frmSNARE& form);

}  // namespace nox
