// The parts of WriteSettings that read outside input or touch files: drive
// schedules, the proxy text, the Internet Explorer version, the
// temporary-folder wipe, the recent-documents deletion and the program list.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "explorer/frm_login.h"
#include "explorer/records.h"
#include "platform/platform.h"

namespace nox {

// Minutes after midnight of an "HH:MM" text (blanks around it allowed, one
// or two digits each side). Raises type mismatch (13) when it is not a time
// of day.
int ClockMinutes(std::string_view text);

// Whether a drive schedule text (50 characters: start "HH:MM" at positions 8
// to 12, end at 20 to 24, flag at 25 to 30, counting from 1) hides its drive
// at `now`: its flag is "True" and the current minute lies in the window
// from the start (inclusive) to the end (exclusive), across midnight when
// the end is earlier. Raises 13 for a schedule in force whose times are not
// times of day.
bool ScheduleHidesDrive(std::string_view schedule, const platform::LocalTime& now);

// "ftp=host:port;gopher=...;http=...;https=...;socks=..." from the account's
// proxy table, each field trimmed of blanks.
std::string ProxyText(const UserRecord& record);

// Whether the Internet Explorer version (as RegRead returns it, with its
// final backslash) is above 4.7: the first four characters of the trimmed
// text read as a decimal number; a text of one character or less counts as
// 0. Raises 13 when those characters do not begin with a number.
bool InternetExplorerAbove47(const std::string& version);

// Empties the folder `tmp` (its queue kept in `queue`) and creates it again.
// Nothing outside `tmp` is touched: a symbolic link, junction or other
// reparse point inside it is removed itself, never followed. Ignores every
// failure.
void WipeTemporaryFolder(ListBox& queue, const std::string& tmp);

// Deletes the files (not folders) that match `pattern` ("C:\X\*.*"), a
// reparse point as a link. Raises the first failure; "File not found" (53)
// when nothing matches.
void Kill(const std::string& pattern);

// Deletes the files of the recent-documents folder, given as RegRead reads
// its "Shell folders" value (with the final backslash). Does nothing unless
// the value names a folder: an empty or missing value would otherwise make
// the pattern the root of the current drive.
void DeleteRecentFiles(const std::string& recent_value);

// Reads the program list file of record `record_number` (system directory,
// n".TBL"): its first-section lines go to `list1`, its allowed programs to
// "RestrictRun". Ignores every failure.
void ApplyProgramList(const UserRecord& record, const std::string& record_number, ListBox& list1);

// Mask 2 bits 16 to 27: writes the values of the set bits, removes those
// of the clear bits that an earlier login of the profile wrote, and keeps
// the marker of the bits written (those whose removal failed included).
// `drive_mask` is this login's "NoDrives". Ignores every failure.
void WriteModernSwitches(uint32_t mask2, uint32_t drive_mask);

}  // namespace nox
