// SetPassword and CheckPassword of the built Tessel.dll, on the machine's
// own Wardkeep key (removed before and after every test).
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "common/password_field.h"
#include "platform/win32/scoped_handles.h"
#include "tessel/cipher_core.h"
#include "tessel/test_library.h"

namespace tessel {
namespace {

using platform::win32::ScopedKey;
using testing::ExportAs;
using testing::PathExport;
using testing::StringExport;

constexpr char kWardkeep[] = "Software\\Quillon\\Nox\\CurrentVersion\\Wardkeep";

// The stored form of a text: its cipher block up to the first zero byte,
// computed with the portable cipher.
std::string StoredForm(const std::string& text) {
  char block[81] = {};
  std::memcpy(block, text.data(), text.size());
  EncryptBlockPortable(block);
  return std::string(block);
}

struct StoredValue {
  std::string name;
  DWORD type = 0;
  std::string data;
};

std::vector<StoredValue> WardkeepValues() {
  std::vector<StoredValue> values;
  ScopedKey key;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kWardkeep, 0, KEY_READ, key.receive()) != ERROR_SUCCESS) {
    return values;
  }
  for (DWORD index = 0;; ++index) {
    char name[256];
    DWORD name_size = sizeof name;
    BYTE data[1024];
    DWORD data_size = sizeof data;
    StoredValue value;
    if (RegEnumValueA(key.get(), index, name, &name_size, nullptr, &value.type, data, &data_size) !=
        ERROR_SUCCESS) {
      break;
    }
    value.name.assign(name, name_size);
    value.data.assign(reinterpret_cast<char*>(data), data_size);
    values.push_back(value);
  }
  return values;
}

class PasswordStoreTest : public ::testing::Test {
 protected:
  void SetUp() override { RegDeleteKeyA(HKEY_LOCAL_MACHINE, kWardkeep); }
  void TearDown() override { RegDeleteKeyA(HKEY_LOCAL_MACHINE, kWardkeep); }

  int32_t Set(const std::string& password) {
    std::memset(buffer_, 0x5c, sizeof buffer_);
    std::memcpy(buffer_, password.c_str(), password.size() + 1);
    return set_password_(buffer_);
  }

  StringExport set_password_ = ExportAs<StringExport>("SetPassword");
  PathExport check_password_ = ExportAs<PathExport>("CheckPassword");
  char buffer_[128];
};

TEST_F(PasswordStoreTest, NothingStoredGivesMinusTwo) {
  EXPECT_EQ(check_password_("anything"), -2);
  EXPECT_EQ(check_password_(""), 0);
}

TEST_F(PasswordStoreTest, StoredPasswordMatchesOnlyItself) {
  ASSERT_EQ(Set("Ad1min"), -1);
  EXPECT_EQ(check_password_("Ad1min"), -1);
  EXPECT_EQ(check_password_("ad1min"), 0);
  EXPECT_EQ(check_password_("AD1MIN"), 0);
  EXPECT_EQ(check_password_("Ad1mi"), 0);
  EXPECT_EQ(check_password_("Ad1min "), 0);
  EXPECT_EQ(check_password_(""), 0);
  EXPECT_EQ(check_password_(std::string(90, 'A').c_str()), 0);
}

TEST_F(PasswordStoreTest, CallersBufferHoldsTheCipherBlock) {
  ASSERT_EQ(Set("Ad1min"), -1);
  char expected[81] = "Ad1min";
  EncryptBlockPortable(expected);
  EXPECT_EQ(std::string(buffer_, 81), std::string(expected, 81));
  EXPECT_EQ(buffer_[80], '\0');
  EXPECT_EQ(buffer_[81], 0x5c);
}

// The verifier, as the native build computes it, matches only the password.
void ExpectVerifierOf(const std::string& password) {
  const std::vector<StoredValue> values = WardkeepValues();
  ASSERT_EQ(values.size(), 1u);
  EXPECT_EQ(values[0].name, "Verifier");
  EXPECT_EQ(values[0].type, static_cast<DWORD>(REG_SZ));
  // The library gives the registry no terminator; the ANSI call may store one.
  std::string data = values[0].data;
  if (!data.empty() && data.back() == '\0') data.pop_back();
  EXPECT_EQ(data.substr(0, 11), "$N1$008000$");
  EXPECT_EQ(nox::MatchPassword(data, password), nox::PasswordMatch::kMatch);
  EXPECT_EQ(nox::MatchPassword(data, password + "x"), nox::PasswordMatch::kNoMatch);
}

TEST_F(PasswordStoreTest, StoredFormIsAOneWayVerifierAndNoCipher) {
  ASSERT_EQ(Set("Ad1min"), -1);
  ExpectVerifierOf("Ad1min");
}

TEST_F(PasswordStoreTest, ValueWrittenByAnEarlierInstallationIsReadable) {
  ScopedKey key;
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, kWardkeep, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                            key.receive(), nullptr),
            ERROR_SUCCESS);
  const std::string name = StoredForm("Password");
  const std::string data = StoredForm("from before");
  RegSetValueExA(key.get(), name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(data.data()),
                 static_cast<DWORD>(data.size()));
  key.Reset();
  EXPECT_EQ(check_password_("from Before"), 0);
  EXPECT_EQ(WardkeepValues().size(), 1u);
  EXPECT_EQ(check_password_("from before"), -1);
  // Its first match replaces the reversible value by a verifier.
  ExpectVerifierOf("from before");
  EXPECT_EQ(check_password_("from before"), -1);
  EXPECT_EQ(check_password_("from Before"), 0);
}

TEST_F(PasswordStoreTest, NewPasswordReplacesTheOldOne) {
  ASSERT_EQ(Set("first"), -1);
  ASSERT_EQ(Set("second"), -1);
  EXPECT_EQ(check_password_("second"), -1);
  EXPECT_EQ(check_password_("first"), 0);
}

TEST_F(PasswordStoreTest, EightyCharacterPassword) {
  const std::string password(80, 'p');
  ASSERT_EQ(Set(password), -1);
  EXPECT_EQ(check_password_(password.c_str()), -1);
  EXPECT_EQ(check_password_(password.substr(0, 79).c_str()), 0);
}

TEST_F(PasswordStoreTest, EmptyOrOverlongPasswordIsNotStored) {
  EXPECT_EQ(Set(""), 0);
  const std::string overlong(81, 'p');
  EXPECT_EQ(Set(overlong), 0);
  EXPECT_EQ(std::string(buffer_), overlong);
  EXPECT_EQ(check_password_(overlong.c_str()), -2);
}

// A password whose cipher block has a zero byte within its first length + 1
// bytes could not be stored ciphered; its verifier holds it whole.
TEST_F(PasswordStoreTest, PasswordWhoseCipherHoldsAZeroIsStoredWhole) {
  const std::string unstorable = "Login6word";
  char block[81] = {};
  std::memcpy(block, unstorable.data(), unstorable.size());
  EncryptBlockPortable(block);
  ASSERT_LT(std::strlen(block), unstorable.size() + 1) << "the case needs a zero in the block";

  ASSERT_EQ(Set("kept"), -1);
  EXPECT_EQ(Set(unstorable), -1);
  EXPECT_EQ(std::string(buffer_, 81), std::string(block, 81));
  EXPECT_EQ(check_password_(unstorable.c_str()), -1);
  EXPECT_EQ(check_password_("kept"), 0);
}

}  // namespace
}  // namespace tessel
