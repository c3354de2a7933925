// Joins arbitrary resource bytes, whole and in pieces whose sizes the input
// picks: both must give the same text, and no "\n" may remain.
#include <cstddef>
#include <cstdint>
#include <string>

#include "tessel/line_join.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const size_t piece = 1 + data[0] % 16;
  const char* bytes = reinterpret_cast<const char*>(data + 1);
  const size_t length = size - 1;
  tessel::LineJoiner whole, pieces;
  whole.Append(bytes, length);
  for (size_t offset = 0; offset < length; offset += piece) {
    pieces.Append(bytes + offset, length - offset < piece ? length - offset : piece);
  }
  if (whole.text() != pieces.text()) __builtin_trap();
  if (whole.text().find('\n') != std::string::npos) __builtin_trap();
  return 0;
}
