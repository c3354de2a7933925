// The uninstaller's side of the undo journal (common/undo_journal.h): what a
// hive's journals say about each value the reset would write, putting back
// what they hold, and reaching every profile's hive on NT.
#pragma once

#include <string>
#include <unordered_set>
#include <vector>

#include "common/regpath.h"
#include "common/undo_journal.h"
#include "platform/platform.h"

namespace nox::clearway {

class HiveUndo {
 public:
  // The journals at `places`, an earlier place winning for a key or value
  // both name (the service's journal starts from the user's own when that
  // was there first, so it comes first). `root` is the root the hive is written through:
  // kCurrentUser (the profile at hand) or kLocalMachine.
  HiveUndo(platform::RegKey root, std::vector<JournalPlace> places);

  bool has_journal() const { return has_journal_; }
  // Whether the reset writes this value: always where no journal was found;
  // with one, only where the journal has no entry for it and the value
  // exists now (an earlier Nox without a journal left it), so that the
  // reset never makes a value that was not there.
  bool ResetWrites(const std::string& key, const std::string& value_name) const;
  // Each journaled value back as it was (deleted where it was missing), the
  // keys Nox created removed once empty, then the journals. An entry naming
  // a key the login never writes is passed over and traced.
  void Restore() const;

 private:
  platform::RegKey root_;
  std::vector<JournalPlace> places_;
  bool has_journal_ = false;
  std::vector<JournalEntry> entries_;
  std::unordered_set<std::string> subjects_;
};

// While in force on the thread, the uninstaller's RegWrite asks these
// whether the reset writes a value.
class UndoScope {
 public:
  UndoScope(const HiveUndo* user, const HiveUndo* machine);
  ~UndoScope();
  UndoScope(const UndoScope&) = delete;
  UndoScope& operator=(const UndoScope&) = delete;
};
// True outside a scope and for roots other than the two.
bool ResetWrites(const RegPath& path);

// A user profile as Windows NT lists it.
struct Profile {
  std::string sid;
  std::string folder;  // ProfileImagePath, expanded
};
// The profiles of "ProfileList", without the system's own accounts (local
// system, local service, network service); empty on Windows 9x.
std::vector<Profile> ListProfiles();

// A profile's hive under HKEY_USERS while the object lives: the hive Windows
// has loaded, or else the profile's NTUSER.DAT loaded under a private name
// and unloaded again at the end, also when a step failed.
class MountedProfile {
 public:
  explicit MountedProfile(const Profile& profile);
  ~MountedProfile();
  MountedProfile(const MountedProfile&) = delete;
  MountedProfile& operator=(const MountedProfile&) = delete;

  // kSuccess, or why the hive could not be loaded.
  long error() const { return error_; }
  // The subkey of HKEY_USERS it is under.
  const std::string& name() const { return name_; }

 private:
  std::string name_;
  std::string file_;
  bool loaded_here_ = false;
  long error_ = platform::kSuccess;
};

}  // namespace nox::clearway
