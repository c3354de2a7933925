#include "tests/e2e/snare_dialog_driver.h"

namespace nox::e2e {
namespace {

constexpr const char* kCaption = "Program Error Intercepted";

BOOL CALLBACK CollectChild(HWND child, LPARAM list) {
  char window_class[64] = {};
  GetClassNameA(child, window_class, sizeof window_class);
  const LRESULT length = SendMessageA(child, WM_GETTEXTLENGTH, 0, 0);
  std::string text(static_cast<size_t>(length) + 1, '\0');
  SendMessageA(child, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
  text.resize(text.find('\0'));
  reinterpret_cast<std::vector<DialogControl>*>(list)->push_back(
      DialogControl{child, window_class, text, IsWindowVisible(child) != FALSE});
  return TRUE;
}

bool SameClass(const std::string& a, const std::string& b) {
  return CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, a.c_str(), -1, b.c_str(), -1) ==
         CSTR_EQUAL;
}

}  // namespace

std::vector<DialogControl> DialogControls(HWND dialog) {
  std::vector<DialogControl> controls;
  EnumChildWindows(dialog, CollectChild, reinterpret_cast<LPARAM>(&controls));
  return controls;
}

std::vector<std::string> ListItems(const DialogControl& control) {
  // Asked in UTF-16: Wine hands the ANSI form of these two messages across
  // processes unconverted.
  const bool combo = SameClass(control.window_class, "ComboBox");
  const LRESULT count = SendMessageW(control.window, combo ? CB_GETCOUNT : LB_GETCOUNT, 0, 0);
  std::vector<std::string> items;
  for (LRESULT k = 0; k < count; ++k) {
    const LRESULT length =
        SendMessageW(control.window, combo ? CB_GETLBTEXTLEN : LB_GETTEXTLEN, k, 0);
    std::wstring item(static_cast<size_t>(length > 0 ? length : 0) + 1, L'\0');
    SendMessageW(control.window, combo ? CB_GETLBTEXT : LB_GETTEXT, k,
                 reinterpret_cast<LPARAM>(item.data()));
    item.resize(item.find(L'\0'));
    std::string ansi(item.size() * 2 + 1, '\0');
    const int bytes =
        WideCharToMultiByte(CP_ACP, 0, item.c_str(), static_cast<int>(item.size()), ansi.data(),
                            static_cast<int>(ansi.size()), nullptr, nullptr);
    ansi.resize(bytes > 0 ? bytes : 0);
    items.push_back(ansi);
  }
  return items;
}

const DialogControl* FindControl(const std::vector<DialogControl>& controls,
                                 const std::string& window_class, const std::string& prefix) {
  for (const DialogControl& control : controls) {
    if (SameClass(control.window_class, window_class) && control.text.rfind(prefix, 0) == 0) {
      return &control;
    }
  }
  return nullptr;
}

std::vector<std::string> VisibleButtons(const std::vector<DialogControl>& controls) {
  std::vector<std::string> texts;
  for (const DialogControl& control : controls) {
    if (SameClass(control.window_class, "Button") && control.visible) texts.push_back(control.text);
  }
  return texts;
}

bool DialogCloser::Tick() {
  HWND dialog = FindWindowA(nullptr, kCaption);
  if (dialog == nullptr) last_ = nullptr;
  if (dialog == nullptr || dialog == last_ || !IsWindowVisible(dialog)) return false;
  const std::vector<DialogControl> controls = DialogControls(dialog);
  const DialogControl* continue_button = FindControl(controls, "Button", "&Continue");
  // Filled and shown: the user text box holds its prompt.
  if (continue_button == nullptr || FindControl(controls, "Edit", "Type in") == nullptr)
    return false;
  const bool closed = inspect_ != nullptr && inspect_(dialog, controls, context_);
  if (!closed) PostMessageA(continue_button->window, BM_CLICK, 0, 0);
  last_ = dialog;
  ++closed_;
  return true;
}

}  // namespace nox::e2e
