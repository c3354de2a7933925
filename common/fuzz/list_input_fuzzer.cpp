// The list-input reader on any bytes, driven by the first byte's bits: items
// and whole lines in any mix. Every read either gives text or raises "Input
// past end of file" (62), and each read moves on, so the reading ends.
#include <cstddef>
#include <cstdint>
#include <string>

#include "common/list_input.h"
#include "common/runtime_error.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const uint8_t plan = data[0];
  nox::ListInput input(std::string(reinterpret_cast<const char*>(data) + 1, size - 1));
  for (size_t reads = 0; reads <= size + 1; ++reads) {
    try {
      const std::string text = (plan >> (reads % 8)) & 1 ? input.ReadLine() : input.ReadItem();
      if (text.size() >= size) __builtin_trap();
    } catch (const nox::RuntimeError& error) {
      if (error.number() != nox::kErrInputPastEnd || !input.AtEnd()) __builtin_trap();
      return 0;
    }
  }
  // More reads than bytes without reaching the end: a read that did not move.
  __builtin_trap();
}
