#include "explorer/win32/login_window.h"

#include <vector>

#include "common/runtime_error.h"
#include "common/version_resource.h"
#include "platform/platform.h"
#include "platform/win32/win32_api.h"

namespace nox::win32 {
namespace {

constexpr int kTwipsPerPixel = 15;
constexpr const char* kWindowClass = "NoxLoginForm";
constexpr UINT_PTR kTimer1 = 1;

// Control ids; OK and Cancel carry the ids that Enter and Escape send.
enum ControlId : int {
  kLabel1 = 101,
  kLabel2 = 102,
  kText1Name = 103,
  kText1Password = 104,
  kCmdOk = IDOK,
  kCmdCancel = IDCANCEL,
  kList1 = 105,
  kList2 = 106,
  kDirList = 107,
};

struct ControlSpec {
  int id;
  const char* window_class;
  const char* text;
  DWORD style;
  DWORD ex_style;
  ControlRect rect;
};

// In tab order: the creation order is the order Tab walks.
const ControlSpec kControls[] = {
    {kLabel1, "STATIC", "User Name:", SS_LEFT, 0, kLabel1Rect},
    {kLabel2, "STATIC", "Password:", SS_LEFT, 0, kLabel2Rect},
    {kText1Name, "EDIT", "", WS_TABSTOP | ES_AUTOHSCROLL, WS_EX_CLIENTEDGE, kText1NameRect},
    {kText1Password, "EDIT", "", WS_TABSTOP | ES_AUTOHSCROLL | ES_PASSWORD, WS_EX_CLIENTEDGE,
     kText1PasswordRect},
    {kCmdOk, "BUTTON", "OK", WS_TABSTOP | BS_DEFPUSHBUTTON, 0, kCmdOkRect},
    {kCmdCancel, "BUTTON", "Cancel", WS_TABSTOP | BS_PUSHBUTTON, 0, kCmdCancelRect},
    {kList1, "LISTBOX", "", WS_TABSTOP | WS_VSCROLL | LBS_NOTIFY, WS_EX_CLIENTEDGE, kList1Rect},
    {kList2, "LISTBOX", "", WS_TABSTOP | WS_VSCROLL | LBS_NOTIFY, WS_EX_CLIENTEDGE, kList2Rect},
    {kDirList, "LISTBOX", "", WS_TABSTOP | WS_VSCROLL | LBS_NOTIFY, WS_EX_CLIENTEDGE, kDirListRect},
};

int Pixels(double twips) { return static_cast<int>(twips / kTwipsPerPixel); }

class LoginWindow {
 public:
  explicit LoginWindow(frmLogin* form) : form_(form) {}
  LoginWindow(const LoginWindow&) = delete;
  LoginWindow& operator=(const LoginWindow&) = delete;
  ~LoginWindow() {
    if (hwnd_ != nullptr) DestroyWindow(hwnd_);
  }

  // Binds the form to this window; the window itself is made when the form
  // first needs it, so a login that never shows it creates none.
  void Bind();
  int Run(const std::string& command_line);

 private:
  // Creates the window and its controls once; false when that failed.
  bool EnsureCreated();
  bool Create();
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
  LRESULT Handle(UINT message, WPARAM wparam, LPARAM lparam);

  HWND Control(int id) const { return GetDlgItem(hwnd_, id); }
  std::string TextOf(int id) const;
  // The form's state into the controls, and the typed texts back.
  void PushToControls();
  void PullFromControls();
  void FillList(int id, const ListBox& list);
  void ShowForm();
  // Runs a handler between the two copies; a run-time error that escapes it
  // is shown rather than unwound through the system's callback.
  template <typename Handler>
  void RunHandler(Handler&& handler);
  void ProcessPendingMessages();

  frmLogin* form_;
  HWND hwnd_ = nullptr;
  bool creation_failed_ = false;
  bool syncing_ = false;
};

constexpr DWORD kWindowStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
constexpr DWORD kWindowExStyle = WS_EX_DLGMODALFRAME;

void LoginWindow::Bind() {
  form_->on_centre = [this] {
    RECT outer = {0, 0, Pixels(kClientWidthTwips), Pixels(kClientHeightTwips)};
    AdjustWindowRectEx(&outer, kWindowStyle, FALSE, kWindowExStyle);
    form_->width_twips = (outer.right - outer.left) * kTwipsPerPixel;
    form_->height_twips = (outer.bottom - outer.top) * kTwipsPerPixel;
  };
  form_->on_show = [this] {
    if (EnsureCreated()) ShowForm();
  };
  form_->on_hide = [this] {
    if (hwnd_ != nullptr) ShowWindow(hwnd_, SW_HIDE);
  };
  form_->do_events = [this] {
    if (!EnsureCreated()) return;
    PushToControls();
    ProcessPendingMessages();
  };
}

bool LoginWindow::EnsureCreated() {
  if (hwnd_ == nullptr && !creation_failed_) creation_failed_ = !Create();
  return hwnd_ != nullptr && !creation_failed_;
}

bool LoginWindow::Create() {
  HINSTANCE instance = GetModuleHandleA(nullptr);
  WNDCLASSA window_class = {};
  window_class.lpfnWndProc = &LoginWindow::WindowProc;
  window_class.hInstance = instance;
  window_class.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
  window_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  window_class.lpszClassName = kWindowClass;
  if (RegisterClassA(&window_class) == 0) return false;

  hwnd_ = CreateWindowExA(kWindowExStyle, kWindowClass, form_->caption.c_str(), kWindowStyle,
                          CW_USEDEFAULT, CW_USEDEFAULT, Pixels(form_->width_twips),
                          Pixels(form_->height_twips), nullptr, nullptr, instance, this);
  if (hwnd_ == nullptr) return false;

  HGDIOBJ font = GetStockObject(DEFAULT_GUI_FONT);
  for (const ControlSpec& control_spec : kControls) {
    HWND control = CreateWindowExA(
        control_spec.ex_style, control_spec.window_class, control_spec.text,
        WS_CHILD | WS_VISIBLE | control_spec.style, Pixels(control_spec.rect.left),
        Pixels(control_spec.rect.top), Pixels(control_spec.rect.width),
        Pixels(control_spec.rect.height), hwnd_,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(control_spec.id)), instance, nullptr);
    if (control == nullptr) return false;
    SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  }
  SendMessageA(Control(kText1Password), EM_SETPASSWORDCHAR, '*', 0);
  return true;
}

int LoginWindow::Run(const std::string& command_line) {
  RunHandler([&] { form_->Form_Load(command_line); });
  // A window that cannot be made cannot wait for anyone.
  if (form_->visible && !EnsureCreated()) return 1;
  MSG message;
  while (form_->visible && GetMessageA(&message, nullptr, 0, 0) > 0) {
    if (IsDialogMessageA(hwnd_, &message)) continue;
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  return 0;
}

LRESULT CALLBACK LoginWindow::WindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTA*>(lparam);
    SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* self = reinterpret_cast<LoginWindow*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
  if (self == nullptr || self->hwnd_ != hwnd) return DefWindowProcA(hwnd, message, wparam, lparam);
  return self->Handle(message, wparam, lparam);
}

LRESULT LoginWindow::Handle(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_COMMAND: {
      const int id = LOWORD(wparam);
      const int code = HIWORD(wparam);
      if (id == kCmdOk && code == BN_CLICKED) {
        RunHandler([&] { form_->cmdOK_Click(); });
        return 0;
      }
      if (id == kCmdCancel && code == BN_CLICKED) {
        RunHandler([&] { form_->cmdCancel_Click(); });
        return 0;
      }
      if ((id == kText1Name || id == kText1Password) && code == EN_SETFOCUS && !syncing_) {
        const int index = id == kText1Name ? 0 : 1;
        RunHandler([&] { form_->Text1_GotFocus(index); });
        return 0;
      }
      break;
    }
    case WM_TIMER:
      if (wparam == kTimer1) RunHandler([&] { form_->Timer1_Timer(); });
      return 0;
    case WM_CLOSE:
      // Closing the form unloads it, which ends the program.
      form_->visible = false;
      ShowWindow(hwnd_, SW_HIDE);
      PostQuitMessage(0);
      return 0;
    default:
      break;
  }
  return DefWindowProcA(hwnd_, message, wparam, lparam);
}

std::string LoginWindow::TextOf(int id) const {
  HWND control = Control(id);
  std::vector<char> buffer(GetWindowTextLengthA(control) + 1);
  GetWindowTextA(control, buffer.data(), static_cast<int>(buffer.size()));
  return buffer.data();
}

void LoginWindow::FillList(int id, const ListBox& list) {
  HWND control = Control(id);
  SendMessageA(control, LB_RESETCONTENT, 0, 0);
  for (const std::string& item : list.items) {
    SendMessageA(control, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item.c_str()));
  }
}

void LoginWindow::PushToControls() {
  syncing_ = true;
  SetWindowTextA(hwnd_, form_->caption.c_str());
  const int ids[2] = {kText1Name, kText1Password};
  for (int i = 0; i < 2; ++i) {
    if (TextOf(ids[i]) != form_->Text1[i].text) {
      SetWindowTextA(Control(ids[i]), form_->Text1[i].text.c_str());
    }
  }
  if (form_->focused_text >= 0 && form_->focused_text <= 1) {
    const TextBox& box = form_->Text1[form_->focused_text];
    SendMessageA(Control(ids[form_->focused_text]), EM_SETSEL, box.sel_start,
                 box.sel_start + box.sel_length);
  }
  FillList(kList1, form_->List1);
  FillList(kList2, form_->List2);
  FillList(kDirList, form_->DirList);
  syncing_ = false;
}

void LoginWindow::PullFromControls() {
  form_->Text1[0].text = TextOf(kText1Name);
  form_->Text1[1].text = TextOf(kText1Password);
}

void LoginWindow::ShowForm() {
  PushToControls();
  SetWindowPos(hwnd_, nullptr, Pixels(form_->left_twips), Pixels(form_->top_twips), 0, 0,
               SWP_NOSIZE | SWP_NOZORDER);
  ShowWindow(hwnd_, SW_SHOWNORMAL);
  SetForegroundWindow(hwnd_);
}

template <typename Handler>
void LoginWindow::RunHandler(Handler&& handler) {
  // The window takes no input while a handler runs: its message boxes have
  // no owner, and a second OK behind an open one must not start a login.
  const HWND disabled = hwnd_;
  if (disabled != nullptr) {
    PullFromControls();
    EnableWindow(disabled, FALSE);
  }
  // A login runs within one handler: each key it writes is opened once.
  const platform::RegKeyCacheScope registry_keys;
  try {
    handler();
  } catch (const RuntimeError& error) {
    form_->ShowRuntimeError(error.number(), error.description());
  }
  if (disabled != nullptr) EnableWindow(disabled, TRUE);
  if (!form_->visible) {
    PostQuitMessage(0);
    return;
  }
  if (hwnd_ == nullptr) return;
  PushToControls();
  if (form_->focused_text >= 0 && form_->focused_text <= 1) {
    HWND box = Control(form_->focused_text == 0 ? kText1Name : kText1Password);
    if (GetFocus() != box) {
      syncing_ = true;
      SetFocus(box);
      syncing_ = false;
    }
  }
}

void LoginWindow::ProcessPendingMessages() {
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(message.wParam));
      return;
    }
    if (IsDialogMessageA(hwnd_, &message)) continue;
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
}

}  // namespace

std::string ModuleProductName() {
  HMODULE module = GetModuleHandleA(nullptr);
  HRSRC resource = FindResourceA(module, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(16));  // RT_VERSION
  if (resource == nullptr) return "";
  HGLOBAL loaded = LoadResource(module, resource);
  const DWORD size = SizeofResource(module, resource);
  const char* data = loaded ? static_cast<const char*>(LockResource(loaded)) : nullptr;
  if (data == nullptr) return "";
  const std::u16string name = VersionResourceString(std::string_view(data, size), u"ProductName");
  if (name.empty()) return "";
  const auto* wide = reinterpret_cast<const wchar_t*>(name.c_str());
  const int bytes = WideCharToMultiByte(CP_ACP, 0, wide, -1, nullptr, 0, nullptr, nullptr);
  std::string product(bytes > 0 ? bytes : 1, '\0');
  WideCharToMultiByte(CP_ACP, 0, wide, -1, product.data(), bytes, nullptr, nullptr);
  product.resize(product.find('\0'));
  return product;
}

int RunLoginWindow(frmLogin* form, const std::string& command_line) {
  LoginWindow window(form);
  window.Bind();
  return window.Run(command_line);
}

}  // namespace nox::win32
