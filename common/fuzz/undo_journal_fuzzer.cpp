// The undo journal's reader on any bytes: every line it accepts formats back
// to the same line and parses to the same entry, and the lines it counts as
// damaged and the entries add up to the lines before the first empty one.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "common/undo_journal.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const nox::ParsedJournal journal = nox::ParseJournal(bytes);
  size_t lines = 0;
  for (std::string_view rest = bytes; !rest.empty();) {
    const size_t end = rest.find('\0');
    if (end == 0) break;
    ++lines;
    if (end == std::string_view::npos) break;
    rest.remove_prefix(end + 1);
  }
  if (journal.entries.size() + journal.damaged_lines != lines) __builtin_trap();
  for (const nox::JournalEntry& entry : journal.entries) {
    const std::string line = nox::FormatJournalLine(entry);
    if (nox::ParseJournalLine(line) != entry) __builtin_trap();
    nox::JournalSubject(entry);
  }
  return 0;
}
