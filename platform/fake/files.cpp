// The in-memory file system: one folder tree per drive letter, names that
// compare without regard to case and keep the case first stored, the DOS
// attributes, and the Win32 error codes of the calls the facade stands for.
#include <algorithm>
#include <stdexcept>

#include "platform/fake/fake_state.h"
#include "platform/platform.h"

namespace platform {

namespace {

using fake::FsNode;
using fake::TheState;

constexpr uint32_t kStoredAttributes = kAttrReadOnly | kAttrHidden | kAttrSystem | kAttrArchive;

// A parsed absolute path: a drive and its folder and file names.
struct FsPath {
  int drive = 0;
  std::vector<std::string> parts;
  bool trailing_separator = false;  // names a folder ("C:\TMP\")
};

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// Characters no name may hold. (A ':' is the stream separator: a name with
// one is looked up like any other and is simply not there.)
bool HasInvalidNameCharacter(const std::string& name) {
  return std::any_of(name.begin(), name.end(), [](char c) {
    return static_cast<unsigned char>(c) < 0x20 ||
           std::string_view("<>\"|?*").find(c) != std::string_view::npos;
  });
}

// CreateFile refuses a name ending in a separator outright.
bool EndsInSeparator(const std::string& path) { return !path.empty() && IsSeparator(path.back()); }

std::vector<std::string> SplitComponents(std::string_view text) {
  std::vector<std::string> parts;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = start;
    while (end < text.size() && !IsSeparator(text[end])) ++end;
    if (end > start) parts.emplace_back(text.substr(start, end - start));
    start = end + 1;
  }
  return parts;
}

// Applies "." and "..", and the trimming Windows does while it makes a path
// absolute: one trailing dot off an inner name, all trailing dots and blanks
// off the last.
std::vector<std::string> Collapse(const std::vector<std::string>& raw) {
  std::vector<std::string> parts;
  for (size_t i = 0; i < raw.size(); ++i) {
    std::string part = raw[i];
    if (part == ".") continue;
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
      continue;
    }
    if (i + 1 == raw.size()) {
      while (!part.empty() && (part.back() == '.' || part.back() == ' ')) part.pop_back();
    } else if (part.back() == '.') {
      part.pop_back();
    }
    if (!part.empty()) parts.push_back(part);
  }
  return parts;
}

bool DriveHasFileSystem(int drive) {
  uint32_t type = TheState().drive_types[drive];
  return type != kDriveNoRootDir && type != kDriveUnknown;
}

int DriveIndex(char letter) {
  if (letter >= 'a' && letter <= 'z') return letter - 'a';
  if (letter >= 'A' && letter <= 'Z') return letter - 'A';
  return -1;
}

// Makes `path` absolute (against the current directory when it lacks a drive
// or a leading "\"), without looking at the file system.
long ParsePath(const std::string& path, FsPath* out) {
  const std::string& current = TheState().current_directory;
  std::vector<std::string> raw;
  std::string_view rest = path;
  if (path.empty()) return kPathNotFound;
  if (path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1])) return kPathNotFound;
  if (path.size() >= 2 && path[1] == ':') {
    out->drive = DriveIndex(path[0]);
    if (out->drive < 0) return fake::kInvalidName;
    rest = rest.substr(2);
    bool on_current_drive = DriveIndex(current[0]) == out->drive;
    if ((rest.empty() || !IsSeparator(rest[0])) && on_current_drive) {
      raw = SplitComponents(std::string_view(current).substr(2));
    }
  } else {
    out->drive = DriveIndex(current[0]);
    if (!IsSeparator(rest[0])) raw = SplitComponents(std::string_view(current).substr(2));
  }
  for (std::string& part : SplitComponents(rest)) raw.push_back(std::move(part));
  out->parts = Collapse(raw);
  out->trailing_separator = !out->parts.empty() && IsSeparator(path.back());
  if (std::any_of(out->parts.begin(), out->parts.end(), HasInvalidNameCharacter)) {
    return fake::kInvalidName;
  }
  if (!DriveHasFileSystem(out->drive)) return kPathNotFound;
  return kSuccess;
}

FsNode* Child(FsNode* folder, const std::string& name) {
  auto it = folder->children.find(fake::Fold(name));
  return it == folder->children.end() ? nullptr : it->second.get();
}

long FindExisting(const std::string& text, FsNode** node, FsNode** parent = nullptr,
                  FsPath* parsed = nullptr);

// The folder a folder link points to (the node itself when it is no link);
// nullptr when the target is gone. Links to links are followed a few times.
FsNode* Followed(FsNode* node) {
  for (int hops = 0; node != nullptr && !node->link_target.empty(); ++hops) {
    FsNode* target = nullptr;
    if (hops == 8 || FindExisting(node->link_target, &target) != kSuccess) return nullptr;
    node = target;
  }
  return node;
}

// The folder that holds the path's last name; kPathNotFound when a folder on
// the way is missing or is a file.
long FindParent(const FsPath& path, FsNode** parent) {
  FsNode* node = TheState().drive_roots[path.drive].get();
  for (size_t i = 0; i + 1 < path.parts.size(); ++i) {
    node = Followed(Child(node, path.parts[i]));
    if (node == nullptr || !node->is_directory) return kPathNotFound;
  }
  *parent = node;
  return kSuccess;
}

// The node of an existing path (a link itself, not followed): kPathNotFound
// or kFileNotFound otherwise.
long FindExisting(const std::string& text, FsNode** node, FsNode** parent, FsPath* parsed) {
  FsPath path;
  FsNode* folder = nullptr;
  if (long error = ParsePath(text, &path)) return error;
  if (path.parts.empty()) {
    *node = TheState().drive_roots[path.drive].get();
    if (parent != nullptr) *parent = nullptr;
    if (parsed != nullptr) *parsed = path;
    return kSuccess;
  }
  if (long error = FindParent(path, &folder)) return error;
  *node = Child(folder, path.parts.back());
  if (*node == nullptr) return kFileNotFound;
  if (path.trailing_separator && !(*node)->is_directory) return kPathNotFound;
  if (parent != nullptr) *parent = folder;
  if (parsed != nullptr) *parsed = path;
  return kSuccess;
}

FsNode* AddChild(FsNode* folder, const std::string& name, bool is_directory) {
  auto node = std::make_unique<FsNode>();
  node->name = name;
  node->is_directory = is_directory;
  node->attributes = is_directory ? 0 : kAttrArchive;
  FsNode* raw = node.get();
  folder->children[fake::Fold(name)] = std::move(node);
  return raw;
}

// Windows' defaults for a standard account: nothing in the system directory
// can be created, changed, renamed or deleted, and a file restricted to
// administrators cannot be opened at all. kAccessDenied (recorded) when the
// caller is refused `what` on `node` in `folder`, else kSuccess.
long Access(const char* what, const std::string& path, const FsNode* folder, const FsNode* node) {
  if (TheState().caller != fake::Caller::kStandardAccount) return kSuccess;
  const bool writing = std::string_view(what) != "read";
  bool refused = node != nullptr && node->restricted;
  if (writing && folder != nullptr) {
    FsNode* system = nullptr;
    refused |= FindExisting(TheState().system_directory, &system) == kSuccess && system == folder;
  }
  if (!refused) return kSuccess;
  fake::RefusedToStandardAccount(std::string(what) + " " + path);
  return kAccessDenied;
}

// CreateFile with OPEN_ALWAYS for writing: the existing file, or a new empty
// one. A folder or a read-only file cannot be opened for writing.
long OpenAlwaysForWriting(const std::string& text, FsNode** file) {
  FsPath path;
  FsNode* folder = nullptr;
  if (long error = ParsePath(text, &path)) return error;
  if (path.parts.empty()) return kAccessDenied;
  if (long error = FindParent(path, &folder)) return error;
  if (path.trailing_separator) return fake::kInvalidName;
  FsNode* node = Child(folder, path.parts.back());
  if (long error = Access("write", text, folder, node)) return error;
  if (node == nullptr) node = AddChild(folder, path.parts.back(), false);
  if (node->is_directory || (node->attributes & kAttrReadOnly)) return kAccessDenied;
  *file = node;
  return kSuccess;
}

long OpenExistingForReading(const std::string& text, FsNode** file) {
  if (EndsInSeparator(text)) return fake::kInvalidName;
  if (long error = FindExisting(text, file)) return error;
  if (long error = Access("read", text, nullptr, *file)) return error;
  return (*file)->is_directory ? kAccessDenied : kSuccess;
}

uint32_t ReportedAttributes(const FsNode& node) {
  uint32_t attributes = node.attributes & kStoredAttributes;
  if (!node.link_target.empty()) attributes |= kAttrReparsePoint;
  if (node.is_directory) return attributes | kAttrDirectory;
  return attributes == 0 ? kAttrNormal : attributes;
}

bool Contains(const FsNode& folder, const FsNode* node) {
  if (&folder == node) return true;
  for (const auto& [name, child] : folder.children) {
    if (Contains(*child, node)) return true;
  }
  return false;
}

// Takes `node` out of `folder` and returns it.
std::unique_ptr<FsNode> Detach(FsNode* folder, const FsNode* node) {
  auto it = folder->children.find(fake::Fold(node->name));
  std::unique_ptr<FsNode> owned = std::move(it->second);
  folder->children.erase(it);
  return owned;
}

bool IsCurrentDirectory(const FsPath& path) {
  FsPath current;
  if (ParsePath(TheState().current_directory, &current) != kSuccess) return false;
  if (current.drive != path.drive || current.parts.size() != path.parts.size()) return false;
  for (size_t i = 0; i < path.parts.size(); ++i) {
    if (fake::Fold(current.parts[i]) != fake::Fold(path.parts[i])) return false;
  }
  return true;
}

// Renames (or moves within a drive) `source` to the path `dest`, replacing
// an existing file when `replace`.
long Rename(const std::string& source, const std::string& dest, bool replace) {
  FsNode* node = nullptr;
  FsNode* source_folder = nullptr;
  FsPath dest_path;
  FsPath source_path;
  FsNode* dest_folder = nullptr;
  if (long error = FindExisting(source, &node, &source_folder, &source_path)) return error;
  if (source_folder == nullptr) return kAccessDenied;
  if (long error = ParsePath(dest, &dest_path)) return error;
  if (dest_path.parts.empty()) return kAccessDenied;
  if (long error = FindParent(dest_path, &dest_folder)) return error;
  if (long error = Access("rename", source, source_folder, node)) return error;
  if (long error = Access("write", dest, dest_folder, nullptr)) return error;
  FsNode* existing = Child(dest_folder, dest_path.parts.back());
  if (existing != nullptr && existing != node) {
    if (!replace) return kAlreadyExists;
    if (existing->is_directory || node->is_directory) return kAccessDenied;
    if (existing->attributes & kAttrReadOnly) return kAccessDenied;
  }
  if (node->is_directory && Contains(*node, dest_folder)) return kInvalidParameter;
  if (dest_path.drive != source_path.drive) {
    if (replace || node->is_directory) return fake::kNotSameDevice;
    FsNode* copy = AddChild(dest_folder, dest_path.parts.back(), false);
    copy->data = node->data;
    copy->attributes = node->attributes;
    Detach(source_folder, node);
    return kSuccess;
  }
  std::unique_ptr<FsNode> owned = Detach(source_folder, node);
  if (existing != nullptr && existing != node) Detach(dest_folder, existing);
  owned->name = dest_path.parts.back();
  dest_folder->children[fake::Fold(owned->name)] = std::move(owned);
  return kSuccess;
}

// ------------------------------------------------------------- wildcards
// The DOS wildcards Windows turns a search pattern into: '<' (DOS_STAR)
// matches up to the name's final dot, '>' (DOS_QM) matches one character or
// nothing at a dot or the end, '"' (DOS_DOT) matches a dot or the end.
std::string DosPattern(std::string_view mask) {
  std::string pattern = fake::Fold(mask);
  for (size_t i = 0; i < pattern.size(); ++i) {
    char next = i + 1 < pattern.size() ? pattern[i + 1] : '\0';
    if (pattern[i] == '?') {
      pattern[i] = '>';
    } else if (pattern[i] == '*' && next == '.') {
      pattern[i] = '<';
    } else if (pattern[i] == '.' && (next == '?' || next == '*' || next == '\0')) {
      pattern[i] = '"';
    }
  }
  return pattern;
}

bool MatchDos(std::string_view pattern, std::string_view name) {
  if (pattern.empty()) return name.empty();
  std::string_view rest = pattern.substr(1);
  switch (pattern[0]) {
    case '*':
      for (size_t i = 0; i <= name.size(); ++i) {
        if (MatchDos(rest, name.substr(i))) return true;
      }
      return false;
    case '<': {
      size_t last_dot = name.rfind('.');
      size_t limit = last_dot == std::string_view::npos ? name.size() : last_dot;
      for (size_t i = 0; i <= limit; ++i) {
        if (MatchDos(rest, name.substr(i))) return true;
      }
      return false;
    }
    case '>':
      if (name.empty() || name[0] == '.') return MatchDos(rest, name);
      return MatchDos(rest, name.substr(1));
    case '"':
      if (name.empty()) return MatchDos(rest, name);
      return name[0] == '.' && MatchDos(rest, name.substr(1));
    default:
      return !name.empty() && name[0] == pattern[0] && MatchDos(rest, name.substr(1));
  }
}

bool IsShortName(const std::string& name) {
  size_t dot = name.find('.');
  std::string base = name.substr(0, dot);
  std::string ext = dot == std::string::npos ? "" : name.substr(dot + 1);
  auto plain = [](const std::string& part) {
    return std::none_of(part.begin(), part.end(), [](char c) {
      return c == ' ' || c == '.' || c == '+' || c == ',' || c == ';' || c == '=' || c == '[' ||
             c == ']';
    });
  };
  return !base.empty() && base.size() <= 8 && ext.size() <= 3 && plain(base) && plain(ext);
}

// The 8.3 alias Windows gives a long name ("LONGFI~1.HTM"); patterns match it
// as well as the long name.
std::string ShortAlias(const std::string& name) {
  size_t dot = name.rfind('.');
  std::string base = fake::Fold(name.substr(0, dot == 0 ? name.size() : dot));
  std::string ext = dot == std::string::npos || dot == 0 ? "" : fake::Fold(name.substr(dot + 1));
  auto clean = [](std::string part) {
    std::erase_if(part, [](char c) { return c == ' ' || c == '.'; });
    return part;
  };
  std::string alias = clean(base).substr(0, 6) + "~1";
  ext = clean(ext).substr(0, 3);
  return ext.empty() ? alias : alias + "." + ext;
}

bool NameMatches(const std::string& pattern, const std::string& name) {
  if (MatchDos(pattern, fake::Fold(name))) return true;
  return !IsShortName(name) && MatchDos(pattern, ShortAlias(name));
}

FindEntry EntryOf(const std::string& name, const FsNode& node) {
  return FindEntry{name, ReportedAttributes(node), node.is_directory ? 0 : node.data.size()};
}

void CollectFiles(const FsNode& folder, const std::string& path, std::vector<std::string>* out) {
  for (const auto& [folded, child] : folder.children) {
    std::string child_path = path + "\\" + child->name;
    if (child->is_directory) {
      CollectFiles(*child, child_path, out);
    } else {
      out->push_back(child_path);
    }
  }
}

// A pattern that ends in "." or ".." names the folder it leads to.
long FindNamed(const std::string& pattern, std::vector<FindEntry>* entries) {
  FsNode* node = nullptr;
  FsPath path;
  if (long error = FindExisting(pattern, &node, nullptr, &path)) return error;
  if (path.parts.empty()) return kFileNotFound;
  entries->push_back(EntryOf(node->name, *node));
  return kSuccess;
}

}  // namespace

long CreateFileIfMissing(const std::string& path) {
  FsNode* file = nullptr;
  return OpenAlwaysForWriting(path, &file);
}

long OpenForReading(const std::string& path) {
  FsNode* file = nullptr;
  return OpenExistingForReading(path, &file);
}

long ReadFileAt(const std::string& path, uint64_t offset, size_t size, std::string* out) {
  FsNode* file = nullptr;
  if (long error = OpenExistingForReading(path, &file)) return error;
  *out = offset >= file->data.size() ? "" : file->data.substr(offset, size);
  return kSuccess;
}

long ReadWholeFile(const std::string& path, std::string* out) {
  FsNode* file = nullptr;
  if (long error = OpenExistingForReading(path, &file)) return error;
  *out = file->data;
  return kSuccess;
}

long WriteFileAt(const std::string& path, uint64_t offset, std::string_view data) {
  FsNode* file = nullptr;
  if (long error = OpenAlwaysForWriting(path, &file)) return error;
  if (data.empty()) return kSuccess;
  if (file->data.size() < offset + data.size()) file->data.resize(offset + data.size(), '\0');
  file->data.replace(offset, data.size(), data);
  file->attributes |= kAttrArchive;
  return kSuccess;
}

long WriteWholeFile(const std::string& path, std::string_view data) {
  FsNode* existing = nullptr;
  long error = FindExisting(path, &existing);
  if (error == kSuccess && !existing->is_directory &&
      (existing->attributes & (kAttrHidden | kAttrSystem))) {
    // CREATE_ALWAYS with normal attributes refuses a hidden or system file.
    return kAccessDenied;
  }
  FsNode* file = nullptr;
  if (long open_error = OpenAlwaysForWriting(path, &file)) return open_error;
  file->data = std::string(data);
  file->attributes = kAttrArchive;
  return kSuccess;
}

long FileLength(const std::string& path, uint64_t* length) {
  FsNode* file = nullptr;
  if (long error = OpenExistingForReading(path, &file)) return error;
  *length = file->data.size();
  return kSuccess;
}

long CopyFile(const std::string& source, const std::string& dest) {
  FsNode* from = nullptr;
  FsNode* to = nullptr;
  if (long error = OpenExistingForReading(source, &from)) return error;
  long error = FindExisting(dest, &to);
  if (error == kSuccess && to == from) return kSharingViolation;
  if (error == kSuccess && (to->attributes & (kAttrHidden | kAttrReadOnly))) return kAccessDenied;
  if (long open_error = OpenAlwaysForWriting(dest, &to)) return open_error;
  to->data = from->data;
  to->attributes = from->attributes | kAttrArchive;
  return kSuccess;
}

long DeleteFile(const std::string& path) {
  FsNode* node = nullptr;
  FsNode* folder = nullptr;
  if (EndsInSeparator(path)) return fake::kInvalidName;
  if (long error = FindExisting(path, &node, &folder)) return error;
  if (long error = Access("delete", path, folder, node)) return error;
  if (node->is_directory || (node->attributes & kAttrReadOnly)) return kAccessDenied;
  Detach(folder, node);
  return kSuccess;
}

long MoveFile(const std::string& source, const std::string& dest) {
  return Rename(source, dest, false);
}

long ReplaceFile(const std::string& source, const std::string& dest) {
  return Rename(source, dest, true);
}

long GetFileAttributes(const std::string& path, uint32_t* attributes) {
  FsNode* node = nullptr;
  if (long error = FindExisting(path, &node)) return error;
  *attributes = ReportedAttributes(*node);
  return kSuccess;
}

long SetFileAttributes(const std::string& path, uint32_t attributes) {
  FsNode* node = nullptr;
  FsNode* folder = nullptr;
  if (long error = FindExisting(path, &node, &folder)) return error;
  if (long error = Access("change", path, folder, node)) return error;
  node->attributes = attributes & kStoredAttributes;
  return kSuccess;
}

long CreateDirectory(const std::string& path) {
  FsPath parsed;
  FsNode* folder = nullptr;
  if (long error = ParsePath(path, &parsed)) return error;
  if (parsed.parts.empty()) return kAlreadyExists;
  if (long error = FindParent(parsed, &folder)) return error;
  if (Child(folder, parsed.parts.back()) != nullptr) return kAlreadyExists;
  if (long error = Access("write", path, folder, nullptr)) return error;
  AddChild(folder, parsed.parts.back(), true);
  return kSuccess;
}

long RemoveDirectory(const std::string& path) {
  FsNode* node = nullptr;
  FsNode* folder = nullptr;
  FsPath parsed;
  if (long error = FindExisting(path, &node, &folder, &parsed)) return error;
  if (!node->is_directory) return fake::kDirectoryName;
  if (IsCurrentDirectory(parsed)) return kSharingViolation;
  if (folder == nullptr) return kAccessDenied;
  if (!node->children.empty()) return kDirNotEmpty;
  Detach(folder, node);
  return kSuccess;
}

long RestrictToAdministrators(const std::string& path) {
  FsNode* node = nullptr;
  if (long error = FindExisting(path, &node)) return error;
  // Only an owner with administrator rights may replace the descriptor.
  if (long error = Access("secure", path, nullptr, node)) return error;
  if (TheState().caller == fake::Caller::kStandardAccount) return kAccessDenied;
  node->restricted = true;
  return kSuccess;
}

bool UsersCanRead(const std::string& path) {
  FsNode* node = nullptr;
  return FindExisting(path, &node) == kSuccess && !node->restricted;
}

long FindFiles(const std::string& pattern, std::vector<FindEntry>* entries) {
  entries->clear();
  size_t split = pattern.find_last_of("\\/");
  std::string folder_text;
  std::string mask;
  if (split == std::string::npos) {
    bool has_drive = pattern.size() >= 2 && pattern[1] == ':';
    folder_text = has_drive ? pattern.substr(0, 2) : TheState().current_directory;
    mask = has_drive ? pattern.substr(2) : pattern;
  } else {
    // The folder without its last separator, unless that would leave a
    // drive ("C:") or nothing, where the separator names the root.
    folder_text = pattern.substr(0, split);
    if (folder_text.empty() || folder_text.back() == ':')
      folder_text = pattern.substr(0, split + 1);
    mask = pattern.substr(split + 1);
  }
  if (mask == "." || mask == "..") return FindNamed(pattern, entries);
  FsNode* folder = nullptr;
  FsNode* above = nullptr;
  if (long error = FindExisting(folder_text, &folder, &above)) {
    return error == kFileNotFound ? kPathNotFound : error;
  }
  folder = Followed(folder);
  if (folder == nullptr) return kPathNotFound;
  if (!folder->is_directory) return fake::kInvalidName;
  // The DOS wildcard characters themselves are not accepted from callers.
  if (mask.empty() || mask.find_first_of("<>\"") != std::string::npos) return kFileNotFound;
  std::string dos_pattern = DosPattern(mask);
  if (above != nullptr) {
    if (MatchDos(dos_pattern, ".")) entries->push_back(EntryOf(".", *folder));
    if (MatchDos(dos_pattern, "..")) entries->push_back(EntryOf("..", *above));
  }
  for (const auto& [folded, child] : folder->children) {
    if (NameMatches(dos_pattern, child->name)) entries->push_back(EntryOf(child->name, *child));
  }
  return entries->empty() ? kFileNotFound : kSuccess;
}

namespace fake {

long OverwriteFile(const std::string& path, std::string_view data) {
  FsNode* file = nullptr;
  if (long error = OpenAlwaysForWriting(path, &file)) return error;
  file->data = std::string(data);
  file->attributes |= kAttrArchive;
  return kSuccess;
}

void ResetFiles(State& state) {
  for (std::unique_ptr<FsNode>& root : state.drive_roots) {
    root = std::make_unique<FsNode>();
    root->is_directory = true;
  }
}

namespace {

// Control functions are test set-up: a path they cannot use is a test bug.
FsPath ParseForSetUp(const std::string& path) {
  FsPath parsed;
  if (ParsePath(path, &parsed) != kSuccess) {
    throw std::invalid_argument("fake platform: unusable path (drive without a file system?): " +
                                path);
  }
  return parsed;
}

}  // namespace

void MakeDirectories(const std::string& path) {
  FsPath parsed = ParseForSetUp(path);
  FsNode* node = TheState().drive_roots[parsed.drive].get();
  for (const std::string& part : parsed.parts) {
    FsNode* next = Child(node, part);
    node = next != nullptr ? next : AddChild(node, part, true);
  }
}

void PutDirectoryLink(const std::string& link, const std::string& target) {
  MakeDirectories(link);
  FsNode* node = nullptr;
  FindExisting(link, &node);
  node->link_target = target;
}

void PutFile(const std::string& path, std::string_view data) {
  FsPath parsed = ParseForSetUp(path);
  if (parsed.parts.empty()) throw std::invalid_argument("fake platform: no file name: " + path);
  FsNode* node = TheState().drive_roots[parsed.drive].get();
  for (size_t i = 0; i < parsed.parts.size(); ++i) {
    bool last = i + 1 == parsed.parts.size();
    FsNode* next = Child(node, parsed.parts[i]);
    node = next != nullptr ? next : AddChild(node, parsed.parts[i], !last);
  }
  node->data = std::string(data);
}

std::optional<std::string> FileBytes(const std::string& path) {
  FsNode* node = nullptr;
  if (FindExisting(path, &node) != kSuccess || node->is_directory) return std::nullopt;
  return node->data;
}

bool FileRestricted(const std::string& path) {
  FsNode* node = nullptr;
  return FindExisting(path, &node) == kSuccess && node->restricted;
}

bool FileExists(const std::string& path) {
  FsNode* node = nullptr;
  return FindExisting(path, &node) == kSuccess && !node->is_directory;
}

bool DirectoryExists(const std::string& path) {
  FsNode* node = nullptr;
  return FindExisting(path, &node) == kSuccess && node->is_directory;
}

std::vector<std::string> AllFiles() {
  std::vector<std::string> files;
  const State& state = TheState();
  for (size_t drive = 0; drive < state.drive_roots.size(); ++drive) {
    CollectFiles(*state.drive_roots[drive], std::string(1, static_cast<char>('A' + drive)) + ":",
                 &files);
  }
  return files;
}

}  // namespace fake

}  // namespace platform
