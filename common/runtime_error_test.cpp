#include "common/runtime_error.h"

#include <gtest/gtest.h>

#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

namespace nox {
namespace {

struct TextCase {
  int32_t number;
  const char* text;
};

// The classic run-time texts the system shows and logs.
constexpr TextCase kStandardTexts[] = {
    {5, "Invalid procedure call or argument"},
    {6, "Overflow"},
    {9, "Subscript out of range"},
    {13, "Type mismatch"},
    {52, "Bad file name or number"},
    {53, "File not found"},
    {55, "File already open"},
    {58, "File already exists"},
    {62, "Input past end of file"},
    {70, "Permission denied"},
    {75, "Path/File access error"},
    {76, "Path not found"},
    {440, "Automation error"},
    {453, "Specified DLL function not found"},
};

TEST(StandardErrorTextTest, KnownNumbers) {
  for (size_t i = 0; i < std::size(kStandardTexts); ++i) {
    const TextCase& c = kStandardTexts[i];
    EXPECT_EQ(StandardErrorText(c.number), c.text) << "case " << i << ", error " << c.number;
  }
}

TEST(StandardErrorTextTest, NumbersWithoutTextAreApplicationDefined) {
  for (int32_t number : {0, 1, 1000, 32767, -1}) {
    EXPECT_EQ(StandardErrorText(number), "Application-defined or object-defined error")
        << "error " << number;
  }
}

TEST(RuntimeErrorTest, DefaultsToStandardText) {
  const RuntimeError error(kErrFileNotFound, "modFile");
  EXPECT_EQ(error.number(), 53);
  EXPECT_EQ(error.source(), "modFile");
  EXPECT_EQ(error.description(), "File not found");
  EXPECT_STREQ(error.what(), "File not found");
  EXPECT_EQ(error.help_file(), "");
  EXPECT_EQ(error.help_context(), 0);
}

TEST(RuntimeErrorTest, KeepsAllFiveProperties) {
  const RuntimeError error(1001, "Clearway", "Wrong password", "NOX.HLP", 42);
  EXPECT_EQ(error.number(), 1001);
  EXPECT_EQ(error.source(), "Clearway");
  EXPECT_EQ(error.description(), "Wrong password");
  EXPECT_STREQ(error.what(), "Wrong password");
  EXPECT_EQ(error.help_file(), "NOX.HLP");
  EXPECT_EQ(error.help_context(), 42);
}

TEST(RaiseTest, ThrowsTheNumberWithItsText) {
  try {
    Raise(kErrSubscript, "Module1");
    FAIL() << "Raise returned";
  } catch (const RuntimeError& error) {
    EXPECT_EQ(error.number(), 9);
    EXPECT_EQ(error.source(), "Module1");
    EXPECT_EQ(error.description(), "Subscript out of range");
  }
}

TEST(RaiseTest, GivenDescriptionWins) {
  try {
    Raise(kErrInvalidCall, "modApi", "No such drive");
    FAIL() << "Raise returned";
  } catch (const RuntimeError& error) {
    EXPECT_EQ(error.number(), 5);
    EXPECT_EQ(error.description(), "No such drive");
  }
}

struct FileErrorCase {
  long win32_error;
  int32_t number;
};

constexpr FileErrorCase kFileErrors[] = {
    {2, 53},    // ERROR_FILE_NOT_FOUND
    {3, 76},    // ERROR_PATH_NOT_FOUND
    {5, 70},    // ERROR_ACCESS_DENIED
    {32, 70},   // ERROR_SHARING_VIOLATION
    {19, 70},   // ERROR_WRITE_PROTECT
    {80, 58},   // ERROR_FILE_EXISTS
    {183, 58},  // ERROR_ALREADY_EXISTS
    {21, 71},   // ERROR_NOT_READY: "Disk not ready"
    {112, 61},  // ERROR_DISK_FULL: "Disk full"
    {123, 52},  // ERROR_INVALID_NAME
    {1, 75},    // anything else: "Path/File access error"
    {87, 75},
};

TEST(FileErrorNumberTest, MapsWin32Codes) {
  for (size_t i = 0; i < std::size(kFileErrors); ++i) {
    const FileErrorCase& c = kFileErrors[i];
    EXPECT_EQ(FileErrorNumber(c.win32_error), c.number)
        << "case " << i << ", Win32 error " << c.win32_error;
  }
}

TEST(RaiseIfFileErrorTest, SuccessRaisesNothing) { EXPECT_NO_THROW(RaiseIfFileError(0, "x")); }

TEST(RaiseIfFileErrorTest, FailureRaisesTheFileError) {
  try {
    RaiseIfFileError(3, "modFile");
    FAIL() << "no error raised";
  } catch (const RuntimeError& error) {
    EXPECT_EQ(error.number(), 76);
    EXPECT_EQ(error.source(), "modFile");
    EXPECT_EQ(error.description(), "Path not found");
  }
}

TEST(IgnoreErrorsTest, ReturnsZeroAfterACleanStep) {
  int runs = 0;
  EXPECT_EQ(IgnoreErrors([&] { ++runs; }), 0);
  EXPECT_EQ(runs, 1);
}

TEST(IgnoreErrorsTest, ReturnsTheNumberOfTheDroppedError) {
  EXPECT_EQ(IgnoreErrors([] { Raise(kErrPermissionDenied); }), 70);
  EXPECT_EQ(IgnoreErrors([] { throw RuntimeError(1234, "", "custom"); }), 1234);
}

TEST(IgnoreErrorsTest, SuppressedStretchGoesOnAfterAnError) {
  std::vector<std::string> done;
  const int32_t first = IgnoreErrors([&] {
    done.push_back("a");
    Raise(kErrFileNotFound);
    done.push_back("never");
  });
  const int32_t second = IgnoreErrors([&] { done.push_back("b"); });
  EXPECT_EQ(first, 53);
  EXPECT_EQ(second, 0);
  EXPECT_EQ(done, (std::vector<std::string>{"a", "b"}));
}

TEST(IgnoreErrorsTest, OtherExceptionsStillUnwind) {
  EXPECT_THROW(IgnoreErrors([] { throw std::logic_error("bug"); }), std::logic_error);
  EXPECT_THROW(IgnoreErrors([] { throw 7; }), int);
}

}  // namespace
}  // namespace nox
