// The URL fetch behind GetURL: a fetch thread opens and reads the URL while
// a watchdog gives the opening a time limit.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>

namespace tessel {

// Where a fetch gets its bytes: WinInet for GetURL, scripted in tests. Both
// functions run on the fetch thread; the source is dropped (and whatever it
// holds released) when the reading ends.
struct UrlSource {
  // Opens the URL; false when it cannot be opened.
  std::function<bool(const std::string& url)> open;
  // Reads up to `size` bytes; *read is 0 at the end. False on a failure,
  // with the failure's message in *error_message.
  std::function<bool(char* buffer, uint32_t size, uint32_t* read, std::string* error_message)> read;
};

struct FetchTiming {
  // The watchdog gives up at its first look once more whole seconds than
  // this have passed.
  uint64_t open_timeout_seconds = 44;
  uint32_t look_interval_ms = 1000;
};

// GetURL's work with the given source: the text (line ends removed, at most
// `max_chars` characters, then a terminator) into `out` and its length; -1
// with the error's message in `out` when a read fails or the fetch cannot
// start; -2 when the URL did not open in time. `window`'s caption shows
// "Retrieving " and the URL once it has opened. Fetches run one at a time.
int32_t FetchUrl(const char* url, char* out, int32_t max_chars, HWND window, UrlSource source,
                 const FetchTiming& timing);

// The source GetURL uses: WinInet with the system's proxy settings.
UrlSource InternetSource();

}  // namespace tessel
