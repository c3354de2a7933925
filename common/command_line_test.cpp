#include "common/command_line.h"

#include <gtest/gtest.h>

namespace nox {
namespace {

TEST(CommandTailTest, KeepsEverythingAfterTheOneSeparatingBlank) {
  struct Case {
    const char* line;
    const char* tail;
  } cases[] = {
      {"explorer.exe", ""},
      {"explorer.exe ", ""},
      {"explorer.exe /e,C:\\", "/e,C:\\"},
      {"explorer.exe   /e,C:\\  ", "  /e,C:\\  "},
      {"C:\\NOX\\explorer.exe\t/n", "/n"},
      {"\"C:\\Program Files\\Nox\\explorer.exe\" /root,C:\\", "/root,C:\\"},
      {"\"C:\\Program Files\\Nox\\explorer.exe\"", ""},
      {"\"C:\\Program Files\\Nox\\explorer.exe\"  x ", " x "},
      {"\"unterminated quote", ""},
      {"", ""},
      {"   ", "  "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    EXPECT_EQ(CommandTail(c.line), c.tail);
  }
}

}  // namespace
}  // namespace nox
