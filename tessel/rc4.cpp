#include "tessel/rc4.h"

#include <utility>

namespace tessel {

Rc4::Rc4(const uint8_t* key, size_t key_length) {
  for (int k = 0; k < 256; ++k) state_[k] = static_cast<uint8_t>(k);
  uint8_t j = 0;
  for (int k = 0; k < 256; ++k) {
    j = static_cast<uint8_t>(j + state_[k] + key[k % key_length]);
    std::swap(state_[k], state_[j]);
  }
}

void Rc4::Apply(uint8_t* data, size_t size) {
  uint8_t i = i_, j = j_;
  for (size_t n = 0; n < size; ++n) {
    i = static_cast<uint8_t>(i + 1);
    j = static_cast<uint8_t>(j + state_[i]);
    std::swap(state_[i], state_[j]);
    data[n] ^= state_[static_cast<uint8_t>(state_[i] + state_[j])];
  }
  i_ = i;
  j_ = j;
}

}  // namespace tessel
