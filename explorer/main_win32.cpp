// explorer.exe: the login program that Windows starts as its shell.
#include "common/command_line.h"
#include "explorer/frm_login.h"
#include "explorer/win32/login_window.h"
#include "platform/win32/win32_api.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  nox::frmLogin form;
  const std::string product = nox::win32::ModuleProductName();
  if (!product.empty()) form.product_name = product;
  // The C runtime's own tail strips every leading blank; shell requests are
  // forwarded with theirs intact.
  return nox::win32::RunLoginWindow(&form, nox::CommandTail(GetCommandLineA()));
}
