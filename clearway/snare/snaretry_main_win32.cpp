// snaretry.exe: a GUI program without a window of its own. Exits with 0
// after a run, with 2 when the command line is not one it takes.
#include "clearway/snare/snaretry.h"
#include "common/command_line.h"
#include "platform/win32/win32_api.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  const auto options = nox::snaretry::ParseCommandLine(nox::CommandTail(GetCommandLineA()));
  if (!options) return 2;
  nox::snaretry::Main(*options);
  return 0;
}
