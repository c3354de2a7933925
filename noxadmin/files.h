// noxadmin's own file layer: the folder that holds the tables, read on the
// host's file system directly (noxadmin edits tables of a Windows folder, a
// Wine prefix or a copy on a Linux machine alike).
//
// Every file noxadmin changes is written whole to a temporary file in the
// same folder and then renamed over the old one, so a crash leaves the old
// file or the new one, never half of one.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "noxadmin/host.h"
#include "noxadmin/problem.h"

namespace nox::admin {

// `dir` and `name` joined with the host's separator.
std::string JoinPath(const std::string& dir, std::string_view name);

// A numbered per-user file: n.TBL (the program list), n.KWT, n.pmk and the
// backups n.tbb, n.kwb, n.pmb of other components.
struct CompanionFile {
  int number = 0;
  std::string name;       // as found in the folder
  std::string extension;  // as found, without the dot
};

// A temporary file of a noxadmin run that ended before it finished (killed,
// or the machine went down): ".noxadmin-PID-N.tmp", a whole new table or
// program list that was never renamed into place, or ".noxadmin-PID-N.aside",
// a per-user file set aside while records moved, which may be the only copy
// of that file's contents.
struct LeftoverFile {
  std::string name;  // as found in the folder
  int process_id = 0;
  bool set_aside = false;
};

// The extensions of the per-user files, lower case.
extern const std::vector<std::string> kCompanionExtensions;

class TableFolder {
 public:
  explicit TableFolder(std::string dir) : dir_(std::move(dir)) {}

  const std::string& dir() const { return dir_; }

  // The file's name in the folder, matched without regard to letter case as
  // Windows does; `name` itself when there is no such file.
  std::string ActualName(std::string_view name) const;
  std::string PathOf(std::string_view name) const { return JoinPath(dir_, ActualName(name)); }
  bool Exists(std::string_view name) const;
  // The names in the folder that match `name` without regard to case (more
  // than one only on a case-sensitive file system).
  std::vector<std::string> NamesMatching(std::string_view name) const;

  // The whole file; nullopt when it does not exist. Refusal when it exists
  // and cannot be read.
  std::optional<std::string> Read(std::string_view name) const;

  // Every per-user file, by number.
  std::vector<CompanionFile> Companions() const;
  // The temporary files that noxadmin runs which have ended left behind.
  std::vector<LeftoverFile> Leftovers() const;

 private:
  std::vector<std::string> Names() const;

  std::string dir_;
};

// The whole file at `path` (a file named on the command line). Refusal when
// it cannot be read.
std::string ReadHostFile(const std::string& path);

// Writes `bytes` to a new temporary file beside `target` (flushed to the
// disk) and returns its path. Refusal on failure, leaving nothing behind.
std::string WriteTemporary(const std::string& target, std::string_view bytes);
// WriteTemporary then ReplaceWith.
void WriteReplacing(const std::string& target, std::string_view bytes);

// One change of the table folder, applied by Commit: a new USER.TBL whose
// records may have moved (each per-user file follows its record), new
// program list files, a new NoxSettings.TBL.
struct FolderChange {
  std::optional<std::string> user_table;
  // The number of records of the table before the change (records after an
  // "EOF" record included).
  int old_record_count = 0;
  // For each record number j of the new table, origin[j - 1] is the number
  // the record had before, or 0 for a new record. Empty: no record moved.
  std::vector<int> origin;
  // Program list files to write, by record number of the new table.
  std::map<int, std::string> program_lists;
  std::optional<std::string> settings;
};

// Applies the change, after removing the ".tmp" leftovers of ended runs
// (never a running noxadmin's files, never a set-aside per-user file, which
// `check` reports instead). Per-user files of records that moved are set aside
// under temporary names, the new program lists written to temporary files,
// the table replaced, then everything renamed into place; files of removed
// records are deleted last. A failure before the table is replaced undoes
// what was done and raises Refusal; one after it raises Failure naming the
// files left over.
void Commit(const TableFolder& folder, const FolderChange& change);

}  // namespace nox::admin
