// The system information report on a fake machine.
#include "clearway/snare/system_report.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "clearway/snare/snare_internal.h"
#include "platform/fake/fake_control.h"

namespace nox {
namespace {

namespace fake = platform::fake;

class SystemReportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fake::Reset();
    ResetSnare();
    fake::SetProgramFileName("C:\\NOX\\Clearway.exe");
    snSTART();
  }
  static bool Has(const std::vector<std::string>& lines, const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
  }
};

TEST_F(SystemReportTest, ItemLabelField) {
  const std::pair<std::string, std::string> cases[] = {
      {"Title", "   Title................."},
      {"", "    ....................."},
      {"X", "   X....................."},
      {"1234567890123456789012", "   1234567890123456789012"},
      {"1234567890123456789012345", "   1234567890123456789012"},
  };
  for (const auto& [label, field] : cases) {
    EXPECT_EQ(ReportItem(label, "v"), field + "v") << label;
  }
}

TEST_F(SystemReportTest, WholeReportOfAKnownMachine) {
  fake::SetProgramVersion({1, 4, 7});
  fake::PutFile("C:\\NOX\\Clearway.exe", std::string(1234, 'x'));
  const uint16_t exe_version[4] = {1, 4, 7, 0};
  fake::SetFileVersion("C:\\NOX\\Clearway.exe", exe_version);
  const uint16_t driver_version[4] = {4, 0, 950, 0};
  fake::SetFileVersion("SERIAL.DRV", driver_version);
  fake::PutFile(
      "C:\\WINDOWS\\system.INI",
      "[boot]\r\ncomm.drv=serial.drv\r\nmouse.drv=mouse.drv\r\n"
      "[boot.description]\r\nlanguage.dll=English (American)\r\nmouse.drv=Standard mouse\r\n"
      "[mci]\r\nCDAudio=mcicda.drv\r\n[drivers]\r\nWave=sndblst.drv\r\n");
  fake::PutFile(
      "C:\\WINDOWS\\win.INI",
      "[TrueType]\r\nTTEnable=1\r\nTTOnly=0\r\n[fonts]\r\ndefault=arial\r\n"
      "[windows]\r\ndevice=HP LaserJet,HPPCL5E,LPT1:\r\n[ports]\r\ncom1:=9600,n,8,1,x\r\n");
  fake::SetMemoryStatus({37, 5000000000ull, 17179869184ull});
  fake::SetMachineFacts({586, 2, true, false, -1, 0x400, 1024, 768});
  fake::SetWaveDevices({1, true, 0x0502, "Sound Blaster"});
  fake::SetDriveType('A', platform::kDriveRemovable);
  fake::SetDriveType('D', platform::kDriveCdrom);
  fake::SetDiskFreeBytes('C', 3000000000ull);
  fake::SetLocalTime({2026, 12, 7, 14, 5, 9, 0});
  fake::SetOsVersion({platform::kPlatformWindows, 4, 10, 1998});

  const auto item = ReportItem;
  const std::vector<std::string> expected = {
      "Application",
      item("Title", "Clearway"),
      item("Path", "C:\\NOX"),
      item("Project version", "1.4.7"),
      item("OLE Server", "NO"),
      item("Previous instance", "False"),
      item("Help file", ""),
      item("EXE name", "C:\\NOX\\CLEARWAY.EXE"),
      item("EXE time stamp", "12/7/2026 2:05:09 PM"),
      item("EXE size", "1234 bytes"),
      item("EXE version", "1.4.7.0"),
      "Visual Basic",
      item("DLL Name", "DLL NOT LOADED"),
      item("DLL Version", "DLL NOT LOADED"),
      item("EXE name", "VB32.EXE"),
      item("EXE version", ""),
      "Operating System",
      item("Windows version", "Windows 95 4.10"),
      item("Debug KERNEL.EXE", "NO"),
      item("Language", "ENGLISH (AMERICAN)"),
      item("Windows directory", "C:\\WINDOWS"),
      item("Current path", "C:\\NOX"),
      "Fonts",
      item("TrueType enabled", "YES"),
      item("TrueType only", "NO"),
      item("Default", "ARIAL"),
      "Memory",
      item("Total Memory", "17179869184 bytes"),
      item("Total Memory Free", "5000000000 bytes"),
      item("Pct. Memory Free", "37%"),
      "Processor",
      item("CPU", "Pentium"),
      item("No. Processors", "2"),
      "Printer",
      item("Description", "HP LASERJET,HPPCL5E,LPT1:"),
      "Ports",
      item("Serial driver", "SERIAL.DRV"),
      item("Driver version", "4.0.950.0"),
      item("COM1 configuration", "9600,N,8,1,X"),
      item("COM2 configuration", "<unknown>"),
      item("COM3 configuration", "<unknown>"),
      item("COM4 configuration", "<unknown>"),
      "Network",
      item("Driver", "<unknown>"),
      item("Version", ""),
      item("Description", "<unknown>"),
      "Video",
      item("Driver version", "<unknown>"),
      item("Version", ""),
      item("Description", "<unknown>"),
      item("Mfrs. version #", "1024"),
      item("Colors", "-1"),
      item("Screen size", "1024 X 768"),
      "Mouse",
      item("Mouse present", "YES"),
      item("Driver version", "MOUSE.DRV"),
      item("Version", ""),
      item("Description", "Standard mouse"),
      "Keyboard",
      item("Driver version", "<unknown>"),
      item("Version", ""),
      item("Description", "<unknown>"),
      "Drives",
      item("Floppies", "1"),
      item("Disks", "2"),
      "   Drive A: is removable ()",
      "   Drive C: is fixed (local)",
      item("   Free Space", "3000000000 bytes"),
      "   Drive D: is remote (read-only network or CD)",
      "Multimedia",
      item("WAV Devices", "1"),
      item("WAV Driver", "SNDBLST.DRV"),
      item("   Version", ""),
      item("WAV version", "5.2"),
      item("WAV Description", "Sound Blaster"),
      item("CD Audio", "MCICDA.DRV"),
      item("   Version", ""),
      item("Sequencer", "<unknown>"),
      item("   Version", ""),
      item("Wave Audio", "<unknown>"),
      item("   Version", ""),
      item("AVI Video", "<unknown>"),
      item("   Version", ""),
  };
  const std::vector<std::string> lines = SystemReportLines();
  ASSERT_EQ(lines.size(), expected.size());
  for (size_t k = 0; k < lines.size(); ++k) EXPECT_EQ(lines[k], expected[k]) << "line " << k;
}

TEST_F(SystemReportTest, DriveLinesForOneLetterMoreThanThereAreDrives) {
  struct Case {
    std::vector<std::pair<char, uint32_t>> drives;  // besides C: fixed
    std::vector<std::string> present, absent;
  };
  const Case cases[] = {
      // A, C, D: four letters examined; B has no line.
      {{{'A', platform::kDriveRemovable}, {'D', platform::kDriveRemote}},
       {"   Drive D: is remote (network)", ReportItem("   Free Space", "0 bytes")},
       {"   Drive B: is removable ()"}},
      // C and E: two drives, so only A to C are examined and E is left out.
      {{{'E', platform::kDriveFixed}},
       {"   Drive C: is fixed (local)"},
       {"   Drive E: is fixed (local)"}},
      {{{'B', platform::kDriveRemovable}, {'A', platform::kDriveRamDisk}},
       {"   Drive B: is removable ()", ReportItem("Floppies", "2"), ReportItem("Disks", "1")},
       {"   Drive A: is removable ()"}},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    fake::Reset();
    for (const auto& [letter, type] : cases[i].drives) fake::SetDriveType(letter, type);
    const std::vector<std::string> lines = SystemReportLines();
    for (const std::string& line : cases[i].present)
      EXPECT_TRUE(Has(lines, line)) << i << ": " << line;
    for (const std::string& line : cases[i].absent)
      EXPECT_FALSE(Has(lines, line)) << i << ": " << line;
  }
}

TEST_F(SystemReportTest, EveryLetterADriveAndHugeProfileValues) {
  for (char letter = 'A'; letter <= 'Z'; ++letter)
    fake::SetDriveType(letter, platform::kDriveFixed);
  fake::PutFile("C:\\WINDOWS\\win.INI", "[fonts]\r\ndefault=" + std::string(100000, 'a') + "\r\n");
  const std::vector<std::string> lines = SystemReportLines();
  EXPECT_TRUE(Has(lines, ReportItem("Disks", "24")));
  EXPECT_TRUE(Has(lines, "   Drive Z: is fixed (local)"));
  EXPECT_TRUE(Has(lines, ReportItem("Default", std::string(127, 'A'))));
}

TEST_F(SystemReportTest, NtPrefixAndTheDevelopmentEnvironmentsShortApplicationSection) {
  fake::SetOsVersion({platform::kPlatformNt, 5, 1, 2600});
  fake::SetModuleLoaded("msvbvm50.dll");
  Snare().in_development_environment = true;
  const std::vector<std::string> lines = SystemReportLines();
  EXPECT_TRUE(Has(lines, ReportItem("Windows version", "Windows NT 5.1")));
  EXPECT_TRUE(Has(lines, ReportItem("DLL Name", "MSVBVM50.DLL")));
  EXPECT_EQ(lines[7], "Visual Basic") << "no EXE items in the development environment";
}

}  // namespace
}  // namespace nox
