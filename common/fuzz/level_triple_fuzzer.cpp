// The level triple reader on any bytes: it may raise the run-time errors of
// a bad triple (9, 6), nothing else, and a triple it reads names a level.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "common/catalogue.h"
#include "common/runtime_error.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view triple(reinterpret_cast<const char*>(data), size);
  try {
    const nox::LevelMasks masks = nox::ReadLevelTriple(triple);
    if (masks.mask1 > 0x7FFFFFFFu || masks.mask2 > 0x7FFFFFFFu || masks.mask3 > 0x7FFFFFFFu) {
      __builtin_trap();
    }
    nox::BootOptionsValue(masks);
  } catch (const nox::RuntimeError& error) {
    if (error.number() != nox::kErrSubscript && error.number() != nox::kErrOverflow) {
      __builtin_trap();
    }
  }
  if (nox::LevelNameForTriple(triple).empty()) __builtin_trap();
  return 0;
}
