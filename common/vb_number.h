// Numbers typed by administrators into text fields (the level triple).
//
// A field is read as far as it forms a number: an optional sign, digits, a
// decimal point and an exponent (E or D), or the prefixes &H and &O followed
// by hexadecimal or octal digits. Reading stops at the first character that
// cannot continue the number; an empty text reads as 0.
#pragma once

#include <cstdint>
#include <string_view>

namespace nox {

// The leading number of `text` as a double (0 when there is none). Hex and
// octal digits are read as a non-negative value.
double ReadLeadingNumber(std::string_view text);

// `value` rounded to the nearest integer, a half going to the even
// neighbour. Raises overflow (6) when the result does not fit 32 bits (and
// for NaN or infinity).
int32_t RoundToInt32(double value);

// RoundToInt32(ReadLeadingNumber(text)).
int32_t ReadInt32(std::string_view text);

}  // namespace nox
