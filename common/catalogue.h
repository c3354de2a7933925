// The restriction catalogue and the security levels.
//
// A user's security setting is the level triple "m1,m2,m3": three
// restriction masks. Bits 0 to 15 of each mask drive the catalogue one to
// one (position = (mask - 1) * 16 + bit + 1, positions 1 to 48, of which 1 to
// 42 have an entry, all REG_DWORD, 1 when the bit is set, 0 when clear).
// Further bits have a handling of their own, applied by WriteSettings. A
// named security level is nothing but a preset triple.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace nox {

inline constexpr int kCatalogueSize = 42;

struct CatalogueEntry {
  const char* regline;      // registry path string, written as REG_DWORD
  const char* description;  // one line for an administration view
};

// Entry p is kCatalogue[p - 1].
extern const std::array<CatalogueEntry, kCatalogueSize> kCatalogue;

// The catalogue position (1 to 48) of `bit` (0 to 15) of mask `mask_number`
// (1 to 3).
constexpr int CataloguePosition(int mask_number, int bit) {
  return (mask_number - 1) * 16 + bit + 1;
}

// A bit whose meaning goes beyond (or replaces) its catalogue entry.
struct BitHandling {
  int mask_number;
  int bit;
  const char* description;
};

// Every bit with a handling of its own, in mask and bit order.
extern const std::array<BitHandling, 36> kBitHandlings;

struct LevelMasks {
  uint32_t mask1 = 0;
  uint32_t mask2 = 0;
  uint32_t mask3 = 0;

  // Mask 1, 2 or 3.
  uint32_t Mask(int mask_number) const;
  bool Bit(int mask_number, int bit) const { return (Mask(mask_number) >> bit) & 1u; }
};

// Reads a level triple (the 30-character field, padding included). A comma
// moves to the next number, blanks are skipped, each number is its leading
// decimal digits (0 when the text does not start with a digit). Raises
// subscript-range (9) for a character other than a blank or a comma after a
// third comma, and overflow (6) for a number beyond 2147483647.
LevelMasks ReadLevelTriple(std::string_view triple);

struct SecurityLevel {
  const char* name;
  const char* triple;
};

// The named levels, in the order an administrator is offered them.
extern const std::array<SecurityLevel, 11> kSecurityLevels;
inline constexpr const char* kCustomLevel = "Custom";

// The name of the preset whose triple equals `triple` once blanks are
// removed; "Custom" for any other triple.
std::string LevelNameForTriple(std::string_view triple);

// The triple of the named level (letter case ignored); nothing for "Custom"
// or an unknown name.
std::optional<std::string> TripleForLevelName(std::string_view name);

// The boot-options text the masks ask for: "0" (boot menu locked) when mask 2
// bit 6 or mask 3 bit 20 is set, else "1".
const char* BootOptionsValue(const LevelMasks& masks);

}  // namespace nox
