// Finds the error trap's dialog of another process ("Program Error
// Intercepted"), reads its controls and presses its buttons, as an outside
// tool (or a screen reader) would: by class and window text.
#pragma once

#include <string>
#include <vector>

#include "platform/win32/win32_api.h"

namespace nox::e2e {

struct DialogControl {
  HWND window;
  std::string window_class;
  std::string text;
  bool visible;
};

// The dialog's children in creation (tab) order.
std::vector<DialogControl> DialogControls(HWND dialog);
// The items of a combo box or list box of another process.
std::vector<std::string> ListItems(const DialogControl& control);
// The first control of the class whose text starts with `prefix`; nullptr none.
const DialogControl* FindControl(const std::vector<DialogControl>& controls,
                                 const std::string& window_class, const std::string& prefix);
// The texts of the visible buttons.
std::vector<std::string> VisibleButtons(const std::vector<DialogControl>& controls);

// Call on every tick while the program runs: when the dialog is up with its
// controls, hands them to `inspect` (may be empty) once and presses
// Continue, unless `inspect` returned true (it closed the dialog itself).
// True once the dialog was closed.
class DialogCloser {
 public:
  using Inspect = bool (*)(HWND dialog, const std::vector<DialogControl>& controls, void* context);
  DialogCloser() = default;
  DialogCloser(Inspect inspect, void* context) : inspect_(inspect), context_(context) {}
  bool Tick();
  int dialogs_closed() const { return closed_; }

 private:
  Inspect inspect_ = nullptr;
  void* context_ = nullptr;
  HWND last_ = nullptr;
  int closed_ = 0;
};

}  // namespace nox::e2e
