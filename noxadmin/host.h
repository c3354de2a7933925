// What noxadmin does on the machine it runs on: its files, its processes,
// its clock and console, and where Windows keeps the tables. The build links
// one of two halves: host_*_posix.cpp on Linux, host_*_win32.cpp for
// noxadmin.exe (the administrator password store has its own halves,
// password_posix.cpp and password_win32.cpp).
#pragma once

#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace nox::admin {

// The separator of the host's paths.
extern const char kPathSeparator;

// Whether the command line, the console and the files an administrator names
// hold Windows-1252 text (noxadmin.exe) rather than UTF-8 (Linux).
extern const bool kHostTextIsAnsi;

// ---- files (host_files_*.cpp)

bool IsDirectory(const std::string& path);
// The names of the files and folders in `dir` ("." and ".." left out);
// Refusal when it cannot be listed.
std::vector<std::string> ListFolder(const std::string& dir);
// Creates the file `path`, which must not exist yet, writes `bytes` and
// flushes them to the disk; on POSIX it takes the permissions of `like` when
// that exists. Refusal on failure, leaving nothing behind.
void WriteNewFile(const std::string& path, std::string_view bytes, const std::string& like);
// Renames `from` to `to`, replacing `to` in one step (and keeping its access
// rules on Windows). Refusal on failure.
void ReplaceWith(const std::string& from, const std::string& to);
// Deletes the file; false when it could not be deleted.
bool RemoveFile(const std::string& path);
// Whether members of Users can read the file (never asked off Windows, where
// the tables' rights are the administrator's own business: false).
bool UsersCanReadFile(const std::string& path);
// Why the host's last file call failed, in words.
std::string LastErrorText();

// ---- the system (host_system_*.cpp)

int ProcessId();
// Whether the process with this id is running (an id this system cannot
// have counts as ended).
bool ProcessRunning(int process_id);
// Whether NoxService is installed on this machine (never, off Windows).
bool NoxServiceInstalled();
// The Windows system directory without its final "\"; nothing off Windows.
// Refusal when Windows cannot say.
std::optional<std::string> SystemDirectory();
// The calendar time of `time` in the host's time zone.
std::tm LocalCalendarTime(std::time_t time);
// The standard output byte for byte: CSV rows and .reg files end their
// lines in CR LF themselves, which a text-mode stream would turn into
// CR CR LF.
void UseBinaryStandardOutput();

}  // namespace nox::admin
