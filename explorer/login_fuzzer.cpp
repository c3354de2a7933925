// The whole start-up of the login program on the fake machine, fed with
// arbitrary tables: the first byte gives the length (0 to 40) of the Windows
// logon name that follows it; the rest is USER.TBL, and its first 204 bytes
// NoxSettings.TBL too. Whatever the bytes, the program must end or wait with
// its window, and never write outside its own files. When the window waits,
// OK is pressed with the texts it shows, then with the first record's name
// and password.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "clasps/clasps.h"
#include "common/regpath.h"
#include "explorer/frm_login.h"
#include "platform/fake/fake_control.h"

namespace {

namespace fake = platform::fake;

constexpr const char* kSystemDir = "C:\\WINDOWS\\SYSTEM\\";

// Runs a handler; the fake's end of the program unwinds to here.
template <typename Handler>
void UntilEnd(Handler&& handler) {
  try {
    handler();
  } catch (const fake::ProgramEnded&) {
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  fake::Reset();
  fake::RegisterLibraryExport("CLASPS.DLL", "SRV_RegCreateKey",
                              reinterpret_cast<void*>(&SRV_RegCreateKey));
  fake::RegisterLibraryExport("CLASPS.DLL", "SRV_RegDeleteKey",
                              reinterpret_cast<void*>(&SRV_RegDeleteKey));
  size_t name_length = input.empty() ? 0 : static_cast<unsigned char>(input[0]) % 41;
  input.remove_prefix(input.empty() ? 0 : 1);
  name_length = std::min(name_length, input.size());
  fake::SetLogonUserName(std::string(input.substr(0, name_length)));
  input.remove_prefix(name_length);
  fake::PutFile(std::string(kSystemDir) + "USER.TBL", input);
  fake::PutFile(std::string(kSystemDir) + "NoxSettings.TBL", input.substr(0, 204));

  nox::frmLogin form;
  UntilEnd([&] { form.Form_Load(""); });
  if (form.visible) {
    UntilEnd([&] { form.cmdOK_Click(); });
    if (form.visible && input.size() >= 80) {
      form.Text1[0].text = std::string(input.substr(0, 40));
      form.Text1[1].text = std::string(input.substr(40, 40));
      UntilEnd([&] { form.cmdOK_Click(); });
    }
  }
  // Only the machine's own places may have been written.
  for (const std::string& file : fake::AllFiles()) {
    const bool allowed = file.rfind("C:\\WINDOWS\\", 0) == 0 || file.rfind("C:\\NOX\\", 0) == 0 ||
                         file.rfind("C:\\MSDOS.SYS", 0) == 0 ||
                         file.rfind("C:\\drives.dat", 0) == 0;
    if (!allowed) __builtin_trap();
  }
  return 0;
}
