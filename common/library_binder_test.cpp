// The binder on the platform in use: natively on the fake, where libraries
// are registered by the test; under Wine on the real Tessel.dll beside the
// test program.
#include "common/library_binder.h"

#include <gtest/gtest.h>

#include <cstdint>

#include "common/runtime_error.h"
#include "platform/platform.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include "platform/fake/fake_control.h"
#endif

namespace nox {
namespace {

using CheckPasswordFn = int32_t(NOX_STDCALL*)(const char*);

// The error a call raises, or 0 when it raised none.
template <typename Call>
RuntimeError ErrorOf(Call call) {
  try {
    call();
  } catch (const RuntimeError& error) {
    return error;
  }
  return RuntimeError(0);
}

TEST(LibraryBinderTest, MissingLibraryRaisesFileNotFound) {
  LibraryExport<CheckPasswordFn> check("NoSuchLibrary.dll", "CheckPassword", "Clearway");
  const RuntimeError error = ErrorOf([&] { check("x"); });
  EXPECT_EQ(error.number(), 53);
  EXPECT_EQ(error.description(), "File not found: NoSuchLibrary.dll");
  EXPECT_EQ(error.source(), "Clearway");
  EXPECT_FALSE(check.bound());
}

#if defined(_WIN32)

TEST(LibraryBinderTest, NothingIsLoadedBeforeTheFirstCall) {
  LibraryExport<CheckPasswordFn> check("Tessel.DLL", "CheckPassword");
  EXPECT_EQ(GetModuleHandleA("Tessel.dll"), nullptr);
  EXPECT_EQ(check(""), 0);
  EXPECT_TRUE(check.bound());
  EXPECT_NE(GetModuleHandleA("Tessel.dll"), nullptr);
}

TEST(LibraryBinderTest, MissingExportRaisesEntryPointNotFound) {
  LibraryExport<CheckPasswordFn> check("Tessel.DLL", "CheckPasswords");
  const RuntimeError error = ErrorOf([&] { check("x"); });
  EXPECT_EQ(error.number(), 453);
  EXPECT_EQ(error.description(), "Can't find DLL entry point CheckPasswords in Tessel.DLL");
}

#else

int32_t calls_to_first = 0;
int32_t calls_to_second = 0;
int32_t NOX_STDCALL FirstCheck(const char*) { return ++calls_to_first; }
int32_t NOX_STDCALL SecondCheck(const char*) { return 100 + ++calls_to_second; }

class FakeLibraryBinderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::fake::Reset();
    calls_to_first = calls_to_second = 0;
  }
};

TEST_F(FakeLibraryBinderTest, BindsAtTheFirstCallAndKeepsTheBinding) {
  LibraryExport<CheckPasswordFn> check("Tessel.DLL", "CheckPassword");
  platform::fake::RegisterLibraryExport("Tessel.dll", "CheckPassword",
                                        reinterpret_cast<void*>(&FirstCheck));
  EXPECT_FALSE(check.bound());
  EXPECT_EQ(check("a"), 1);
  platform::fake::RegisterLibraryExport("Tessel.dll", "CheckPassword",
                                        reinterpret_cast<void*>(&SecondCheck));
  EXPECT_EQ(check("b"), 2);
  EXPECT_EQ(calls_to_second, 0);
}

TEST_F(FakeLibraryBinderTest, MissingExportRaisesEntryPointNotFound) {
  platform::fake::RegisterLibraryExport("Tessel.dll", "EjectDrive",
                                        reinterpret_cast<void*>(&FirstCheck));
  LibraryExport<CheckPasswordFn> check("Tessel.DLL", "CheckPassword", "Clearway");
  const RuntimeError error = ErrorOf([&] { check("x"); });
  EXPECT_EQ(error.number(), 453);
  EXPECT_EQ(error.description(), "Can't find DLL entry point CheckPassword in Tessel.DLL");
  EXPECT_EQ(error.source(), "Clearway");
  EXPECT_EQ(calls_to_first, 0);
}

TEST_F(FakeLibraryBinderTest, FailedBindingIsTriedAgainAtTheNextCall) {
  LibraryExport<CheckPasswordFn> check("Tessel.DLL", "CheckPassword");
  EXPECT_EQ(ErrorOf([&] { check("x"); }).number(), 53);
  platform::fake::RegisterLibraryExport("TESSEL", "CheckPassword",
                                        reinterpret_cast<void*>(&FirstCheck));
  EXPECT_EQ(check("x"), 1);
}

#endif

}  // namespace
}  // namespace nox
