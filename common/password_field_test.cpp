// The KDF byte for byte against published answers, and stored fields made
// by the native build and by the Win32 build under Wine, checked by both.
#include "common/password_field.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "common/password_kdf.h"

namespace nox {
namespace {

std::string Hex(const std::string& bytes) {
  std::string text;
  char pair[3];
  for (const char c : bytes) {
    std::snprintf(pair, sizeof pair, "%02x", static_cast<unsigned char>(c));
    text += pair;
  }
  return text;
}

TEST(Pbkdf2HmacSha256, GivesThePublishedAnswers) {
  // RFC 7914, section 11, and a single-block answer of RFC 6070's inputs.
  struct Case {
    const char* password;
    const char* salt;
    uint32_t iterations;
    size_t length;
    const char* key;
  };
  const Case cases[] = {
      {"passwd", "salt", 1, 64,
       "55ac046e56e3089fec1691c22544b605f94185216dde0465e68b9d57c20dacbc"
       "49ca9cccf179b645991664b39d77ef317c71b845b1e30bd509112041d3a19783"},
      {"Password", "NaCl", 80000, 64,
       "4ddcd8f60b98be21830cee5ef22701f9641a4418d04c0414aeff08876b34ab56"
       "a1d425a1225833549adb841b51c9b3176a272bdebba1d078478f62b397f33c8d"},
      {"password", "salt", 4096, 32,
       "c5e478d59288c841aa530db6845c4c8d962893a001ce4e11a4963873aa98134a"},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    const Case& c = cases[i];
    const std::optional<std::string> key =
        Pbkdf2HmacSha256(c.password, c.salt, c.iterations, c.length);
    ASSERT_TRUE(key) << "case " << i;
    EXPECT_EQ(Hex(*key), c.key) << "case " << i;
  }
}

// Made once by each build (HashPassword) and kept: each build must accept
// the other's.
struct KnownField {
  const char* password;
  const char* field;
};
const KnownField kKnownFields[] = {
    {"Teacher 1", "$N1$008000$FS/cFuqVM8Tg$TNuZ7rAaFNVTjRo5"},  // native
    {"s\xE9sam", "$N1$008000$L+VU0wyjk8bn$6waBxFSPu/IUJU9p"},   // Wine
};

TEST(PasswordField, FieldsMadeByEitherBuildVerify) {
  for (size_t i = 0; i < std::size(kKnownFields); ++i) {
    const KnownField& known = kKnownFields[i];
    EXPECT_EQ(MatchPassword(known.field, known.password), PasswordMatch::kMatch) << "case " << i;
    EXPECT_EQ(MatchPassword(known.field, std::string(known.password) + "x"),
              PasswordMatch::kNoMatch)
        << "case " << i;
  }
}

TEST(PasswordField, AFreshFieldHasTheFormAndVerifiesOnlyItsPassword) {
  const std::optional<std::string> field = HashPassword("Secret");
  ASSERT_TRUE(field);
  ASSERT_EQ(field->size(), kPasswordFieldLength);
  EXPECT_EQ(field->substr(0, 11), "$N1$008000$");
  EXPECT_EQ(
      field->find_first_not_of("$ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/"),
      std::string::npos);
  EXPECT_NE(HashPassword("Secret"), field) << "every field has its own salt";
  EXPECT_EQ(MatchPassword(*field + "   ", "Secret"), PasswordMatch::kMatch);
  EXPECT_EQ(MatchPassword(*field, "secret"), PasswordMatch::kNoMatch);
  EXPECT_EQ(MatchPassword(*field, *field), PasswordMatch::kNoMatch);
}

TEST(PasswordField, PlainFieldsMatchAsTheyAlwaysDid) {
  EXPECT_EQ(MatchPassword("  pw  ", "pw"), PasswordMatch::kMatch);
  EXPECT_EQ(MatchPassword("pw", " pw"), PasswordMatch::kNoMatch);
  EXPECT_EQ(MatchPassword("Pw", "pw"), PasswordMatch::kNoMatch);
  EXPECT_EQ(MatchPassword("    ", ""), PasswordMatch::kMatch);
}

TEST(PasswordField, DamagedOneWayFieldsMatchNothing) {
  const std::string good = FormatPasswordHash({1000, std::string(9, 'a'), std::string(12, 'b')});
  ASSERT_TRUE(ParsePasswordHash(good));
  const std::string damaged[] = {
      good.substr(0, 39),
      good + "x",
      "$N1$999999" + good.substr(10),
      "$N1$000000" + good.substr(10),
      "$N1$02x000" + good.substr(10),
      good.substr(0, 12) + "*" + good.substr(13),
      good.substr(0, 30) + "-" + good.substr(31),
      good.substr(0, 10) + "#" + good.substr(11),
      "$N2" + good.substr(3),
      "$N1$",
  };
  for (size_t i = 0; i < std::size(damaged); ++i) {
    EXPECT_TRUE(IsOneWayPasswordField(damaged[i])) << "case " << i;
    EXPECT_FALSE(ParsePasswordHash(damaged[i])) << "case " << i << ": " << damaged[i];
    EXPECT_EQ(MatchPassword(damaged[i], damaged[i]), PasswordMatch::kNoMatch) << "case " << i;
  }
}

}  // namespace
}  // namespace nox
