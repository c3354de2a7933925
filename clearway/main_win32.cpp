// Clearway.exe: the uninstaller, a GUI program without a window of its own.
#include "clearway/clearway.h"
#include "common/command_line.h"
#include "platform/win32/win32_api.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  // The text after the program name as the system passed it: the password
  // is compared with its blanks.
  nox::clearway::UninstallMain(nox::CommandTail(GetCommandLineA()));
}
