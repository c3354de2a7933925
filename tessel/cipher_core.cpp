#include "tessel/cipher_core.h"

#include <algorithm>
#include <cstring>

#include "tessel/md5.h"

namespace tessel {

std::array<uint8_t, 16> CipherKey() {
  // The key password is hashed with its terminating zero byte: 6 bytes.
  const Md5Digest digest = Md5Of(kKeyPassword, sizeof kKeyPassword);
  std::array<uint8_t, 16> key{};
  std::copy_n(digest.begin(), 5, key.begin());
  return key;
}

Rc4 NewKeystream() {
  const std::array<uint8_t, 16> key = CipherKey();
  return Rc4(key.data(), key.size());
}

int32_t EncryptBlockWith(char* buffer, const CipherStep& cipher) {
  const size_t length = strnlen(buffer, kBlockLength + 1);
  if (length == 0 || length > kBlockLength) return -1;
  uint8_t block[kBlockLength] = {};
  std::memcpy(block, buffer, length);
  if (!cipher(block, kBlockLength)) return -1;
  std::memcpy(buffer, block, kBlockLength);
  buffer[kBlockLength] = '\0';
  return static_cast<int32_t>(std::strlen(buffer));
}

int32_t DecryptBlockWith(char* buffer, const CipherStep& cipher) {
  if (buffer[0] == '\0') return 0;
  if (!cipher(reinterpret_cast<uint8_t*>(buffer), kBlockLength)) return -1;
  return static_cast<int32_t>(std::strlen(buffer));
}

namespace {

bool PortableStep(uint8_t* data, size_t size) {
  NewKeystream().Apply(data, size);
  return true;
}

}  // namespace

int32_t EncryptBlockPortable(char* buffer) { return EncryptBlockWith(buffer, PortableStep); }

int32_t DecryptBlockPortable(char* buffer) { return DecryptBlockWith(buffer, PortableStep); }

std::string TemporaryPath(const std::string& path) {
  if (path.empty()) return "z";
  std::string temporary = path;
  if (temporary.back() == 'z' || temporary.back() == 'Z') {
    temporary.push_back('z');
  } else {
    temporary.back() = 'z';
  }
  return temporary;
}

bool BlockSurvivesStorage(const uint8_t* block, size_t text_length) {
  const size_t checked = std::min(text_length + 1, kBlockLength);
  return std::find(block, block + checked, 0) == block + checked;
}

std::string FormatSysDate(const std::tm& local_time) {
  char text[128];
  const size_t length = std::strftime(text, sizeof text, "%m/%d/%Y", &local_time);
  return std::string(text, length);
}

}  // namespace tessel
