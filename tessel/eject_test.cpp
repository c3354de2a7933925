// EjectDrive of the built Tessel.dll, through tessel_probe.exe, whose
// standard output carries the library's texts.
#include <gtest/gtest.h>

#include <string>

#include "platform/win32/scoped_handles.h"
#include "tessel/test_library.h"

namespace tessel {
namespace {

using platform::win32::ScopedKey;
using testing::ProbeCommand;
using testing::ProgramFolder;
using testing::RunCapturingOutput;
using testing::ScratchFolder;

// Standard output is in text mode: each "\n" the library prints arrives as CR LF.
constexpr char kWrongType[] = "Cannot eject.  Drive type is incorrect.\r\n";

TEST(EjectDriveTest, FixedDiskIsNotEjected) {
  for (const char* drive : {"C", "c", "C:\\"}) {
    std::string output;
    EXPECT_EQ(RunCapturingOutput(ProbeCommand() + " eject " + drive, &output), 0) << drive;
    EXPECT_EQ(output, std::string(kWrongType) + "result=-1\r\n") << drive;
  }
}

// The Windows 95/98 procedure, in a copy of the probe that Wine shows
// Windows 98. Without the \\.\vwin32 device the volume lock fails, and the
// text names the drive by its upper-case letter.
class EjectOnWindows98Test : public ::testing::Test {
 protected:
  static constexpr char kAppKey[] = "Software\\Wine\\AppDefaults\\tessel_probe98.exe";

  void SetUp() override {
    const std::string bin = ProgramFolder();
    ASSERT_TRUE(CopyFileA((bin + "\\tessel_probe.exe").c_str(),
                          folder_.Path("tessel_probe98.exe").c_str(), FALSE));
    ASSERT_TRUE(
        CopyFileA((bin + "\\Tessel.dll").c_str(), folder_.Path("Tessel.dll").c_str(), FALSE));
    ScopedKey key;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kAppKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              key.receive(), nullptr),
              ERROR_SUCCESS);
    RegSetValueExA(key.get(), "Version", 0, REG_SZ, reinterpret_cast<const BYTE*>("win98"), 6);
  }
  void TearDown() override { RegDeleteKeyA(HKEY_CURRENT_USER, kAppKey); }

  std::string Probe() const {
    std::string quoted = "\"";
    quoted += folder_.Path("tessel_probe98.exe");
    quoted += "\"";
    return quoted;
  }

  ScratchFolder folder_;
};

TEST_F(EjectOnWindows98Test, LockFailureIsReportedWithTheUpperCaseLetter) {
  for (const char* drive : {"D", "d"}) {
    std::string output;
    EXPECT_EQ(RunCapturingOutput(Probe() + " eject " + drive, &output), 0) << drive;
    EXPECT_EQ(output,
              "volume D is in use by another application; therefore, it cannot be ejected\r\n"
              "result=-1\r\n")
        << drive;
  }
}

}  // namespace
}  // namespace tessel
