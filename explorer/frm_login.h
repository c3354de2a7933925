// frmLogin: the login program's one window, its state and its handlers.
//
// The class holds the form's plain controls and the login state; its
// handlers are the whole behaviour. The Win32 window (login_window_win32)
// creates the real controls from the positions below and copies texts in and
// out around each handler; tests call the handlers directly on the fake
// platform.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "common/service_protocol.h"
#include "explorer/records.h"
#include "platform/platform.h"

namespace nox {

inline constexpr const char* kProductName = "Nox";

struct TextBox {
  std::string text;
  int sel_start = 0;
  int sel_length = 0;
};

struct ListBox {
  std::vector<std::string> items;
  void AddItem(const std::string& item) { items.push_back(item); }
  void Clear() { items.clear(); }
  size_t ListCount() const { return items.size(); }
};

// Control positions in twips (left, top, width, height); the client area is
// 3750 x 1545.
struct ControlRect {
  int left, top, width, height;
};
inline constexpr int kClientWidthTwips = 3750;
inline constexpr int kClientHeightTwips = 1545;
inline constexpr ControlRect kLabel1Rect{495, 270, 840, 195};
inline constexpr ControlRect kLabel2Rect{495, 570, 735, 195};
inline constexpr ControlRect kText1NameRect{1388, 240, 1875, 285};
inline constexpr ControlRect kText1PasswordRect{1388, 540, 1875, 285};
inline constexpr ControlRect kCmdOkRect{488, 1035, 1140, 390};
inline constexpr ControlRect kCmdCancelRect{2123, 1035, 1140, 390};
inline constexpr ControlRect kList1Rect{3840, 540, 1815, 2010};
inline constexpr ControlRect kList2Rect{720, 1725, 1815, 2010};
inline constexpr ControlRect kDirListRect{-210, 1680, 1215, 450};

class frmLogin {
 public:
  // ----------------------------------------------------------- controls
  std::array<TextBox, 2> Text1;  // 0: user name, 1: password (shown as "*")
  ListBox List1;                 // program list lines (disc labels from the 4th character)
  ListBox List2;                 // CD-ROM drive names ("D:")
  ListBox DirList;               // WriteSettings' folder queue
  std::string caption = "Login";
  bool visible = false;
  int focused_text = -1;  // index of the Text1 element with the focus, -1 none
  double left_twips = 0, top_twips = 0;
  double width_twips = kClientWidthTwips, height_twips = kClientHeightTwips;

  // Called by the handlers where the real window must act at once (process
  // pending messages, show, hide). Empty on the fake.
  std::function<void()> do_events;
  std::function<void()> on_show;
  std::function<void()> on_hide;
  // Called before centring: the real window sets its outer size then, not
  // at start-up, so a login that never shows it needs no window manager.
  std::function<void()> on_centre;

  // Product name of the captions and message titles; the Win32 program sets
  // it from its own version resource.
  std::string product_name = kProductName;

  // -------------------------------------------------- where a login ends up
  // A program the login starts when it hands over to the user.
  struct ProgramToStart {
    std::string command_line;
    platform::WindowState state;
  };
  // The login program shows its messages, logs off and starts the shell
  // itself. NoxService runs the same login for a client and hands all of it
  // to the client instead: it sets these. `log_off` must not return (the
  // service ends the request by throwing); `start_shell` replaces the
  // starts and the program's end.
  struct Outlet {
    std::function<void(const std::string& text, uint32_t flags)> message;
    std::function<void()> log_off;
    std::function<void(const std::vector<ProgramToStart>& programs)> start_shell;
  };
  Outlet outlet;

  // -------------------------------------------------------- login state
  UserRecord current_user = UserRecord::EndOfTable();
  std::string current_record_number;  // decimal text, "3" for record 3
  platform::LocalTime session_start;
  int32_t remaining_minutes = 0;  // -1: no limit
  int32_t elapsed_minutes = 0;

  // Working values of the load handling.
  std::string system_directory;   // with its final "\"
  std::string windows_directory;  // without a final "\"
  std::string master_folder;

  // ----------------------------------------------------------- handlers
  // The whole start-up, in order; `command_line` is the process command line
  // after the program name.
  void Form_Load(const std::string& command_line);
  // Pieces of the start-up that the service runs for its clients too.
  void LoadDirectories();
  // Copies the tables from the master folder.
  void RefreshTables();
  // Automatic logins A and B for the logon name in Text1[0]; true when one
  // completed, else the window is shown (after saying why, where it failed).
  bool LogInAutomatically();
  void Text1_GotFocus(int index);
  void Timer1_Timer();
  void cmdOK_Click();
  void cmdCancel_Click();

  // "Correct_password", "name" or "password".
  std::string password_verify(const std::string& name, const std::string& password);

  // Session clock.
  void ComputeSessionMinutes(int32_t n);
  // The same for record n as already read (by a scan of the whole table).
  void ComputeSessionMinutes(int32_t n, const UserRecord& record);
  void CheckSessionAllowance();
  [[noreturn]] void ForceLogOff();

  // The three ways a login completes. Returns false when the login did not
  // complete: the failure was shown and the window must wait again.
  enum class LoginVariant { kAutomaticA, kAutomaticB, kOkButton };
  bool CompleteLogin(LoginVariant variant);

  // The login through NoxService: asks it to log the account in and does
  // what it answers. False when no service answered.
  bool LogInThroughService();
  // The OK button's login through the service.
  void LogInWindowThroughService();
  // Shows the answer's messages and logs off or starts the shell when it
  // says so; false when the login did not complete.
  bool FollowServiceAnswer(const ServiceAnswer& answer);
  // Whether the service answered this program's login: the OK button then
  // asks it too.
  bool through_service = false;

  // "<product> Message".
  std::string MessageTitle() const { return product_name + " Message"; }
  // The window's answer to a refused name or password ("name", "password").
  void ShowRefusal(const std::string& result);
  // A message box titled MessageTitle(), or the outlet's message.
  void ShowMessage(const std::string& text, uint32_t flags);
  // Shows "number: description" with the stop icon.
  void ShowRuntimeError(int32_t number, const std::string& description);

  // Applies the current user's restrictions, starts the shell and ends the
  // program. Raises the errors of its non-suppressed steps.
  void WriteSettings();
  void SetStartMenu(int32_t mask, int32_t scope);
  // Starts the programs and ends the login program, or hands them to the
  // outlet.
  void StartShell(const std::vector<ProgramToStart>& programs);

 private:
  void Centre();
  // Lists the CD-ROM drives, sets the caption, shows the window and puts the
  // focus in the password box.
  void Show();

  // EjectDrive of Tessel.DLL once bound (at the disc guard's first call).
  void* eject_drive_ = nullptr;
};

}  // namespace nox
