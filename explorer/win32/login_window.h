// The real frmLogin window: Win32 controls at the form's twip positions,
// bound to a frmLogin whose handlers do all the work.
#pragma once

#include <string>

#include "explorer/frm_login.h"

namespace nox::win32 {

// Creates the hidden window, runs the load handling and, when it leaves the
// window showing, the message loop until the program ends. Returns the exit
// code.
int RunLoginWindow(frmLogin* form, const std::string& command_line);

// The product name in this module's own version resource; "" when there is
// none. (GetFileVersionInfo is not used: under Wine any explorer.exe answers
// with Wine's own Explorer's information.)
std::string ModuleProductName();

}  // namespace nox::win32
