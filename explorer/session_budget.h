// The daily minute budget's switch and message, shared by the login program
// and pelorus.exe, which counts the minutes a session uses.
#pragma once

#include "explorer/records.h"

namespace nox {

// The login program's text when the day's minutes are used up.
inline constexpr const char* kExpiredMessage =
    "Your allocated session minutes have expired.\r\nYour windows session will now terminate.";

// Whether bit 25 of the level triple's third part switches the budget on.
// Raises 9 for a fourth part and 6 for a third part beyond 32 bits.
bool MinuteBudgetOn(const TextField<30>& level_triple);

}  // namespace nox
