#include "platform/fake/fake_state.h"

namespace platform::fake {

namespace {

// Windows-1252 letters whose upper case lies elsewhere in the code page.
unsigned char FoldByte(unsigned char c) {
  if (c >= 'a' && c <= 'z') return static_cast<unsigned char>(c - 0x20);
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return static_cast<unsigned char>(c - 0x20);
  switch (c) {
    case 0x9A:
      return 0x8A;  // s caron
    case 0x9C:
      return 0x8C;  // oe
    case 0x9E:
      return 0x8E;  // z caron
    case 0xFF:
      return 0x9F;  // y diaeresis
    default:
      return c;
  }
}

}  // namespace

std::string Fold(std::string_view text) {
  std::string folded(text);
  for (char& c : folded) c = static_cast<char>(FoldByte(static_cast<unsigned char>(c)));
  return folded;
}

State& TheState() {
  static State state;
  static bool initialised = false;
  if (!initialised) {
    initialised = true;
    Reset();
  }
  return state;
}

void Reset() {
  State& state = TheState();
  state = State{};
  ResetRegistry(state);
  ResetFiles(state);
  state.drive_types.fill(kDriveNoRootDir);
  state.drive_types['C' - 'A'] = kDriveFixed;
  state.logon_user_name = "user";
  state.screen_width_twips = 800 * 15;
  state.screen_height_twips = 600 * 15;
  SetSystemDirectory("C:\\WINDOWS\\SYSTEM");
  SetWindowsDirectory("C:\\WINDOWS");
  SetProgramDirectory("C:\\NOX");
  SetCurrentDirectory("C:\\NOX");
}

}  // namespace platform::fake
