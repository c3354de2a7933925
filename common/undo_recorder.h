// The login's side of the undo journal (undo_journal.h): while a scope is in
// force on the thread, the registry layer asks it to record a value's or a
// key's state before it first changes it.
//
// The user's journal is the service's (HKLM, by the mapped account's SID)
// while the service runs the login, else the one in the user's own hive;
// machine values go to the machine journal. Each journal is read once, at
// the first change of its hive, and written again only when it gains an
// entry, always before the change it records. A journal that cannot be
// written (a standard account's machine journal) records nothing: the
// uninstall then resets those values as it always did.
#pragma once

#include <memory>
#include <string>

#include "platform/platform.h"

namespace nox {

class UndoJournalScope {
 public:
  UndoJournalScope();
  ~UndoJournalScope();
  UndoJournalScope(const UndoJournalScope&) = delete;
  UndoJournalScope& operator=(const UndoJournalScope&) = delete;

  class Recorder;

 private:
  std::unique_ptr<Recorder> recorder_;
};

// Before a value is written or deleted.
void JournalValueChange(platform::RegKey root, const std::string& key,
                        const std::string& value_name);
// Before a key is deleted with everything below it.
void JournalKeyDeletion(platform::RegKey root, const std::string& key);

}  // namespace nox
