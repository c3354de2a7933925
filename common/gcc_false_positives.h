// Narrow switches for compiler warnings that are known false positives.
#pragma once

// GCC 12 warns -Wrestrict inside libstdc++'s std::string when an operator+
// with a character pointer on the left and a temporary string on the right
// ("\"" + std::string(item)) is inlined at -O2 and above: GCC bug 105329,
// fixed in GCC 13. Put these around just the functions where it fires.
#if defined(__GNUC__) && !defined(__clang__) && __GNUC__ == 12
#define NOX_GCC12_BUG105329_BEGIN \
  _Pragma("GCC diagnostic push") _Pragma("GCC diagnostic ignored \"-Wrestrict\"")
#define NOX_GCC12_BUG105329_END _Pragma("GCC diagnostic pop")
#else
#define NOX_GCC12_BUG105329_BEGIN
#define NOX_GCC12_BUG105329_END
#endif
