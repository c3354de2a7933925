// The in-memory registry: a tree of keys under the seven predefined roots,
// with the access, naming and deletion rules of the Windows NT registry.
// Subkeys and values enumerate in the order of their lower-cased names, as
// Wine gives them (Windows gives values in the order they were created).
#include <algorithm>
#include <cstring>

#include "platform/fake/fake_state.h"
#include "platform/platform.h"
#include "platform/reg_key_cache.h"

namespace platform {

namespace {

using fake::RegHandle;
using fake::RegNode;
using fake::RegValueInfo;
using fake::TheState;

constexpr uint32_t kQueryValue = 0x0001;
constexpr uint32_t kSetValue = 0x0002;
constexpr uint32_t kEnumerateSubKeys = 0x0008;
constexpr uint32_t kKeyWrite = 0x20006;
constexpr uint32_t kGenericRead = 0x80000000;
constexpr uint32_t kGenericWrite = 0x40000000;
constexpr uint32_t kGenericExecute = 0x20000000;
constexpr uint32_t kGenericAll = 0x10000000;
constexpr uint32_t kMaximumAllowed = 0x02000000;

bool IsRoot(RegKey key) { return key >= kClassesRoot && key <= kDynData; }

bool IsStringType(uint32_t type) { return type == kRegSz || type == kRegExpandSz || type == kRegMultiSz; }

// The generic rights and MAXIMUM_ALLOWED in terms of the key rights.
uint32_t MapAccess(uint32_t access) {
  uint32_t mapped =
      access & ~(kGenericRead | kGenericWrite | kGenericExecute | kGenericAll | kMaximumAllowed);
  if (access & (kGenericRead | kGenericExecute)) mapped |= kKeyRead;
  if (access & kGenericWrite) mapped |= kKeyWrite;
  if (access & (kGenericAll | kMaximumAllowed)) mapped |= kKeyAllAccess;
  return mapped;
}

// The opened HKEY_USERS\<sid> that kCurrentUser stands for on this thread
// while a ScopedUserHive lives; kNoKey otherwise.
thread_local RegKey t_user_hive = kNoKey;
thread_local std::string t_user_hive_sid;
// Stands for a hive that could not be opened: no handle has this value.
constexpr RegKey kUnopenedHive = 1;

// The key behind a handle, checked for the rights the call needs.
long Resolve(RegKey key, uint32_t needed, std::shared_ptr<RegNode>* node) {
  fake::State& state = TheState();
  if (key == kCurrentUser && t_user_hive != kNoKey) key = t_user_hive;
  if (IsRoot(key)) {
    *node = state.reg_roots[key - kClassesRoot];
    return kSuccess;
  }
  auto it = state.reg_handles.find(key);
  if (key == kNoKey || it == state.reg_handles.end()) return kInvalidHandle;
  if (it->second.node->deleted) return fake::kKeyDeleted;
  if ((it->second.access & needed) != needed) return kAccessDenied;
  *node = it->second.node;
  return kSuccess;
}

// The names of a subkey path. A leading "\\" is a bad path name; empty names
// (a trailing "\\", a doubled one) are skipped.
long SplitSubkey(const std::string& subkey, std::vector<std::string>* parts) {
  parts->clear();
  if (!subkey.empty() && subkey.front() == '\\') return fake::kBadPathname;
  size_t start = 0;
  while (start < subkey.size()) {
    size_t end = std::min(subkey.find('\\', start), subkey.size());
    if (end > start) parts->push_back(subkey.substr(start, end - start));
    start = end + 1;
  }
  return kSuccess;
}

std::shared_ptr<RegNode> FindChild(const RegNode& node, const std::string& name) {
  auto it = node.subkeys.find(fake::RegistryNameKey(name));
  return it == node.subkeys.end() ? nullptr : it->second;
}

// Walks `subkey` down from `node`; nullptr when a key on the way is missing.
std::shared_ptr<RegNode> Walk(std::shared_ptr<RegNode> node,
                              const std::vector<std::string>& parts) {
  for (const std::string& part : parts) {
    node = FindChild(*node, part);
    if (!node) return nullptr;
  }
  return node;
}

// The names from the root down to `node`, and the root's position among
// the predefined roots (reg_roots.size() for a key cut off from them).
std::vector<std::string> NamesFromRoot(const std::shared_ptr<RegNode>& node, size_t* root) {
  std::vector<std::string> names;
  std::shared_ptr<RegNode> at = node;
  for (std::shared_ptr<RegNode> up = at->parent.lock(); up; up = up->parent.lock()) {
    names.insert(names.begin(), at->name);
    at = up;
  }
  const auto& roots = TheState().reg_roots;
  *root = std::find(roots.begin(), roots.end(), at) - roots.begin();
  return names;
}

bool StartsWithNames(const std::vector<std::string>& names, size_t from,
                     std::initializer_list<const char*> prefix) {
  if (names.size() < from + prefix.size()) return false;
  size_t i = from;
  for (const char* part : prefix) {
    if (fake::RegistryNameKey(names[i++]) != fake::RegistryNameKey(part)) return false;
  }
  return true;
}

// Windows' defaults for a standard account: HKEY_LOCAL_MACHINE and the
// Policies branches of a user hive are read-only.
bool ReadOnlyForStandardAccount(size_t root, const std::vector<std::string>& names) {
  if (root == kLocalMachine - kClassesRoot) return true;
  size_t from = 0;
  if (root == kUsers - kClassesRoot) {
    from = 1;
  } else if (root != kCurrentUser - kClassesRoot) {
    return false;
  }
  return StartsWithNames(names, from, {"Software", "Policies"}) ||
         StartsWithNames(names, from,
                         {"Software", "Microsoft", "Windows", "CurrentVersion", "Policies"});
}

// kAccessDenied when a standard account may not write the key `node` (with
// `below` appended), else kSuccess.
long WriteAccess(const std::shared_ptr<RegNode>& node, const std::vector<std::string>& below = {}) {
  if (TheState().caller != fake::Caller::kStandardAccount) return kSuccess;
  size_t root = 0;
  std::vector<std::string> names = NamesFromRoot(node, &root);
  names.insert(names.end(), below.begin(), below.end());
  if (!ReadOnlyForStandardAccount(root, names)) return kSuccess;
  std::string path = root < TheState().reg_roots.size() ? TheState().reg_roots[root]->name : "?";
  for (const std::string& name : names) path += "\\" + name;
  fake::RefusedToStandardAccount("write " + path);
  return kAccessDenied;
}

RegKey NewHandle(std::shared_ptr<RegNode> node, uint32_t access) {
  fake::State& state = TheState();
  RegKey handle = state.next_reg_handle;
  state.next_reg_handle += 4;
  state.reg_handles[handle] = RegHandle{std::move(node), MapAccess(access)};
  return handle;
}

RegValueInfo* FindValue(RegNode& node, const std::string& name) {
  auto it = node.values.find(fake::RegistryNameKey(name));
  return it == node.values.end() ? nullptr : &it->second;
}

// The key at `path` under a predefined root, for the control functions.
std::shared_ptr<RegNode> NodeAt(RegKey root, const std::string& path) {
  std::vector<std::string> parts;
  if (!IsRoot(root)) return nullptr;
  SplitSubkey(path.starts_with('\\') ? path.substr(1) : path, &parts);
  return Walk(TheState().reg_roots[root - kClassesRoot], parts);
}

}  // namespace

long uncached::RegCreateKey(RegKey parent, const std::string& subkey, RegKey* out) {
  *out = kNoKey;
  std::shared_ptr<RegNode> node;
  std::vector<std::string> parts;
  if (long error = Resolve(parent, 0, &node)) return error;
  if (long error = SplitSubkey(subkey, &parts)) return error;
  if (long error = WriteAccess(node, parts)) return error;
  for (const std::string& part : parts) {
    std::shared_ptr<RegNode>& child = node->subkeys[fake::RegistryNameKey(part)];
    if (!child) {
      child = std::make_shared<RegNode>();
      child->name = part;
      child->parent = node;
    }
    node = child;
  }
  *out = NewHandle(node, kKeyAllAccess);
  return kSuccess;
}

long uncached::RegOpenKey(RegKey parent, const std::string& subkey, uint32_t access, RegKey* out) {
  *out = kNoKey;
  std::shared_ptr<RegNode> node;
  std::vector<std::string> parts;
  if (long error = Resolve(parent, 0, &node)) return error;
  if (long error = SplitSubkey(subkey, &parts)) return error;
  // Opening a predefined root with an empty path hands back the root itself.
  if (parts.empty() && IsRoot(parent)) {
    *out = parent;
    return kSuccess;
  }
  node = Walk(node, parts);
  if (!node) return kFileNotFound;
  constexpr uint32_t kWriteRights = kSetValue | 0x0004 | 0x00010000;  // values, subkeys, DELETE
  if (MapAccess(access) & kWriteRights) {
    if (long error = WriteAccess(node)) return error;
  }
  *out = NewHandle(node, access);
  return kSuccess;
}

long RegSetValue(RegKey key, const std::string& name, uint32_t type, std::string_view data) {
  std::shared_ptr<RegNode> node;
  if (long error = Resolve(key, kSetValue, &node)) return error;
  if (long error = WriteAccess(node)) return error;
  RegValueInfo& value =
      node->values.try_emplace(fake::RegistryNameKey(name), RegValueInfo{name, 0, ""})
          .first->second;
  value.type = type;
  value.data = std::string(data);
  return kSuccess;
}

long RegQueryValue(RegKey key, const std::string& name, uint32_t* type, char* data,
                   uint32_t* size) {
  if (data != nullptr && size == nullptr) return kInvalidParameter;
  std::shared_ptr<RegNode> node;
  if (long error = Resolve(key, kQueryValue, &node)) return error;
  const RegValueInfo* value = FindValue(*node, name);
  if (value == nullptr) return kFileNotFound;
  if (type != nullptr) *type = value->type;
  if (size == nullptr) return kSuccess;
  const uint32_t length = static_cast<uint32_t>(value->data.size());
  if (data != nullptr) {
    if (length > *size) {
      *size = length;
      return kMoreData;
    }
    std::memcpy(data, value->data.data(), length);
    // As RegQueryValueExA does: a stored text without its terminator gets one
    // in the caller's buffer when there is room, without counting it.
    if (IsStringType(value->type) && length > 0 && length < *size && data[length - 1] != '\0') {
      data[length] = '\0';
    }
  }
  *size = length;
  return kSuccess;
}

long RegEnumKey(RegKey key, uint32_t index, std::string* name) {
  std::shared_ptr<RegNode> node;
  if (long error = Resolve(key, kEnumerateSubKeys, &node)) return error;
  if (index >= node->subkeys.size()) return kNoMoreItems;
  *name = std::next(node->subkeys.begin(), index)->second->name;
  return kSuccess;
}

long RegEnumValue(RegKey key, uint32_t index, std::string* name, uint32_t* type,
                  std::string* data) {
  std::shared_ptr<RegNode> node;
  if (long error = Resolve(key, kQueryValue, &node)) return error;
  if (index >= node->values.size()) return kNoMoreItems;
  const RegValueInfo& value = std::next(node->values.begin(), index)->second;
  *name = value.name;
  *type = value.type;
  *data = value.data;
  return kSuccess;
}

long uncached::RegDeleteKey(RegKey parent, const std::string& subkey) {
  std::shared_ptr<RegNode> node;
  std::vector<std::string> parts;
  if (long error = Resolve(parent, 0, &node)) return error;
  if (long error = SplitSubkey(subkey, &parts)) return error;
  // An empty path deletes the key itself; a root has no parent to leave.
  std::shared_ptr<RegNode> target = Walk(node, parts);
  if (!target) return kFileNotFound;
  std::shared_ptr<RegNode> above = target->parent.lock();
  if (!above || !target->subkeys.empty()) return kAccessDenied;
  if (long error = WriteAccess(target)) return error;
  target->deleted = true;
  target->values.clear();
  above->subkeys.erase(fake::RegistryNameKey(target->name));
  return kSuccess;
}

long RegDeleteValue(RegKey key, const std::string& name) {
  std::shared_ptr<RegNode> node;
  if (long error = Resolve(key, kSetValue, &node)) return error;
  if (long error = WriteAccess(node)) return error;
  return node->values.erase(fake::RegistryNameKey(name)) == 1 ? kSuccess : kFileNotFound;
}

long uncached::RegCloseKey(RegKey key) {
  if (IsRoot(key)) return kSuccess;
  return TheState().reg_handles.erase(key) == 1 ? kSuccess : kInvalidHandle;
}

long RegFlushKey(RegKey key) {
  std::shared_ptr<RegNode> node;
  return Resolve(key, 0, &node);
}

ScopedUserHive::ScopedUserHive(const std::string& sid) {
  if (sid.empty() || RegOpenKey(kUsers, sid, kKeyAllAccess, &hive_) != kSuccess) hive_ = kNoKey;
  // A hive that cannot be opened must not fall back to the service's own.
  t_user_hive = hive_ != kNoKey ? hive_ : kUnopenedHive;
  t_user_hive_sid = sid;
}

ScopedUserHive::~ScopedUserHive() {
  t_user_hive = kNoKey;
  t_user_hive_sid.clear();
  if (hive_ != kNoKey) RegCloseKey(hive_);
}

bool UserHiveMapped() { return t_user_hive != kNoKey; }

std::string MappedUserSid() { return t_user_hive_sid; }

namespace {

constexpr long kPrivilegeNotHeld = 1314;

// Whether an opened handle reaches into the tree below `top`.
bool HandleInside(const std::shared_ptr<RegNode>& top) {
  for (const auto& [handle, opened] : TheState().reg_handles) {
    for (std::shared_ptr<RegNode> at = opened.node; at; at = at->parent.lock()) {
      if (at == top) return true;
    }
  }
  return false;
}

}  // namespace

long LoadUserHiveFile(const std::string& name, const std::string& file) {
  fake::State& state = TheState();
  if (fake::RefusedToStandardAccount("load " + file)) return kPrivilegeNotHeld;
  const std::string folded = fake::Fold(file);
  auto hive = state.hive_files.find(folded);
  if (hive == state.hive_files.end()) return kFileNotFound;
  if (state.loaded_hive_files.count(folded) != 0) return kSharingViolation;
  const std::shared_ptr<RegNode>& users = state.reg_roots[kUsers - kClassesRoot];
  if (name.empty() || name.find('\\') != std::string::npos || FindChild(*users, name)) {
    return kInvalidParameter;
  }
  hive->second->name = name;
  hive->second->parent = users;
  users->subkeys[fake::RegistryNameKey(name)] = hive->second;
  state.loaded_hive_files[folded] = name;
  return kSuccess;
}

long UnloadUserHiveFile(const std::string& name, const std::string& file) {
  fake::State& state = TheState();
  for (auto it = state.loaded_hive_files.begin(); it != state.loaded_hive_files.end(); ++it) {
    if (fake::RegistryNameKey(it->second) != fake::RegistryNameKey(name)) continue;
    if (it->first != fake::Fold(file)) return kInvalidParameter;
    const std::shared_ptr<RegNode> hive = state.hive_files[it->first];
    if (HandleInside(hive)) return kAccessDenied;
    state.reg_roots[kUsers - kClassesRoot]->subkeys.erase(fake::RegistryNameKey(name));
    hive->parent.reset();
    state.loaded_hive_files.erase(it);
    return kSuccess;
  }
  return kInvalidParameter;
}

namespace fake {

void SaveUserHiveFile(const std::string& name, const std::string& path) {
  State& state = TheState();
  const std::shared_ptr<RegNode>& users = state.reg_roots[kUsers - kClassesRoot];
  std::shared_ptr<RegNode> hive = FindChild(*users, name);
  if (!hive) hive = std::make_shared<RegNode>();
  users->subkeys.erase(RegistryNameKey(name));
  hive->parent.reset();
  state.hive_files[Fold(path)] = hive;
  PutFile(path, "regf");
}

bool UserHiveFileLoaded(const std::string& path) {
  return TheState().loaded_hive_files.count(Fold(path)) != 0;
}

void ResetRegistry(State& state) {
  static constexpr const char* kRootNames[] = {
      "HKEY_CLASSES_ROOT",     "HKEY_CURRENT_USER",   "HKEY_LOCAL_MACHINE", "HKEY_USERS",
      "HKEY_PERFORMANCE_DATA", "HKEY_CURRENT_CONFIG", "HKEY_DYN_DATA"};
  for (size_t i = 0; i < state.reg_roots.size(); ++i) {
    state.reg_roots[i] = std::make_shared<RegNode>();
    state.reg_roots[i]->name = kRootNames[i];
  }
  state.reg_handles.clear();
}

bool RegKeyExists(RegKey root, const std::string& path) { return NodeAt(root, path) != nullptr; }

std::vector<RegValueInfo> RegKeyValues(RegKey root, const std::string& path) {
  std::vector<RegValueInfo> values;
  if (std::shared_ptr<RegNode> node = NodeAt(root, path)) {
    for (const auto& [key, value] : node->values) values.push_back(value);
  }
  return values;
}

std::optional<RegValueInfo> RegGetValue(RegKey root, const std::string& path,
                                        const std::string& name) {
  std::shared_ptr<RegNode> node = NodeAt(root, path);
  const RegValueInfo* value = node ? FindValue(*node, name) : nullptr;
  if (value == nullptr) return std::nullopt;
  return *value;
}

std::vector<std::string> RegSubkeyNames(RegKey root, const std::string& path) {
  std::vector<std::string> names;
  if (std::shared_ptr<RegNode> node = NodeAt(root, path)) {
    for (const auto& [key, child] : node->subkeys) names.push_back(child->name);
  }
  return names;
}

size_t OpenRegKeyCount() { return TheState().reg_handles.size(); }

}  // namespace fake

}  // namespace platform
