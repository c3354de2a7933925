// The product's own registry values, as RegRead/RegWrite path strings
// (regpath.h). The login program writes the logged-on user's record number
// and name; pelorus.exe reads them back to find whose minutes to count.
#pragma once

namespace nox {

#define NOX_NETSIEVE "Local_Machine,Software\\Quillon\\Netsieve\\CurrentVersion\\,"
inline constexpr const char* kLoggedOnRecordValue = NOX_NETSIEVE "User";
inline constexpr const char* kLoggedOnNameValue = NOX_NETSIEVE "UserName";
inline constexpr const char* kLoggingValue = NOX_NETSIEVE "Logging";
#undef NOX_NETSIEVE

// The restart flag is read from one spelling of the key and cleared under
// another; both name the same key, as the registry ignores letter case and
// the trailing backslash.
inline constexpr const char* kRestartReadValue =
    "Local_Machine,SOFTWARE\\Quillon\\Explorer\\CurrentVersion,Restart";
inline constexpr const char* kRestartWriteValue =
    "Local_Machine,Software\\Quillon\\Explorer\\CurrentVersion\\,Restart";

}  // namespace nox
