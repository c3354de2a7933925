#include "common/level_triple.h"

#include "common/runtime_error.h"
#include "common/vb_number.h"

namespace nox {

std::array<std::string, 3> SplitLevelTriple(std::string_view triple, const std::string& source) {
  std::array<std::string, 3> parts;
  size_t current = 0;
  for (char c : triple) {
    if (c == ',') {
      ++current;
    } else if (c == ' ') {
      continue;
    } else if (current >= parts.size()) {
      Raise(kErrSubscript, source);
    } else {
      parts[current].push_back(c);
    }
  }
  return parts;
}

bool MinuteBudgetOn(std::string_view triple) {
  return (static_cast<uint32_t>(ReadInt32(SplitLevelTriple(triple)[2])) & kBudgetBit) != 0;
}

bool MinuteBudgetOnIfReadable(std::string_view triple) {
  try {
    return MinuteBudgetOn(triple);
  } catch (const RuntimeError&) {
    return false;
  }
}

}  // namespace nox
