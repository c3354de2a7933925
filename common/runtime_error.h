// The run-time error model of both programs.
//
// A routine either stops at its first error and raises it to its caller, or
// runs a stretch with errors suppressed statement by statement. A raised
// error is a RuntimeError carrying the classic five properties. Suppressed
// stretches are written as a sequence of IgnoreErrors(...) steps, so the
// code shows which stretch ignores errors.
#pragma once

#include <cstdint>
#include <exception>
#include <string>

namespace nox {

// Error numbers raised by the system.
constexpr int32_t kErrInvalidCall = 5;
constexpr int32_t kErrOverflow = 6;
constexpr int32_t kErrSubscript = 9;
constexpr int32_t kErrTypeMismatch = 13;
constexpr int32_t kErrBadFileName = 52;
constexpr int32_t kErrFileNotFound = 53;
constexpr int32_t kErrFileAlreadyOpen = 55;
constexpr int32_t kErrFileExists = 58;
constexpr int32_t kErrInputPastEnd = 62;
constexpr int32_t kErrPermissionDenied = 70;
constexpr int32_t kErrPathFileAccess = 75;
constexpr int32_t kErrPathNotFound = 76;
constexpr int32_t kErrAutomation = 440;
constexpr int32_t kErrDllEntryPoint = 453;

// The standard description of an error number ("Application-defined or
// object-defined error" for numbers without one).
std::string StandardErrorText(int32_t number);

class RuntimeError : public std::exception {
 public:
  explicit RuntimeError(int32_t number, std::string source = "", std::string description = "",
                        std::string help_file = "", int32_t help_context = 0);

  int32_t number() const { return number_; }
  const std::string& source() const { return source_; }
  const std::string& description() const { return description_; }
  const std::string& help_file() const { return help_file_; }
  int32_t help_context() const { return help_context_; }
  const char* what() const noexcept override { return description_.c_str(); }

 private:
  int32_t number_;
  std::string source_;
  std::string description_;
  std::string help_file_;
  int32_t help_context_;
};

// Raises error `number` with its standard text (or `description` when given).
[[noreturn]] void Raise(int32_t number, const std::string& source = "",
                        const std::string& description = "");

// The error number a failed file operation with this Win32 error code
// raises (2 -> 53, 3 -> 76, 5 -> 70, 80/183 -> 58, ...).
int32_t FileErrorNumber(long win32_error);

// Raises the file error for `win32_error` when it is not 0.
void RaiseIfFileError(long win32_error, const std::string& source = "");

// Runs one statement of a suppressed stretch: a RuntimeError it raises is
// dropped. Returns the number of the dropped error, 0 when none. Anything
// else (the end of the program, a bug) still unwinds.
template <typename Step>
int32_t IgnoreErrors(Step&& step) {
  try {
    step();
    return 0;
  } catch (const RuntimeError& error) {
    return error.number();
  }
}

}  // namespace nox
