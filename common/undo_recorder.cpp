#include "common/undo_recorder.h"

#include <optional>
#include <unordered_set>
#include <vector>

#include "common/undo_journal.h"

namespace nox {
namespace {

// The journal of one hive as this login has it.
class HiveJournal {
 public:
  // `seed`: a journal that, when this one does not exist yet, is older and
  // starts it (the user's own, written by a login before the service came).
  HiveJournal(platform::RegKey root, JournalPlace place, std::optional<JournalPlace> seed = {})
      : root_(root), place_(std::move(place)), seed_(std::move(seed)) {}

  void RecordValue(const std::string& key, const std::string& value_name) {
    if (!Ready() || subjects_.count(ValueSubject(key, value_name)) != 0) return;
    std::vector<JournalEntry> added;
    AddValueState(key, value_name, &added);
    Append(added);
  }

  void RecordTree(const std::string& key) {
    JournalEntry tree = JournalEntry::Key(JournalEntry::Kind::kTreeRecorded, JournalKeyPath(key));
    if (!Ready() || subjects_.count(JournalSubject(tree)) != 0) return;
    std::vector<JournalEntry> added;
    AddTreeStates(JournalKeyPath(key), &added);
    added.push_back(std::move(tree));
    Append(added);
  }

 private:
  // Reads the journal at the first change; false once it proved unwritable.
  bool Ready() {
    if (!loaded_) {
      loaded_ = true;
      std::optional<ParsedJournal> journal = ReadJournal(place_);
      if (!journal && seed_) journal = ReadJournal(*seed_);
      if (journal) {
        for (const JournalEntry& entry : journal->entries) Keep(FormatJournalLine(entry), entry);
      }
    }
    return writable_;
  }

  void Keep(std::string line, const JournalEntry& entry) {
    if (!subjects_.insert(JournalSubject(entry)).second) return;
    lines_.push_back(std::move(line));
  }

  void AddEntry(JournalEntry entry, std::vector<JournalEntry>* added) const {
    if (subjects_.count(JournalSubject(entry)) == 0) added->push_back(std::move(entry));
  }

  // The keys from the first missing one down to `key`, when it is missing.
  void AddMissingKeys(const std::string& key, std::vector<JournalEntry>* added) const {
    std::vector<std::string> missing;
    for (std::string path = key; !path.empty();) {
      platform::ScopedRegKey opened;
      if (platform::RegOpenKey(root_, path, platform::kKeyRead, opened.receive()) ==
          platform::kSuccess) {
        break;
      }
      missing.push_back(path);
      const size_t slash = path.rfind('\\');
      path = slash == std::string::npos ? std::string() : path.substr(0, slash);
    }
    for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
      AddEntry(JournalEntry::Key(JournalEntry::Kind::kCreatedKey, *it), added);
    }
  }

  void AddValueState(const std::string& raw_key, const std::string& value_name,
                     std::vector<JournalEntry>* added) const {
    const std::string key = JournalKeyPath(raw_key);
    JournalEntry entry = JournalEntry::Value(key, value_name);
    platform::ScopedRegKey opened;
    if (platform::RegOpenKey(root_, key, platform::kKeyRead, opened.receive()) !=
        platform::kSuccess) {
      AddMissingKeys(key, added);
    } else if (std::optional<std::string> data =
                   ReadValueBytes(opened.get(), value_name, &entry.type)) {
      entry.kind = JournalEntry::Kind::kValue;
      entry.data = std::move(*data);
    }
    AddEntry(std::move(entry), added);
  }

  void AddTreeStates(const std::string& key, std::vector<JournalEntry>* added) const {
    platform::ScopedRegKey opened;
    if (platform::RegOpenKey(root_, key, platform::kKeyRead, opened.receive()) !=
        platform::kSuccess) {
      return;
    }
    std::string name;
    uint32_t type = 0;
    std::string data;
    for (uint32_t i = 0;
         platform::RegEnumValue(opened.get(), i, &name, &type, &data) == platform::kSuccess; ++i) {
      AddEntry(JournalEntry::Value(key, name, JournalEntry::Kind::kValue, type, data), added);
    }
    for (uint32_t i = 0; platform::RegEnumKey(opened.get(), i, &name) == platform::kSuccess; ++i) {
      AddTreeStates(key + "\\" + name.substr(0, name.find('\0')), added);
    }
  }

  // Writes the journal with the new entries; on failure it stays as it was
  // and records nothing more.
  void Append(const std::vector<JournalEntry>& added) {
    if (added.empty()) return;
    std::vector<std::string> lines = lines_;
    for (const JournalEntry& entry : added) lines.push_back(FormatJournalLine(entry));
    platform::ScopedRegKey key;
    const bool saved =
        platform::RegCreateKey(place_.root, place_.key, key.receive()) == platform::kSuccess &&
        platform::RegSetValue(key.get(), kJournalValue, platform::kRegMultiSz,
                              JoinJournalLines(lines)) == platform::kSuccess;
    if (!saved) {
      writable_ = false;
      return;
    }
    for (const JournalEntry& entry : added) Keep(FormatJournalLine(entry), entry);
  }

  platform::RegKey root_;
  JournalPlace place_;
  std::optional<JournalPlace> seed_;
  bool loaded_ = false;
  bool writable_ = true;
  std::vector<std::string> lines_;
  std::unordered_set<std::string> subjects_;
};

thread_local UndoJournalScope::Recorder* t_recorder = nullptr;

}  // namespace

class UndoJournalScope::Recorder {
 public:
  Recorder() : user_(UserJournal()), machine_(platform::kLocalMachine, MachineJournalPlace()) {}

  static HiveJournal UserJournal() {
    if (!platform::UserHiveMapped()) return HiveJournal(platform::kCurrentUser, HiveJournalPlace());
    return HiveJournal(platform::kCurrentUser, ServiceJournalPlace(platform::MappedUserSid()),
                       HiveJournalPlace());
  }

  HiveJournal* For(platform::RegKey root) {
    if (root == platform::kCurrentUser) return &user_;
    if (root == platform::kLocalMachine) return &machine_;
    return nullptr;
  }

 private:
  HiveJournal user_;
  HiveJournal machine_;
};

UndoJournalScope::UndoJournalScope() {
  if (t_recorder != nullptr) return;
  recorder_ = std::make_unique<Recorder>();
  t_recorder = recorder_.get();
}

UndoJournalScope::~UndoJournalScope() {
  if (recorder_) t_recorder = nullptr;
}

void JournalValueChange(platform::RegKey root, const std::string& key,
                        const std::string& value_name) {
  if (t_recorder == nullptr) return;
  if (HiveJournal* journal = t_recorder->For(root)) journal->RecordValue(key, value_name);
}

void JournalKeyDeletion(platform::RegKey root, const std::string& key) {
  if (t_recorder == nullptr) return;
  if (HiveJournal* journal = t_recorder->For(root)) journal->RecordTree(key);
}

}  // namespace nox
