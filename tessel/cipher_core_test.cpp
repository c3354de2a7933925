#include "tessel/cipher_core.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace tessel {
namespace {

std::string Hex(const void* data, size_t size) {
  const auto* bytes = static_cast<const uint8_t*>(data);
  std::string text;
  char pair[3];
  for (size_t i = 0; i < size; ++i) {
    std::snprintf(pair, sizeof pair, "%02x", bytes[i]);
    text += pair;
  }
  return text;
}

// Figures from independent tools: Python's hashlib for MD5("K731q\0"), and
// OpenSSL's RC4 (legacy provider) keyed with the 16 key bytes for the blocks.
constexpr char kKeyHex[] = "8380b5365a0000000000000000000000";
constexpr char kPaddingKeystreamHex[] =
    "8f1e81bb61367ffc1f4520c796a54ae5a946aad2826bdd78b3164fe04119cb76584fcb8a5e33fcf23b49d9d4"
    "2e770b9f52ef0bada6e0beb35052e3368998e7e3116ee87fe6a5a8d5abcd5448eaeb9d1d";
constexpr char kPasswordBlockHex[] =
    "df7ff2c816590d981f4520c796a54ae5a946aad2826bdd78b3164fe04119cb76584fcb8a5e33fcf23b49d9d4"
    "2e770b9f52ef0bada6e0beb35052e3368998e7e3116ee87fe6a5a8d5abcd5448eaeb9d1d";

// A caller's buffer with guard bytes after its 81 usable bytes.
struct Buffer {
  explicit Buffer(const std::string& text) {
    std::memset(bytes, 0x5c, sizeof bytes);
    std::memcpy(bytes, text.c_str(), text.size() + 1);
  }
  bool GuardsIntact(size_t from) const {
    for (size_t i = from; i < sizeof bytes; ++i) {
      if (bytes[i] != 0x5c) return false;
    }
    return true;
  }
  char bytes[120];
};

TEST(CipherCoreTest, KeyIsFiveDigestBytesAndElevenZeroBytes) {
  const std::array<uint8_t, 16> key = CipherKey();
  EXPECT_EQ(Hex(key.data(), key.size()), kKeyHex);
}

TEST(CipherCoreTest, EncryptBlockGivesTheKnownBlock) {
  Buffer buffer("Password");
  const int32_t length = EncryptBlockPortable(buffer.bytes);
  EXPECT_EQ(Hex(buffer.bytes, 80), kPasswordBlockHex);
  EXPECT_EQ(buffer.bytes[80], '\0');
  EXPECT_EQ(length, static_cast<int32_t>(std::strlen(buffer.bytes)));
  EXPECT_TRUE(buffer.GuardsIntact(81));
}

TEST(CipherCoreTest, PaddingIsTheKeystream) {
  Buffer buffer("x");
  EncryptBlockPortable(buffer.bytes);
  EXPECT_EQ(Hex(buffer.bytes + 1, 79), std::string(kPaddingKeystreamHex + 2));
}

TEST(CipherCoreTest, RoundTripsTextsOfEveryLength) {
  for (size_t length = 1; length <= 80; ++length) {
    std::string text;
    for (size_t i = 0; i < length; ++i) text += static_cast<char>('!' + (i * 7 + length) % 90);
    Buffer buffer(text);
    EncryptBlockPortable(buffer.bytes);
    ASSERT_EQ(buffer.bytes[80], '\0') << "length " << length;
    const int32_t result = DecryptBlockPortable(buffer.bytes);
    EXPECT_EQ(std::string(buffer.bytes), text) << "length " << length;
    EXPECT_EQ(result, static_cast<int32_t>(length)) << "length " << length;
    EXPECT_TRUE(buffer.GuardsIntact(81)) << "length " << length;
  }
}

TEST(CipherCoreTest, SameTextGivesTheSameBlock) {
  Buffer first("same text"), second("same text");
  EncryptBlockPortable(first.bytes);
  EncryptBlockPortable(second.bytes);
  EXPECT_EQ(Hex(first.bytes, 81), Hex(second.bytes, 81));
}

TEST(CipherCoreTest, BlocksAgreeWhereBothTextsArePadding) {
  Buffer shorter("abc"), longer("abcdefghij");
  EncryptBlockPortable(shorter.bytes);
  EncryptBlockPortable(longer.bytes);
  EXPECT_EQ(Hex(shorter.bytes + 10, 70), Hex(longer.bytes + 10, 70));
  EXPECT_NE(Hex(shorter.bytes + 3, 7), Hex(longer.bytes + 3, 7));
}

TEST(CipherCoreTest, EmptyTextIsLeftAlone) {
  Buffer buffer("");
  EXPECT_EQ(EncryptBlockPortable(buffer.bytes), -1);
  EXPECT_EQ(buffer.bytes[0], '\0');
  EXPECT_TRUE(buffer.GuardsIntact(1));
  EXPECT_EQ(DecryptBlockPortable(buffer.bytes), 0);
  EXPECT_TRUE(buffer.GuardsIntact(1));
}

TEST(CipherCoreTest, TextOverEightyCharactersIsRefusedUntouched) {
  const std::string text(81, 'q');
  Buffer buffer(text);
  EXPECT_EQ(EncryptBlockPortable(buffer.bytes), -1);
  EXPECT_EQ(std::string(buffer.bytes), text);
  EXPECT_TRUE(buffer.GuardsIntact(82));
}

TEST(CipherCoreTest, TextOfEightyCharactersFillsTheBlock) {
  const std::string text(80, 'q');
  Buffer buffer(text);
  EncryptBlockPortable(buffer.bytes);
  EXPECT_EQ(buffer.bytes[80], '\0');
  EXPECT_EQ(DecryptBlockPortable(buffer.bytes), 80);
  EXPECT_EQ(std::string(buffer.bytes), text);
}

TEST(CipherCoreTest, FailedStepLeavesTheBufferUnchanged) {
  const CipherStep failing = [](uint8_t*, size_t) { return false; };
  Buffer buffer("secret");
  EXPECT_EQ(EncryptBlockWith(buffer.bytes, failing), -1);
  EXPECT_EQ(std::string(buffer.bytes), "secret");
  EXPECT_TRUE(buffer.GuardsIntact(7));
  EXPECT_EQ(DecryptBlockWith(buffer.bytes, failing), -1);
  EXPECT_EQ(std::string(buffer.bytes), "secret");
}

TEST(CipherCoreTest, TemporaryPath) {
  struct Case {
    const char* path;
    const char* temporary;
  };
  const Case cases[] = {
      {"C:\\WINDOWS\\SYSTEM\\USER.TBL", "C:\\WINDOWS\\SYSTEM\\USER.TBz"},
      {"C:\\data\\a.txt", "C:\\data\\a.txz"},
      {"C:\\data\\archive.xyz", "C:\\data\\archive.xyzz"},
      {"C:\\DATA\\ARCHIVE.XYZ", "C:\\DATA\\ARCHIVE.XYZz"},
      {"C:\\data\\noext", "C:\\data\\noexz"},
      {"C:\\data\\z", "C:\\data\\zz"},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    EXPECT_EQ(TemporaryPath(cases[i].path), cases[i].temporary) << "case " << i;
  }
}

TEST(CipherCoreTest, BlockSurvivesStorage) {
  struct Case {
    size_t zero_at;  // 80: no zero byte in the block
    size_t text_length;
    bool survives;
  };
  const Case cases[] = {
      {80, 1, true}, {80, 80, true}, {0, 5, false},   {4, 5, false},
      {5, 5, false}, {6, 5, true},   {79, 80, false}, {79, 78, true},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    uint8_t block[80];
    std::memset(block, 0x41, sizeof block);
    if (cases[i].zero_at < 80) block[cases[i].zero_at] = 0;
    EXPECT_EQ(BlockSurvivesStorage(block, cases[i].text_length), cases[i].survives) << "case " << i;
  }
}

TEST(CipherCoreTest, FormatSysDate) {
  std::tm date{};
  date.tm_year = 2026 - 1900;
  date.tm_mon = 11;
  date.tm_mday = 6;
  EXPECT_EQ(FormatSysDate(date), "12/06/2026");
  date.tm_year = 1999 - 1900;
  date.tm_mon = 0;
  date.tm_mday = 31;
  EXPECT_EQ(FormatSysDate(date), "01/31/1999");
}

}  // namespace
}  // namespace tessel
