// MD5 message digest (RFC 1321), for the cipher's portable key derivation.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace tessel {

using Md5Digest = std::array<uint8_t, 16>;

// Incremental MD5: Update() any number of times, then Final() once.
class Md5 {
 public:
  Md5();
  void Update(const void* data, size_t size);
  Md5Digest Final();

 private:
  void Transform(const uint8_t* block);

  std::array<uint32_t, 4> state_;
  uint64_t total_bytes_ = 0;
  std::array<uint8_t, 64> pending_{};
};

// The digest of `size` bytes at `data`.
Md5Digest Md5Of(const void* data, size_t size);

}  // namespace tessel
