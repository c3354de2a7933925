#include "tessel/rc4.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace tessel {
namespace {

std::string Hex(const uint8_t* bytes, size_t size) {
  std::string text;
  char pair[3];
  for (size_t i = 0; i < size; ++i) {
    std::snprintf(pair, sizeof pair, "%02x", bytes[i]);
    text += pair;
  }
  return text;
}

std::vector<uint8_t> Bytes(const std::string& text) { return {text.begin(), text.end()}; }

TEST(Rc4Test, ClassicVectors) {
  struct Case {
    const char* key;
    const char* plain;
    const char* cipher;
  };
  const Case cases[] = {
      {"Key", "Plaintext", "bbf316e8d940af0ad3"},
      {"Wiki", "pedia", "1021bf0420"},
      {"Secret", "Attack at dawn", "45a01f645fc35b383552544b9bf5"},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    const std::vector<uint8_t> key = Bytes(cases[i].key);
    std::vector<uint8_t> data = Bytes(cases[i].plain);
    Rc4(key.data(), key.size()).Apply(data.data(), data.size());
    EXPECT_EQ(Hex(data.data(), data.size()), cases[i].cipher) << "case " << i;
  }
}

struct StreamVector {
  size_t offset;
  const char* keystream;
};

// RFC 6229: the keystream (cipher of zero bytes) at the given offsets.
void ExpectKeystream(const std::vector<uint8_t>& key, const std::vector<StreamVector>& vectors) {
  std::vector<uint8_t> stream(4112, 0);
  Rc4(key.data(), key.size()).Apply(stream.data(), stream.size());
  for (const StreamVector& vector : vectors) {
    EXPECT_EQ(Hex(stream.data() + vector.offset, 16), vector.keystream)
        << "offset " << vector.offset;
  }
}

TEST(Rc4Test, Rfc6229FortyBitKey) {
  ExpectKeystream({0x01, 0x02, 0x03, 0x04, 0x05}, {
                                                      {0, "b2396305f03dc027ccc3524a0a1118a8"},
                                                      {16, "6982944f18fc82d589c403a47a0d0919"},
                                                      {240, "28cb1132c96ce286421dcaadb8b69eae"},
                                                      {256, "1cfcf62b03eddb641d77dfcf7f8d8c93"},
                                                      {496, "42b7d0cdd918a8a33dd51781c81f4041"},
                                                      {512, "6459844432a7da923cfb3eb4980661f6"},
                                                      {752, "ec10327bde2beefd18f9277680457e22"},
                                                      {768, "eb62638d4f0ba1fe9fca20e05bf8ff2b"},
                                                      {1008, "45129048e6a0ed0b56b490338f078da5"},
                                                      {1024, "30abbcc7c20b01609f23ee2d5f6bb7df"},
                                                      {4080, "068326a2118416d21f9d04b2cd1ca050"},
                                                      {4096, "ff25b58995996707e51fbdf08b34d875"},
                                                  });
}

TEST(Rc4Test, Rfc6229OneHundredTwentyEightBitKey) {
  ExpectKeystream({0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0a, 0x0b, 0x0c, 0x0d,
                   0x0e, 0x0f, 0x10},
                  {
                      {0, "9ac7cc9a609d1ef7b2932899cde41b97"},
                      {16, "5248c4959014126a6e8a84f11d1a9e1c"},
                      {240, "065902e4b620f6cc36c8589f66432f2b"},
                      {256, "d39d566bc6bce3010768151549f3873f"},
                      {4096, "a36a4c301ae8ac13610ccbc12256cacc"},
                  });
}

TEST(Rc4Test, PiecesContinueOneKeystream) {
  const std::vector<uint8_t> key = {0x01, 0x02, 0x03, 0x04, 0x05};
  std::vector<uint8_t> whole(2500, 0x5a);
  std::vector<uint8_t> pieces = whole;
  Rc4(key.data(), key.size()).Apply(whole.data(), whole.size());
  Rc4 stream(key.data(), key.size());
  for (size_t offset : {0u, 1000u, 2000u})
    stream.Apply(pieces.data() + offset, offset < 2000 ? 1000 : 500);
  EXPECT_EQ(pieces, whole);
}

TEST(Rc4Test, CipheringTwiceGivesThePlainTextBack) {
  const std::vector<uint8_t> key = Bytes("Secret");
  const std::vector<uint8_t> plain = Bytes("Attack at dawn");
  std::vector<uint8_t> data = plain;
  Rc4(key.data(), key.size()).Apply(data.data(), data.size());
  EXPECT_NE(data, plain);
  Rc4(key.data(), key.size()).Apply(data.data(), data.size());
  EXPECT_EQ(data, plain);
}

}  // namespace
}  // namespace tessel
