#include "common/command_line.h"

namespace nox {

std::string CommandTail(std::string_view line) {
  size_t i = 0;
  if (!line.empty() && line[0] == '"') {
    size_t closing = line.find('"', 1);
    i = closing == std::string_view::npos ? line.size() : closing + 1;
  } else {
    while (i < line.size() && line[i] != ' ' && line[i] != '\t') ++i;
  }
  if (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
  return std::string(line.substr(i));
}

}  // namespace nox
