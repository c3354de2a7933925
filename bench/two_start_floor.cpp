// The honest floor of the login benchmark: what every login must do at the
// least. It starts the Windows shell and then pelorus.exe beside it, through
// the same platform call and with the same window states as the login, and
// ends; under Wine each start returns only once the child has initialised.
#include "platform/platform.h"
#include "platform/win32/win32_api.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  platform::StartProgram(platform::WindowsDirectory() + "\\explorer.exe",
                         platform::WindowState::kMaximizedFocus);
  platform::StartProgram(platform::ProgramDirectory() + "\\pelorus.exe",
                         platform::WindowState::kMinimizedFocus);
  platform::EndProgram(0);
}
