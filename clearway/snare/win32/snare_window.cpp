// The real frmSNARE window: Win32 controls at the form's twip positions,
// bound to a frmSNARE whose handlers do all the work, shown modally over the
// program's other windows.
#include <array>
#include <exception>
#include <string>
#include <vector>

#include "clearway/snare/frm_snare.h"
#include "platform/win32/scoped_handles.h"
#include "platform/win32/win32_api.h"

namespace nox {
namespace {

constexpr int kTwipsPerPixel = 15;
constexpr const char* kWindowClass = "NoxSnareForm";
constexpr int kFirstControlId = 1000;
constexpr int kDropDownPixels = 120;  // the open list of a drop-down
constexpr DWORD kWindowStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
constexpr DWORD kWindowExStyle = WS_EX_DLGMODALFRAME;

int Pixels(double twips) { return static_cast<int>(twips / kTwipsPerPixel); }

// Continue carries the id Enter sends, so Enter in the form is Continue.
int ControlId(int control) { return control == kVdCtrlContinue ? IDOK : kFirstControlId + control; }

struct ControlKind {
  const char* window_class;
  DWORD style;
  DWORD ex_style;
};

ControlKind KindOf(int control) {
  constexpr DWORD kLabel = SS_LEFT | SS_NOTIFY;
  constexpr DWORD kDropDown = CBS_DROPDOWNLIST | CBS_HASSTRINGS | WS_VSCROLL | WS_TABSTOP;
  switch (control) {
    case kCombo1:
    case kErrText:
      return {"COMBOBOX", kDropDown, 0};
    case kText1:
      // No ES_WANTRETURN: Enter presses Continue, Ctrl+Enter starts a line.
      return {"EDIT", ES_MULTILINE | ES_AUTOVSCROLL | WS_VSCROLL | WS_TABSTOP, WS_EX_CLIENTEDGE};
    case kErrType:
    case kErrProject:
      return {"EDIT", ES_AUTOHSCROLL | ES_READONLY | WS_TABSTOP, WS_EX_CLIENTEDGE};
    case kVdCtrlCalls:
      return {"LISTBOX", LBS_NOTIFY | LBS_HASSTRINGS | WS_VSCROLL | WS_HSCROLL | WS_TABSTOP,
              WS_EX_CLIENTEDGE};
    case kVdCtrlArgs:
      return {"EDIT",
              ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL | ES_AUTOHSCROLL | WS_VSCROLL |
                  WS_HSCROLL | WS_TABSTOP,
              WS_EX_CLIENTEDGE};
    case kVdCtrlContinue:
      return {"BUTTON", BS_DEFPUSHBUTTON | WS_TABSTOP, 0};
    case kVdCtrlMore:
    case kSnPrint:
    case kVdHelp:
    case kCmdWWW:
      return {"BUTTON", BS_PUSHBUTTON | WS_TABSTOP, 0};
    case kStatusLine:
      return {"STATIC", SS_LEFTNOWORDWRAP | SS_SUNKEN, 0};
    default:
      return {"STATIC", kLabel, 0};
  }
}

// The program's other windows take no input while the dialog is up.
class DisabledOwners {
 public:
  DisabledOwners() {
    for (platform::WindowHandle window : platform::VisibleProgramWindows()) {
      if (IsWindowEnabled(reinterpret_cast<HWND>(window))) {
        platform::EnableWindow(window, false);
        windows_.push_back(window);
      }
    }
  }
  ~DisabledOwners() {
    for (platform::WindowHandle window : windows_) platform::EnableWindow(window, true);
  }
  DisabledOwners(const DisabledOwners&) = delete;
  DisabledOwners& operator=(const DisabledOwners&) = delete;

 private:
  std::vector<platform::WindowHandle> windows_;
};

class SnareWindow {
 public:
  explicit SnareWindow(frmSNARE* form)
      : form_(form),
        fixed_font_(CreateFontA(0, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, ANSI_CHARSET,
                                OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                                FIXED_PITCH | FF_MODERN, "Fixedsys")) {}
  ~SnareWindow() {
    if (hwnd_ != nullptr) DestroyWindow(hwnd_);
    form_->do_events = nullptr;
    form_->window = 0;
  }
  SnareWindow(const SnareWindow&) = delete;
  SnareWindow& operator=(const SnareWindow&) = delete;

  void RunModal();

 private:
  bool Create();
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
  LRESULT Handle(UINT message, WPARAM wparam, LPARAM lparam);
  bool HandleCommand(int id, int code);

  HWND Control(int control) const { return GetDlgItem(hwnd_, ControlId(control)); }
  int ControlOf(HWND child) const;
  std::string TextOf(int control) const;
  void PushToControls();
  void PushList(int control);
  void PullFromControls();
  template <typename Handler>
  void RunHandler(Handler&& handler);
  void ProcessPendingMessages();
  bool Dispatch(MSG& message);

  frmSNARE* form_;
  platform::win32::ScopedFont fixed_font_;
  HWND hwnd_ = nullptr;
  bool syncing_ = false;
  std::array<std::vector<std::string>, kSnareControlCount> pushed_items_;
};

bool SnareWindow::Create() {
  HINSTANCE instance = GetModuleHandleA(nullptr);
  WNDCLASSA window_class = {};
  window_class.lpfnWndProc = &SnareWindow::WindowProc;
  window_class.hInstance = instance;
  window_class.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
  window_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  window_class.lpszClassName = kWindowClass;
  // Registered once per process: every trapped error makes a new window.
  if (RegisterClassA(&window_class) == 0 && GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
    return false;

  RECT outer = {0, 0, Pixels(kSnareClientWidth), Pixels(kSnareClientHeight)};
  AdjustWindowRectEx(&outer, kWindowStyle, FALSE, kWindowExStyle);
  const int width = outer.right - outer.left;
  const int height = outer.bottom - outer.top;
  const int left = (GetSystemMetrics(SM_CXSCREEN) - width) / 2;
  const int top = (GetSystemMetrics(SM_CYSCREEN) - height) / 2;
  form_->width_twips = width * kTwipsPerPixel;
  form_->height_twips = height * kTwipsPerPixel;
  hwnd_ = CreateWindowExA(kWindowExStyle, kWindowClass, form_->caption.c_str(), kWindowStyle,
                          left > 0 ? left : 0, top > 0 ? top : 0, width, height, nullptr, nullptr,
                          instance, this);
  if (hwnd_ == nullptr) return false;
  form_->window = reinterpret_cast<platform::WindowHandle>(hwnd_);

  HGDIOBJ font = GetStockObject(DEFAULT_GUI_FONT);
  for (int control = 0; control < kSnareControlCount; ++control) {
    const ControlKind kind = KindOf(control);
    const SnareRect& rect = form_->controls[control].rect;
    const bool drop_down = std::string(kind.window_class) == "COMBOBOX";
    HWND child = CreateWindowExA(kind.ex_style, kind.window_class, "", WS_CHILD | kind.style,
                                 Pixels(rect.left), Pixels(rect.top), Pixels(rect.width),
                                 Pixels(rect.height) + (drop_down ? kDropDownPixels : 0), hwnd_,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(ControlId(control))),
                                 instance, nullptr);
    if (child == nullptr) return false;
    const bool fixed = control == kVdCtrlArgs && fixed_font_.get() != nullptr;
    SendMessageA(child, WM_SETFONT, reinterpret_cast<WPARAM>(fixed ? fixed_font_.get() : font),
                 FALSE);
    // Texts of any length: the edit controls' default limit is far too small.
    if (std::string(kind.window_class) == "EDIT") SendMessageA(child, EM_SETLIMITTEXT, 0, 0);
  }
  return true;
}

void SnareWindow::RunModal() {
  if (!Create()) return;
  form_->do_events = [this] {
    PushToControls();
    ProcessPendingMessages();
  };
  const DisabledOwners owners;
  PushToControls();
  ShowWindow(hwnd_, SW_SHOWNORMAL);
  SetForegroundWindow(hwnd_);
  RunHandler([&] { form_->Form_Activate(); });
  MSG message;
  while (form_->visible) {
    const BOOL got = GetMessageA(&message, nullptr, 0, 0);
    if (got <= 0) {
      // The program is ending: let the outer loop see the quit as well.
      if (got == 0) PostQuitMessage(static_cast<int>(message.wParam));
      break;
    }
    Dispatch(message);
  }
  ShowWindow(hwnd_, SW_HIDE);
}

bool SnareWindow::Dispatch(MSG& message) {
  if (message.message == WM_KEYDOWN && message.wParam == VK_F1 &&
      (message.hwnd == hwnd_ || IsChild(hwnd_, message.hwnd))) {
    RunHandler([&] { form_->Form_HelpKey(); });
    return true;
  }
  if (IsDialogMessageA(hwnd_, &message)) return true;
  TranslateMessage(&message);
  DispatchMessageA(&message);
  return true;
}

LRESULT CALLBACK SnareWindow::WindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTA*>(lparam);
    SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* self = reinterpret_cast<SnareWindow*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
  if (self == nullptr || self->hwnd_ != hwnd) return DefWindowProcA(hwnd, message, wparam, lparam);
  return self->Handle(message, wparam, lparam);
}

bool SnareWindow::HandleCommand(int id, int code) {
  if (syncing_) return false;
  const auto clicked = [&](int control) { return id == ControlId(control) && code == BN_CLICKED; };
  if (clicked(kVdCtrlContinue)) {
    RunHandler([&] { form_->vdCtrlContinue_Click(); });
  } else if (clicked(kVdCtrlMore)) {
    RunHandler([&] { form_->vdCtrlMore_Click(); });
  } else if (clicked(kSnPrint)) {
    RunHandler([&] { form_->snPrint_Click(); });
  } else if (clicked(kVdHelp)) {
    RunHandler([&] { form_->vdHelp_Click(); });
  } else if (clicked(kCmdWWW)) {
    RunHandler([&] { form_->cmdWWW_Click(); });
  } else if (id == ControlId(kCombo1) && code == CBN_SELCHANGE) {
    RunHandler([&] { form_->Combo1_Click(); });
  } else if (id == ControlId(kErrText) && code == CBN_SELCHANGE) {
    RunHandler([&] { form_->errText_Click(); });
  } else {
    return false;
  }
  return true;
}

LRESULT SnareWindow::Handle(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_COMMAND:
      if (HandleCommand(LOWORD(wparam), HIWORD(wparam))) return 0;
      break;
    case DM_GETDEFID:
      // Enter in the multi-line Text1 asks for the default button.
      return MAKELRESULT(IDOK, DC_HASDEFID);
    case WM_NEXTDLGCTL:
      // Tab out of a multi-line edit.
      if (LOWORD(lparam) == 0) SetFocus(GetNextDlgTabItem(hwnd_, GetFocus(), wparam != 0));
      return 0;
    case WM_CLOSE:
      // Only Continue and Break end the dialog.
      if (form_->Form_QueryUnload()) return 0;
      break;
    case WM_SETCURSOR: {
      const int control = ControlOf(reinterpret_cast<HWND>(wparam));
      if (control >= 0) {
        form_->MouseMove(control);
        syncing_ = true;
        SetWindowTextA(Control(kStatusLine), (*form_)[kStatusLine].text.c_str());
        syncing_ = false;
      }
      if (form_->hourglass) {
        SetCursor(LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_WAIT)));
        return TRUE;
      }
      break;
    }
    default:
      break;
  }
  return DefWindowProcA(hwnd_, message, wparam, lparam);
}

int SnareWindow::ControlOf(HWND child) const {
  if (child == hwnd_) return kTheForm;
  for (int control = 0; control < kSnareControlCount; ++control) {
    if (Control(control) == child) return control;
  }
  return -1;
}

std::string SnareWindow::TextOf(int control) const {
  HWND child = Control(control);
  std::vector<char> buffer(GetWindowTextLengthA(child) + 1);
  GetWindowTextA(child, buffer.data(), static_cast<int>(buffer.size()));
  return buffer.data();
}

void SnareWindow::PushList(int control) {
  const SnareControlState& state = form_->controls[control];
  HWND child = Control(control);
  const bool combo = control == kCombo1 || control == kErrText;
  if (pushed_items_[control] != state.items) {
    SendMessageA(child, combo ? CB_RESETCONTENT : LB_RESETCONTENT, 0, 0);
    for (const std::string& item : state.items) {
      SendMessageA(child, combo ? CB_ADDSTRING : LB_ADDSTRING, 0,
                   reinterpret_cast<LPARAM>(item.c_str()));
    }
    pushed_items_[control] = state.items;
  }
  SendMessageA(child, combo ? CB_SETCURSEL : LB_SETCURSEL, static_cast<WPARAM>(state.list_index),
               0);
}

void SnareWindow::PushToControls() {
  syncing_ = true;
  SetWindowTextA(hwnd_, form_->caption.c_str());
  for (int control = 0; control < kSnareControlCount; ++control) {
    const SnareControlState& state = form_->controls[control];
    HWND child = Control(control);
    if (control == kCombo1 || control == kErrText || control == kVdCtrlCalls) {
      PushList(control);
    } else if (TextOf(control) != state.text) {
      SetWindowTextA(child, state.text.c_str());
    }
    const int view = SnareControlView(static_cast<SnareControl>(control));
    const bool shown = state.visible && (view < 0 || view == form_->front_panel);
    SetWindowPos(child, nullptr, Pixels(state.rect.left), Pixels(state.rect.top), 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    ShowWindow(child, shown ? SW_SHOWNA : SW_HIDE);
  }
  const SnareControlState& args = (*form_)[kVdCtrlArgs];
  SendMessageA(Control(kVdCtrlArgs), EM_SETSEL, args.sel_start, args.sel_start + args.sel_length);
  if (form_->focus >= 0 && form_->focus < kSnareControlCount) {
    const SnareControlState& box = form_->controls[form_->focus];
    HWND child = Control(form_->focus);
    SetFocus(child);
    if (form_->focus == kText1)
      SendMessageA(child, EM_SETSEL, box.sel_start, box.sel_start + box.sel_length);
    // A request: carried out once, then the user moves the focus.
    form_->focus = -1;
  }
  syncing_ = false;
}

void SnareWindow::PullFromControls() {
  (*form_)[kText1].text = TextOf(kText1);
  (*form_)[kCombo1].list_index =
      static_cast<int>(SendMessageA(Control(kCombo1), CB_GETCURSEL, 0, 0));
  (*form_)[kErrText].list_index =
      static_cast<int>(SendMessageA(Control(kErrText), CB_GETCURSEL, 0, 0));
  (*form_)[kVdCtrlCalls].list_index =
      static_cast<int>(SendMessageA(Control(kVdCtrlCalls), LB_GETCURSEL, 0, 0));
}

template <typename Handler>
void SnareWindow::RunHandler(Handler&& handler) {
  PullFromControls();
  HCURSOR previous = SetCursor(LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_WAIT)));
  try {
    handler();
  } catch (const std::exception&) {
    // Form events ignore their own errors.
  }
  SetCursor(previous);
  PushToControls();
}

void SnareWindow::ProcessPendingMessages() {
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(message.wParam));
      return;
    }
    Dispatch(message);
  }
}

}  // namespace

void BindSnareWindow(frmSNARE& form) {
  form.run_modal = [](frmSNARE& shown) {
    SnareWindow window(&shown);
    window.RunModal();
  };
}

}  // namespace nox
