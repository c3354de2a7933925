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

// Unicode code points of the Windows-1252 bytes 0x80..0x9F.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

char16_t LowerCodePoint(unsigned char c) {
  char16_t code = c >= 0x80 && c <= 0x9F ? kCp1252High[c - 0x80] : c;
  if ((code >= 'A' && code <= 'Z') || (code >= 0xC0 && code <= 0xDE && code != 0xD7)) {
    return static_cast<char16_t>(code + 0x20);
  }
  switch (code) {
    case 0x0160:
      return 0x0161;
    case 0x0152:
      return 0x0153;
    case 0x017D:
      return 0x017E;
    case 0x0178:
      return 0x00FF;
    default:
      return code;
  }
}

}  // namespace

std::u16string RegistryNameKey(std::string_view name) {
  std::u16string key;
  key.reserve(name.size());
  for (char c : name) key.push_back(LowerCodePoint(static_cast<unsigned char>(c)));
  return key;
}

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
  state.computer_name = "PC1";
  state.environment[Fold("SystemDrive")] = "C:";
  state.screen_width_twips = 800 * 15;
  state.screen_height_twips = 600 * 15;
  state.program_file_name = "C:\\NOX\\PROGRAM.EXE";
  SetSystemDirectory("C:\\WINDOWS\\SYSTEM");
  SetWindowsDirectory("C:\\WINDOWS");
  SetProgramDirectory("C:\\NOX");
  SetCurrentDirectory("C:\\NOX");
}

}  // namespace platform::fake
