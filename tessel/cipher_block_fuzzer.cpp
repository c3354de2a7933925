// Ciphers arbitrary caller buffers as one block: nothing may be written past
// byte 80, a text of 1 to 80 characters must come back whole, and anything
// else must be left as it was.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "tessel/cipher_core.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The caller's buffer: the input, a terminator, and at least 81 bytes in all.
  std::vector<char> buffer(data, data + size);
  buffer.push_back('\0');
  if (buffer.size() < tessel::kBlockLength + 1) buffer.resize(tessel::kBlockLength + 1, '\0');
  const std::vector<char> before = buffer;
  const size_t length = std::strlen(buffer.data());

  const int32_t result = tessel::EncryptBlockPortable(buffer.data());
  if (length == 0 || length > tessel::kBlockLength) {
    if (result != -1 || buffer != before) __builtin_trap();
    return 0;
  }
  if (buffer[tessel::kBlockLength] != '\0') __builtin_trap();
  if (!std::equal(buffer.begin() + tessel::kBlockLength + 1, buffer.end(),
                  before.begin() + tessel::kBlockLength + 1)) {
    __builtin_trap();
  }
  if (buffer[0] != '\0') {
    tessel::DecryptBlockPortable(buffer.data());
    if (std::strcmp(buffer.data(), before.data()) != 0) __builtin_trap();
  }
  return 0;
}
