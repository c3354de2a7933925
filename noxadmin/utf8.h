// UTF-8, decoded and encoded: noxadmin's one decoder, for the Linux build's
// command line and files and for the page's JSON.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace nox::admin {

// Decodes the UTF-8 sequence at `pos` and moves `pos` past it. Nothing, with
// `pos` unchanged, when the bytes there are not one: a stray continuation
// byte, a cut-off sequence, an overlong form, a surrogate or a code point
// above U+10FFFF.
std::optional<char32_t> NextCodePoint(std::string_view text, size_t& pos);

// Appends `code` (a code point up to U+10FFFF, not a surrogate) as UTF-8.
void AppendUtf8(char32_t code, std::string& out);

}  // namespace nox::admin
