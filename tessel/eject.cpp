// EjectDrive: the NT procedure through the volume device, the Windows 95/98
// one through the DOS block-device services of \\.\vwin32. Progress and
// failures are reported only as texts on standard output.
#include <windows.h>
#include <winioctl.h>

#include <cctype>
#include <cstdio>

#include "platform/win32/scoped_handles.h"
#include "tessel/tessel.h"

namespace tessel {

using platform::win32::ScopedFile;

namespace {

// Prints one of the procedure's texts at once, so it keeps its place among
// the caller's own output.
template <typename... Args>
void Say(const char* format, Args... args) {
  std::printf(format, args...);
  std::fflush(stdout);
}

// ------------------------------------------------------------- Windows NT
constexpr int kLockAttempts = 20;
constexpr DWORD kLockRetryMs = 500;

bool VolumeControl(HANDLE volume, DWORD code, void* input = nullptr, DWORD input_size = 0) {
  DWORD returned = 0;
  return DeviceIoControl(volume, code, input, input_size, nullptr, 0, &returned, nullptr) != FALSE;
}

bool LockVolume(HANDLE volume) {
  for (int attempt = 0; attempt < kLockAttempts; ++attempt) {
    if (VolumeControl(volume, FSCTL_LOCK_VOLUME)) return true;
    Sleep(kLockRetryMs);
  }
  return false;
}

// Opens \\.\X: with the access the drive type calls for; INVALID_HANDLE_VALUE
// (after printing why) when the drive cannot be ejected or opened.
HANDLE OpenVolume(char letter) {
  char root[] = "?:\\";
  root[0] = letter;
  DWORD access;
  switch (GetDriveTypeA(root)) {
    case DRIVE_REMOVABLE:
      access = GENERIC_READ | GENERIC_WRITE;
      break;
    case DRIVE_CDROM:
      access = GENERIC_READ;
      break;
    default:
      Say("Cannot eject.  Drive type is incorrect.\n");
      return INVALID_HANDLE_VALUE;
  }
  char device[] = "\\\\.\\?:";
  device[4] = letter;
  const HANDLE volume = CreateFileA(device, access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
  if (volume == INVALID_HANDLE_VALUE) {
    Say("Error %d: %s\n", static_cast<int>(GetLastError()), "CreateFile");
  }
  return volume;
}

void EjectOnNt(char letter) {
  ScopedFile volume(OpenVolume(letter));
  if (!volume.valid()) return;
  bool removable = false;
  bool ejected = false;
  if (LockVolume(volume.get()) && VolumeControl(volume.get(), FSCTL_DISMOUNT_VOLUME)) {
    removable = true;
    PREVENT_MEDIA_REMOVAL allow = {FALSE};
    ejected = VolumeControl(volume.get(), IOCTL_STORAGE_MEDIA_REMOVAL, &allow, sizeof allow) &&
              VolumeControl(volume.get(), IOCTL_STORAGE_EJECT_MEDIA);
  }
  if (!volume.Close()) return;
  if (ejected) {
    Say("Media in Drive %c has been ejected safely.\n", letter);
  } else if (removable) {
    Say("Media in Drive %c can be safely removed.\n", letter);
  }
}

// ------------------------------------------------------ Windows 95 and 98
constexpr DWORD kDosIoctl = 1;  // VWIN32_DIOC_DOS_IOCTL
constexpr DWORD kBlockDeviceRequest = 0x440D;
constexpr DWORD kCarryFlag = 1;
constexpr DWORD kErrorNotLocked = 0xB0;
constexpr DWORD kErrorInvalidFunction = 0x01;
constexpr BYTE kMediaUnlock = 1;
constexpr BYTE kMediaLockStatus = 2;

// The register record of a DOS request, in the device's field order.
struct DosRegisters {
  DWORD ebx, edx, ecx, eax, edi, esi, flags;
};
static_assert(sizeof(DosRegisters) == 28);

struct MediaLockBlock {
  BYTE operation;
  BYTE pending_locks;
};
static_assert(sizeof(MediaLockBlock) == 2);

// Sends generic block-device request `ecx` for the drive; false when the
// device call itself fails (`registers` then hold the DOS result).
bool DosCall(HANDLE device, DWORD ecx, DWORD ebx, DWORD edx, DosRegisters* registers) {
  *registers = {};
  registers->eax = kBlockDeviceRequest;
  registers->ebx = ebx;
  registers->ecx = ecx;
  registers->edx = edx;
  DWORD returned = 0;
  return DeviceIoControl(device, kDosIoctl, registers, sizeof *registers, registers,
                         sizeof *registers, &returned, nullptr) != FALSE;
}

bool CarrySet(const DosRegisters& registers) { return (registers.flags & kCarryFlag) != 0; }

// A request succeeded when the call went through and the carry is clear.
bool DosRequest(HANDLE device, DWORD ecx, DWORD ebx, DWORD edx, DosRegisters* registers) {
  return DosCall(device, ecx, ebx, edx, registers) && !CarrySet(*registers);
}

bool DosRequest(HANDLE device, DWORD ecx, DWORD ebx, DWORD edx = 0) {
  DosRegisters registers;
  return DosRequest(device, ecx, ebx, edx, &registers);
}

// The 32-bit address a DOS request carries for a parameter block.
DWORD BlockAddress(MediaLockBlock* block) {
  return static_cast<DWORD>(reinterpret_cast<uintptr_t>(block));
}

bool LockLogicalVolume(HANDLE device, BYTE drive) {
  return DosRequest(device, 0x484A, drive) || DosRequest(device, 0x084A, drive);
}

void UnlockLogicalVolume(HANDLE device, BYTE drive) {
  if (!DosRequest(device, 0x486A, drive)) DosRequest(device, 0x086A, drive);
}

// Asks how many media locks are pending and releases each of them.
bool UnlockMedia(HANDLE device, BYTE drive) {
  MediaLockBlock block = {kMediaLockStatus, 0};
  DosRegisters registers;
  if (!DosCall(device, 0x0848, drive, BlockAddress(&block), &registers)) return false;
  if (CarrySet(registers) && registers.eax != kErrorNotLocked &&
      registers.eax != kErrorInvalidFunction) {
    return false;
  }
  for (int unlocks = 0; unlocks < block.pending_locks; ++unlocks) {
    block.operation = kMediaUnlock;
    if (!DosRequest(device, 0x0848, drive, BlockAddress(&block), &registers)) return false;
  }
  return true;
}

void EjectOnWindows9x(char given_letter) {
  const char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(given_letter)));
  const BYTE drive = static_cast<BYTE>(letter - 'A' + 1);
  ScopedFile device(
      CreateFileA("\\\\.\\vwin32", 0, 0, nullptr, 0, FILE_FLAG_DELETE_ON_CLOSE, nullptr));
  if (!LockLogicalVolume(device.get(), drive)) {
    Say("volume %c is in use by another application; therefore, it cannot be ejected\n", letter);
    return;
  }
  if (!UnlockMedia(device.get(), drive)) {
    Say("could not unlock media from drive %c:\n", letter);
  } else if (!DosRequest(device.get(), 0x0849, drive)) {
    Say("could not eject media from drive %c:\n", letter);
  }
  UnlockLogicalVolume(device.get(), drive);
}

}  // namespace
}  // namespace tessel

// Returns -1 when the ejection was attempted (its outcome is only printed),
// 0 when the platform version could not be read.
extern "C" int32_t __stdcall EjectDrive(const char* drive) {
  OSVERSIONINFOA version = {};
  version.dwOSVersionInfoSize = sizeof version;
  static_assert(sizeof version == 148);
  if (!GetVersionExA(&version)) return 0;
  const char letter = drive == nullptr ? '\0' : drive[0];
  if (version.dwPlatformId == VER_PLATFORM_WIN32_NT) {
    tessel::EjectOnNt(letter);
  } else {
    tessel::EjectOnWindows9x(letter);
  }
  return -1;
}
