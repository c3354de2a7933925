#include "common/runtime_error.h"

#include <utility>

#include "platform/platform.h"

namespace nox {

std::string StandardErrorText(int32_t number) {
  switch (number) {
    case 3: return "Return without GoSub";
    case 5: return "Invalid procedure call or argument";
    case 6: return "Overflow";
    case 7: return "Out of memory";
    case 9: return "Subscript out of range";
    case 10: return "This array is fixed or temporarily locked";
    case 11: return "Division by zero";
    case 13: return "Type mismatch";
    case 14: return "Out of string space";
    case 28: return "Out of stack space";
    case 35: return "Sub or Function not defined";
    case 48: return "Error in loading DLL";
    case 49: return "Bad DLL calling convention";
    case 51: return "Internal error";
    case 52: return "Bad file name or number";
    case 53: return "File not found";
    case 54: return "Bad file mode";
    case 55: return "File already open";
    case 57: return "Device I/O error";
    case 58: return "File already exists";
    case 59: return "Bad record length";
    case 61: return "Disk full";
    case 62: return "Input past end of file";
    case 63: return "Bad record number";
    case 67: return "Too many files";
    case 68: return "Device unavailable";
    case 70: return "Permission denied";
    case 71: return "Disk not ready";
    case 74: return "Can't rename with different drive";
    case 75: return "Path/File access error";
    case 76: return "Path not found";
    case 91: return "Object variable or With block variable not set";
    case 92: return "For loop not initialized";
    case 93: return "Invalid pattern string";
    case 94: return "Invalid use of Null";
    case 429: return "ActiveX component can't create object";
    case 438: return "Object doesn't support this property or method";
    case 440: return "Automation error";
    case 453: return "Specified DLL function not found";
    default: return "Application-defined or object-defined error";
  }
}

RuntimeError::RuntimeError(int32_t number, std::string source, std::string description,
                           std::string help_file, int32_t help_context)
    : number_(number),
      source_(std::move(source)),
      description_(description.empty() ? StandardErrorText(number) : std::move(description)),
      help_file_(std::move(help_file)),
      help_context_(help_context) {}

void Raise(int32_t number, const std::string& source, const std::string& description) {
  throw RuntimeError(number, source, description);
}

int32_t FileErrorNumber(long win32_error) {
  switch (win32_error) {
    case platform::kFileNotFound: return kErrFileNotFound;
    case platform::kPathNotFound: return kErrPathNotFound;
    case platform::kAccessDenied:
    case platform::kSharingViolation:
    case 19:  // write-protected medium
      return kErrPermissionDenied;
    case platform::kFileExists:
    case platform::kAlreadyExists:
      return kErrFileExists;
    case 21:  // device not ready
      return 71;
    case 112:  // disk full
      return 61;
    case 123:  // bad name syntax
      return kErrBadFileName;
    default: return kErrPathFileAccess;
  }
}

void RaiseIfFileError(long win32_error, const std::string& source) {
  if (win32_error != platform::kSuccess) Raise(FileErrorNumber(win32_error), source);
}

}  // namespace nox
