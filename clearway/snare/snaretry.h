// snaretry: traps a run-time error on purpose through the real error trap,
// so the trap's output can be seen and tested end to end.
//
//   snaretry.exe [/depth N] [/source TEXT] [/unannounced] [/twice] NUMBER
//
// Sub main calls Sub Nest with depth N (1 to 2000, default 1), which calls
// itself down to depth 1; the innermost Nest raises error NUMBER with the
// source TEXT (default: the program's own, a local error; a text with "!"
// is a forwarded one). With /unannounced the error comes from Sub Hidden,
// which traps its errors without announcing itself. /twice runs it all twice.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace nox::snaretry {

struct Options {
  int32_t depth = 1;
  std::optional<std::string> source;
  bool unannounced = false;
  bool twice = false;
  int32_t number = 0;
};

constexpr int32_t kMaxDepth = 2000;

// The options of a command line; nullopt when it is not one snaretry takes.
std::optional<Options> ParseCommandLine(std::string_view command_line);

// Sub main.
void Main(const Options& options);

}  // namespace nox::snaretry
