// The level triple "m1,m2,m3" as the login program reads it. Two readings
// share its split: the restrictions (ReadLevelTriple, common/catalogue.h)
// take each part's leading decimal digits; the daily budget switch reads the
// third part as a full number (sign, &H and &O, decimals, exponent), so the
// two can differ for a hand-edited triple such as "0,0,-33554432".
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace nox {

// Bit 25 of the third part: the daily minute budget is on.
inline constexpr uint32_t kBudgetBit = 0x2000000;

// The three parts of a triple: a comma moves to the next part, a blank is
// skipped, any other character joins the current part. Raises
// subscript-range (9), from `source`, for a character in a fourth part.
std::array<std::string, 3> SplitLevelTriple(std::string_view triple,
                                            const std::string& source = "");

// Whether bit 25 of the third part, read as a number and rounded to 32 bits,
// is set. Raises 9 for a fourth part and overflow (6) for a third part
// beyond 32 bits.
bool MinuteBudgetOn(std::string_view triple);

// MinuteBudgetOn, false for a triple it cannot read: no minutes are counted
// against a budget the login program cannot read.
bool MinuteBudgetOnIfReadable(std::string_view triple);

}  // namespace nox
