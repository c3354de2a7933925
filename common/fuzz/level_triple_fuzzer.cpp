// The level triple readers on any bytes: they may raise the run-time errors
// of a bad triple (9, 6), nothing else, both raise 9 for a fourth part, and a
// triple the restriction reader reads names a level, and only the twelve
// switch bits of mask 2 write switches.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "common/catalogue.h"
#include "common/level_triple.h"
#include "common/modern_switches.h"
#include "common/runtime_error.h"

namespace {

// The error number the reading raises, 0 when none.
template <typename Reading>
int32_t ErrorOf(Reading&& reading) {
  try {
    reading();
    return 0;
  } catch (const nox::RuntimeError& error) {
    if (error.number() != nox::kErrSubscript && error.number() != nox::kErrOverflow) {
      __builtin_trap();
    }
    return error.number();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view triple(reinterpret_cast<const char*>(data), size);
  const int32_t restrictions_error = ErrorOf([&] { nox::ReadLevelTriple(triple); });
  const int32_t budget_error = ErrorOf([&] { nox::MinuteBudgetOn(triple); });
  if ((restrictions_error == nox::kErrSubscript) != (budget_error == nox::kErrSubscript)) {
    __builtin_trap();
  }
  if (budget_error == 0 && nox::MinuteBudgetOnIfReadable(triple) != nox::MinuteBudgetOn(triple)) {
    __builtin_trap();
  }
  try {
    const nox::LevelMasks masks = nox::ReadLevelTriple(triple);
    if (masks.mask1 > 0x7FFFFFFFu || masks.mask2 > 0x7FFFFFFFu || masks.mask3 > 0x7FFFFFFFu) {
      __builtin_trap();
    }
    nox::BootOptionsValue(masks);
    // Only mask 2 bits 16 to 27 are switches; bits 28 to 31 write nothing.
    if (nox::SwitchWrites(masks.mask2, masks.mask1).size() !=
        nox::SwitchWrites(masks.mask2 & nox::kModernSwitchBits, masks.mask1).size()) {
      __builtin_trap();
    }
  } catch (const nox::RuntimeError& error) {
    if (error.number() != nox::kErrSubscript && error.number() != nox::kErrOverflow) {
      __builtin_trap();
    }
  }
  if (nox::LevelNameForTriple(triple).empty()) __builtin_trap();
  return 0;
}
