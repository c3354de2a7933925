// RC4 stream cipher, for the cipher's portable path.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace tessel {

// One RC4 keystream; Apply() ciphers bytes in place and moves the stream on.
// Encrypting and decrypting are the same operation.
class Rc4 {
 public:
  Rc4(const uint8_t* key, size_t key_length);
  void Apply(uint8_t* data, size_t size);

 private:
  std::array<uint8_t, 256> state_;
  uint8_t i_ = 0;
  uint8_t j_ = 0;
};

}  // namespace tessel
