#include "clearway/snare/frm_snare.h"

#include <algorithm>
#include <exception>

#include "clearway/snare/snare_internal.h"
#include "clearway/snare/system_report.h"
#include "common/ansi_text.h"
#include "common/runtime_error.h"
#include "common/vb_number.h"

namespace nox {

namespace {

constexpr const char* kCrLf = "\r\n";
constexpr const char* kUserTextPrompt = "Type in what you where doing here.";
constexpr const char* kNoLineNumbers = " line numbers not used - Code Pointer = ";
constexpr const char* kDevelopmentHelpFile = "snare.hlp";
constexpr int kButtonGap = 10;

const char* const kViews[] = {
    "To help resolve the problem, please enter what you were doing.",
    "View detailed information about the error source",
    "View error context and procedure trace",
    "View local system information",
};

// Layout in twips: the summary and the view list on top, the views' panels
// in one place below, the buttons and the status line at the bottom.
constexpr int kMargin = 120;
constexpr int kInner = kSnareClientWidth - 2 * kMargin;
constexpr int kPanelTop = 1290;
constexpr int kPanelHeight = 3000;
constexpr int kLabelWidth = 1500;
constexpr int kRow = 420;
constexpr int kButtonTop = 4440;
constexpr int kButtonWidth = 1140;
constexpr int kButtonHeight = 390;
constexpr int kButtonStep = 1260;

constexpr SnareRect Row(int row, bool value) {
  return value ? SnareRect{kMargin + kLabelWidth + 60, kPanelTop + row * kRow,
                           kInner - kLabelWidth - 60, 315}
               : SnareRect{kMargin, kPanelTop + row * kRow + 30, kLabelWidth, 255};
}

constexpr SnareRect Button(int index) {
  return {kMargin + index * kButtonStep, kButtonTop, kButtonWidth, kButtonHeight};
}

constexpr std::array<SnareRect, kSnareControlCount> kRects = {{
    {kMargin, kMargin, kInner, 600},             // lblErrCnt
    {kMargin, 810, kInner, 315},                 // Combo1
    {kMargin, kPanelTop, kInner, kPanelHeight},  // Text1
    Row(0, false),
    Row(0, true),  // Module
    Row(1, false),
    Row(1, true),  // Procedure
    Row(2, false),
    Row(2, true),  // Line Number
    Row(3, false),
    Row(3, true),  // Error No.
    Row(4, false),
    Row(4, true),  // Description
    Row(5, false),
    Row(5, true),  // Category
    Row(6, false),
    Row(6, true),                                // Source
    {kMargin, kPanelTop, kInner, kPanelHeight},  // vdCtrlCalls
    {kMargin, kPanelTop, kInner, kPanelHeight},  // vdCtrlArgs
    Button(0),
    Button(1),
    Button(2),
    Button(3),
    Button(4),
    {kMargin, 4980, kInner, 255},  // status line
}};

std::string Lower(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

std::string Upper(std::string text) {
  for (char& c : text) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return text;
}

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (end < text.size() || !line.empty()) lines.push_back(line);
    start = end + 1;
  }
  return lines;
}

// A form event ignores its own errors.
template <typename Step>
void Ignoring(Step&& step) {
  try {
    step();
  } catch (const std::exception&) {
  }
}

// A label and its value on one printed line: the label in a zone of 14.
std::string PrintedPair(const std::string& label, const std::string& value) {
  std::string line = label;
  line.resize(std::max<size_t>(14, label.size() + 1), ' ');
  return line + value;
}

}  // namespace

int SnareControlView(SnareControl control) {
  if (control == kText1) return 0;
  if (control >= kVdCtrlLabel1 && control <= kErrProject) return 1;
  if (control == kVdCtrlCalls) return 2;
  if (control == kVdCtrlArgs) return 3;
  return -1;
}

std::string SnareHint(int control) {
  switch (control) {
    case kTheForm:
      return "Press 'Continue' to acknowledge this error and continue.";
    case kVdCtrlContinue:
      return "Press to acknowledge this error and continue.";
    case kVdCtrlMore:
      return "Press to break to design-mode in this procedure.";
    case kSnPrint:
      return "Press to print this tabs data to the default printer.";
    case kVdHelp:
      return "Press to show detailed help about this error.";
    case kCmdWWW:
      return "Press to search the Microsoft Internet Knowledge Base for any relation to this "
             "error.";
    case kErrModule:
    case kVdCtrlLabel1:
      return "The error module";
    case kErrProcedure:
    case kVdCtrlLabel2:
      return "The error procedure";
    case kErrLine:
    case kVdCtrlLabel4:
      return "The line number where the error happened";
    case kErrNo:
    case kVdCtrlLabel5:
      return "The error number";
    case kVdCtrlLabel6:
      return "A description of the error";
    case kErrType:
    case kVdCtrlLabel7:
      return "The error category";
    case kErrProject:
    case kVdCtrlProjLab:
      return "The error source";
    default:
      return "";
  }
}

frmSNARE::frmSNARE() {
  for (int k = 0; k < kSnareControlCount; ++k) controls[k].rect = kRects[k];
}

std::string frmSNARE::pfSys() const { return platform::WindowsDirectory(); }

void frmSNARE::Centre() {
  double screen_width = 0;
  double screen_height = 0;
  platform::ScreenSizeTwips(&screen_width, &screen_height);
  left_twips = std::max(0.0, (screen_width - width_twips) / 2);
  top_twips = std::max(0.0, (screen_height - height_twips) / 2);
}

void frmSNARE::Hide() {
  visible = false;
  Snare().busy = false;
}

void frmSNARE::Form_Load() {
  caption = pfMsg(34);
  (*this)[kVdCtrlLabel1].text = TrimBlanks(pfMsg(19)) + " ";
  (*this)[kVdCtrlLabel2].text = TrimBlanks(pfMsg(30)) + " ";
  (*this)[kVdCtrlLabel4].text = pfMsg(35);
  (*this)[kVdCtrlLabel5].text = pfMsg(36);
  (*this)[kVdCtrlLabel6].text = pfMsg(37);
  (*this)[kVdCtrlLabel7].text = pfMsg(38);
  (*this)[kVdCtrlProjLab].text = pfMsg(61);
  (*this)[kVdCtrlContinue].text = pfMsg(42);
  (*this)[kVdCtrlMore].text = pfMsg(44);
  (*this)[kSnPrint].text = "Print";
  (*this)[kVdHelp].text = "Help";
  (*this)[kCmdWWW].text = "Check";
  Centre();
  (*this)[kCombo1].items.assign(std::begin(kViews), std::end(kViews));
}

void frmSNARE::ArrangeForDevelopment() {
  SelectView(1);
  Centre();
  (*this)[kVdHelp].visible = true;
  (*this)[kVdHelp].text = "Help";
  Snare().help_file = kDevelopmentHelpFile;
  (*this)[kCmdWWW].visible = true;
}

void frmSNARE::ArrangeForNormalRun() {
  if (!Snare().settings.force_system_info) (*this)[kCombo1].items.resize(1);
  SelectView(0);
  (*this)[kVdCtrlMore].visible = false;
  SnareRect& continue_rect = (*this)[kVdCtrlContinue].rect;
  continue_rect.left = (*this)[kSnPrint].rect.left - kButtonGap - continue_rect.width;
  Centre();
  (*this)[kVdHelp].visible = false;
  (*this)[kCmdWWW].visible = false;
}

std::string frmSNARE::SummaryText() const {
  const SnareState& snare = Snare();
  const int forwarded = snare.forwarded_levels;
  const ErrorLevel& summarised = snare.context[forwarded < 2 ? 0 : forwarded];
  const std::string where =
      forwarded < 2 ? snare.executable_name : "a component used by " + snare.executable_name;
  return "An unexpected '" + Lower(summarised.description) + "' error occured in " + where + ".";
}

void frmSNARE::FillErrorList() {
  const SnareState& snare = Snare();
  SnareControlState& levels = (*this)[kErrText];
  levels.items.clear();
  for (int k = 0; k <= snare.forwarded_levels; ++k) {
    levels.items.push_back("Error " + std::to_string(snare.forwarded_levels - k + 1) + " - " +
                           snare.context[k].description);
  }
  SelectErrorLevel(0);
}

void frmSNARE::FillCallTree() {
  SnareControlState& calls = (*this)[kVdCtrlCalls];
  calls.items = CallTreeLines(Snare());
  const auto error_line = std::find_if(
      calls.items.begin(), calls.items.end(),
      [](const std::string& line) { return line.find("Runtime error") != std::string::npos; });
  if (error_line != calls.items.end()) {
    calls.list_index = static_cast<int>(error_line - calls.items.begin());
  }
}

void frmSNARE::Fill() {
  const SnareState& snare = Snare();
  Form_Load();
  (*this)[kErrType].text = snare.context[0].category;
  (*this)[kVdCtrlCalls].items.clear();
  if (snare.in_development_environment) {
    ArrangeForDevelopment();
  } else {
    ArrangeForNormalRun();
  }
  const std::string summary = SummaryText();
  (*this)[kText1].text = kUserTextPrompt;
  SetLevelFields(0);
  FillErrorList();
  const size_t count = (*this)[kErrText].items.size();
  (*this)[kLblErrCnt].text = summary + kCrLf + std::to_string(count) + " error(s) are logged.";
  FillCallTree();
  SelectErrorLevel(static_cast<int>(count) - 1);
  help_file = snare.context[0].help_file;
  help_context = snare.context[0].help_context;
}

void frmSNARE::Form_Activate() {
  Ignoring([&] {
    Snare().busy = true;
    if (do_events) do_events();
    focus = kText1;
    (*this)[kText1].sel_start = 0;
    (*this)[kText1].sel_length = static_cast<int>((*this)[kText1].text.size());
    if (Snare().settings.display_mode != 0) ProduceSystemReport();
  });
}

void frmSNARE::SelectView(int view) {
  SnareControlState& combo = (*this)[kCombo1];
  if (view < 0 || view >= static_cast<int>(combo.items.size())) return;
  combo.list_index = view;
  combo.text = combo.items[view];
  Combo1_Click();
}

void frmSNARE::Combo1_Click() {
  Ignoring([&] {
    const int view = (*this)[kCombo1].list_index;
    if (view < 0 || view > 3) return;
    front_panel = view;
    if (view == 0) {
      (*this)[kText1].sel_start = 0;
      (*this)[kText1].sel_length = static_cast<int>((*this)[kText1].text.size());
      focus = kText1;
    }
    if (view == 3 && !system_gathered) ProduceSystemReport();
  });
}

void frmSNARE::ProduceSystemReport() {
  hourglass = true;
  system_gathered = true;
  std::string& text = (*this)[kVdCtrlArgs].text;
  text.clear();
  for (const std::string& line : SystemReportLines()) text += line + kCrLf;
  (*this)[kVdCtrlArgs].sel_start = 0;
  (*this)[kVdCtrlArgs].sel_length = 0;
  hourglass = false;
}

void frmSNARE::SelectErrorLevel(int index) {
  SnareControlState& levels = (*this)[kErrText];
  if (index < 0 || index >= static_cast<int>(levels.items.size())) return;
  levels.list_index = index;
  levels.text = levels.items[index];
  errText_Click();
}

void frmSNARE::SetLevelFields(int level) {
  const SnareState& snare = Snare();
  const ErrorLevel& error = snare.context[level];
  (*this)[kErrType].text = error.category;
  (*this)[kErrNo].text = std::to_string(error.number) + " ";
  (*this)[kErrModule].text = error.module + " ";
  (*this)[kErrProject].text = error.source;
  (*this)[kErrProcedure].text = error.procedure + " ";
  (*this)[kErrLine].text = error.line == "0"
                               ? kNoLineNumbers + std::to_string(snare.current_code_pointer)
                               : error.line + " ";
  help_file = error.help_file;
  help_context = error.help_context;
}

void frmSNARE::errText_Click() {
  Ignoring([&] {
    const int level = (*this)[kErrText].list_index;
    if (level >= 0 && level < kErrorLevels) SetLevelFields(level);
  });
}

void frmSNARE::vdCtrlContinue_Click() {
  Snare().dialog_result = kActionLeave;
  Snare().user_text = (*this)[kText1].text;
  Hide();
}

void frmSNARE::vdCtrlMore_Click() {
  Snare().dialog_result = kActionBreakRetry;
  Hide();
}

std::vector<std::string> frmSNARE::PrintedLines() const {
  switch (front_panel) {
    case 0:
      return SplitLines((*this)[kText1].text);
    case 1: {
      const std::pair<SnareControl, SnareControl> pairs[] = {
          {kVdCtrlLabel7, kErrType},   {kVdCtrlProjLab, kErrProject},
          {kVdCtrlLabel1, kErrModule}, {kVdCtrlLabel2, kErrProcedure},
          {kVdCtrlLabel4, kErrLine},   {kVdCtrlLabel5, kErrNo},
          {kVdCtrlLabel6, kErrText}};
      std::vector<std::string> lines;
      for (const auto& [label, value] : pairs) {
        lines.push_back(PrintedPair((*this)[label].text, (*this)[value].text));
      }
      return lines;
    }
    case 2: {
      const SnareControlState& calls = (*this)[kVdCtrlCalls];
      const size_t end = std::min<size_t>(std::max(calls.list_index, 0), calls.items.size());
      return {calls.items.begin(), calls.items.begin() + end};
    }
    default:
      return SplitLines((*this)[kVdCtrlArgs].text);
  }
}

void frmSNARE::snPrint_Click() {
  Ignoring([&] {
    hourglass = true;
    // Without a printer the printout is lost: nothing to tell the user.
    platform::PrintLines(caption, PrintedLines());
    hourglass = false;
  });
  hourglass = false;
}

void frmSNARE::vdHelp_Click() {
  Ignoring([&] {
    if (help_file.empty()) errText_Click();
    platform::ShowHelpContext(0, help_file, static_cast<uint32_t>(help_context));
  });
}

void frmSNARE::Form_HelpKey() {
  // No control of this form carries a help context of its own; without an
  // application help file F1 has nothing to show.
  Ignoring([&] {
    if (!Snare().help_file.empty()) platform::ShowHelpContext(window, Snare().help_file, 0);
  });
}

void frmSNARE::UpdateStatusBar(const std::string& hint) {
  if (!hint.empty()) (*this)[kStatusLine].text = hint;
}

std::string frmSNARE::KnowledgeBaseResult(const std::string& list) const {
  const std::string number_text = (*this)[kErrNo].text;
  const std::string standard = Upper(StandardErrorText(ReadInt32(number_text)));
  const std::string numbered = "ERROR" + Upper(number_text);
  std::string found;
  for (const std::string& line : SplitLines(list)) {
    const size_t blank = line.find(' ');
    const std::string title = Upper(blank == std::string::npos ? line : line.substr(blank + 1));
    const bool matches = (!standard.empty() && title.find(standard) != std::string::npos) ||
                         title.find(numbered) != std::string::npos;
    if (matches) found += std::string(kCrLf) + " - " + line;
  }
  if (found.empty())
    return "No matching article was found. Try searching the knowledge base for the error number.";
  return "The following knowledge base article(s) may contain information to assist you:" +
         std::string(kCrLf) + found;
}

void frmSNARE::cmdWWW_Click() {
  Ignoring([&] {
    if (!Snare().in_development_environment) return;
    std::string list;
    if (platform::ReadWholeFile(pfSys() + "\\allmskb.txt", &list) != platform::kSuccess) {
      platform::MessageBox("Cannot find allmskb.txt -- assistance not available.", "Snare",
                           platform::kMbOk);
      return;
    }
    hourglass = true;
    const std::string result = KnowledgeBaseResult(list);
    hourglass = false;
    platform::MessageBox(result, "Snare", platform::kMbIconInformation);
  });
  hourglass = false;
}

int16_t ShowSnareDialog(frmSNARE& form) {
  SnareState& snare = Snare();
  const std::string application_help = snare.help_file;
  form.Fill();
  // A form hidden other than by its buttons answers Continue.
  snare.dialog_result = kActionLeave;
  form.visible = true;
  if (form.run_modal) form.run_modal(form);
  form.visible = false;
  const int16_t result = snare.dialog_result;
  snare.help_file = application_help;
  snare.system_text = form[kVdCtrlArgs].text;
  return result;
}

}  // namespace nox
