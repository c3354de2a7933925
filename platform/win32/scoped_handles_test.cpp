#include "platform/win32/scoped_handles.h"

#include <gtest/gtest.h>

#include <utility>

namespace platform::win32 {
namespace {

// A handle is the address of its own close count, so each test sees how
// often every handle it made was closed.
struct Counted {
  using Handle = int*;
  static Handle Empty() { return nullptr; }
  static bool Close(Handle closes) {
    ++*closes;
    return true;
  }
};
using ScopedCounted = Scoped<Counted>;

TEST(Scoped, ClosesOnceWhenItGoesOutOfScope) {
  int closes = 0;
  { const ScopedCounted owner(&closes); }
  EXPECT_EQ(closes, 1);
}

TEST(Scoped, EmptyOwnerClosesNothingAndIsNotValid) {
  const ScopedCounted owner;
  EXPECT_FALSE(owner.valid());
  EXPECT_EQ(owner.get(), nullptr);
}

TEST(Scoped, MoveHandsTheHandleOverWithoutClosing) {
  int closes = 0;
  {
    ScopedCounted first(&closes);
    const ScopedCounted second(std::move(first));
    EXPECT_FALSE(first.valid());  // a moved-from owner is empty
    EXPECT_EQ(second.get(), &closes);
    EXPECT_EQ(closes, 0);
  }
  EXPECT_EQ(closes, 1);
}

TEST(Scoped, MoveAssignmentClosesTheTargetsOldHandleOnce) {
  int old_closes = 0;
  int new_closes = 0;
  {
    ScopedCounted target(&old_closes);
    ScopedCounted source(&new_closes);
    target = std::move(source);
    EXPECT_EQ(old_closes, 1);
    EXPECT_EQ(new_closes, 0);
    EXPECT_EQ(target.get(), &new_closes);
  }
  EXPECT_EQ(old_closes, 1);
  EXPECT_EQ(new_closes, 1);
}

TEST(Scoped, SelfMoveAssignmentKeepsTheHandle) {
  int closes = 0;
  {
    ScopedCounted owner(&closes);
    ScopedCounted& same = owner;
    owner = std::move(same);
    EXPECT_EQ(owner.get(), &closes);
    EXPECT_EQ(closes, 0);
  }
  EXPECT_EQ(closes, 1);
}

TEST(Scoped, ResetClosesOnceAndTakesTheNewHandle) {
  int first_closes = 0;
  int second_closes = 0;
  {
    ScopedCounted owner(&first_closes);
    owner.Reset(&second_closes);
    EXPECT_EQ(first_closes, 1);
    owner.Reset();
    EXPECT_EQ(second_closes, 1);
    EXPECT_FALSE(owner.valid());
  }
  EXPECT_EQ(first_closes, 1);
  EXPECT_EQ(second_closes, 1);
}

TEST(Scoped, ReceiveClosesTheOldHandleBeforeTheCallStoresANewOne) {
  int old_closes = 0;
  int new_closes = 0;
  {
    ScopedCounted owner(&old_closes);
    *owner.receive() = &new_closes;
    EXPECT_EQ(old_closes, 1);
  }
  EXPECT_EQ(old_closes, 1);
  EXPECT_EQ(new_closes, 1);
}

TEST(Scoped, ReleaseGivesUpWithoutClosing) {
  int closes = 0;
  {
    ScopedCounted owner(&closes);
    EXPECT_EQ(owner.Release(), &closes);
    EXPECT_FALSE(owner.valid());
  }
  EXPECT_EQ(closes, 0);
}

TEST(Scoped, CloseReportsTheClosersAnswerAndClosesOnce) {
  struct Failing {
    using Handle = int*;
    static Handle Empty() { return nullptr; }
    static bool Close(Handle closes) {
      ++*closes;
      return false;
    }
  };
  int closes = 0;
  {
    Scoped<Failing> owner(&closes);
    EXPECT_FALSE(owner.Close());
    EXPECT_TRUE(owner.Close());  // nothing left to close
  }
  EXPECT_EQ(closes, 1);
}

// Each kind knows its own "none": a failed CreateFileA is not a handle, nor
// is a failed OpenProcess.
TEST(ScopedKinds, EachKindKnowsItsOwnEmptyValue) {
  EXPECT_EQ(ScopedFile().get(), INVALID_HANDLE_VALUE);
  EXPECT_FALSE(ScopedFile(INVALID_HANDLE_VALUE).valid());
  EXPECT_EQ(ScopedFind().get(), INVALID_HANDLE_VALUE);
  EXPECT_EQ(ScopedHandle().get(), nullptr);
  EXPECT_FALSE(ScopedHandle(nullptr).valid());
  EXPECT_FALSE(ScopedKey().valid());
  EXPECT_FALSE(ScopedLibrary().valid());
  EXPECT_FALSE(ScopedServiceHandle().valid());
  EXPECT_FALSE(ScopedCryptProv().valid());
  EXPECT_FALSE(ScopedInternet().valid());
  EXPECT_FALSE(ScopedFont().valid());
  EXPECT_FALSE(ScopedWindow().valid());
  EXPECT_FALSE(ScopedLocal<char*>().valid());
}

TEST(ScopedKinds, KernelHandleIsClosedByReset) {
  ScopedHandle event(CreateEventA(nullptr, TRUE, FALSE, nullptr));
  ASSERT_TRUE(event.valid());
  const HANDLE raw = event.get();
  DWORD flags = 0;
  EXPECT_TRUE(GetHandleInformation(raw, &flags));
  event.Reset();
  EXPECT_FALSE(GetHandleInformation(raw, &flags));
}

TEST(ScopedKinds, FailedCreateFileIsNotValid) {
  const ScopedFile missing(CreateFileA("C:\\nox-no-such-folder\\missing.txt", GENERIC_READ, 0,
                                       nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  EXPECT_FALSE(missing.valid());
}

}  // namespace
}  // namespace platform::win32
