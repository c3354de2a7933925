#include "tessel/md5.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace tessel {
namespace {

std::string Hex(const Md5Digest& digest) {
  std::string text;
  char pair[3];
  for (uint8_t byte : digest) {
    std::snprintf(pair, sizeof pair, "%02x", byte);
    text += pair;
  }
  return text;
}

struct Vector {
  const char* message;
  const char* digest;
};

// The test suite of RFC 1321, appendix A.5.
constexpr Vector kRfc1321Suite[] = {
    {"", "d41d8cd98f00b204e9800998ecf8427e"},
    {"a", "0cc175b9c0f1b6a831c399e269772661"},
    {"abc", "900150983cd24fb0d6963f7d28e17f72"},
    {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
    {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
    {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
     "d174ab98d277d9f5a5611c2c9f419d9f"},
    {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
     "57edf4a22be3c955ac49da2e2107b67a"},
};

TEST(Md5Test, Rfc1321Suite) {
  for (size_t i = 0; i < std::size(kRfc1321Suite); ++i) {
    const std::string message = kRfc1321Suite[i].message;
    EXPECT_EQ(Hex(Md5Of(message.data(), message.size())), kRfc1321Suite[i].digest)
        << "case " << i << " \"" << message << "\"";
  }
}

TEST(Md5Test, PiecesGiveTheSameDigestAsOneUpdate) {
  const std::string message(300, 'x');
  const Md5Digest whole = Md5Of(message.data(), message.size());
  for (size_t piece : {1u, 3u, 55u, 56u, 63u, 64u, 65u, 127u}) {
    Md5 md5;
    for (size_t offset = 0; offset < message.size(); offset += piece) {
      md5.Update(message.data() + offset, std::min(piece, message.size() - offset));
    }
    EXPECT_EQ(Hex(md5.Final()), Hex(whole)) << "piece " << piece;
  }
}

TEST(Md5Test, MillionLetterA) {
  const std::string message(1000000, 'a');
  EXPECT_EQ(Hex(Md5Of(message.data(), message.size())), "7707d6ae4e027c70eea2a935c2296f21");
}

TEST(Md5Test, MessagesAroundThePaddingBoundary) {
  // Digests from an independent MD5 (coreutils md5sum) of 55, 56 and 64 'a's.
  const Vector cases[] = {
      {"aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa",
       "ef1772b6dff9a122358552954ad0df65"},
      {"aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa",
       "3b0c8ac703f828b04c6c197006d17218"},
      {"aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa",
       "014842d480b571495a4a0363793f7367"},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    const std::string message = cases[i].message;
    EXPECT_EQ(Hex(Md5Of(message.data(), message.size())), cases[i].digest) << "case " << i;
  }
}

}  // namespace
}  // namespace tessel
