// The registry calls that open, create, delete and close keys, through the
// key cache of the thread's RegKeyCacheScope when one is open.
#include "platform/reg_key_cache.h"

#include <algorithm>
#include <functional>
#include <vector>

#include "platform/platform.h"

namespace platform {

namespace {

bool IsRoot(RegKey key) { return key >= kClassesRoot && key <= kDynData; }

// Key names ignore case; folding ASCII only can keep two spellings of one
// key apart (two handles to it), never join two keys.
std::string FoldedPath(const std::string& path) {
  std::string folded = path;
  for (char& c : folded) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return folded;
}

}  // namespace

class RegKeyCacheScope::Cache {
 public:
  // An open key for root\path with at least `access`, lent once more;
  // kNoKey when there is none.
  RegKey Lend(RegKey root, const std::string& path, uint32_t access) {
    for (Kept& kept : keys_) {
      if (!kept.retired && kept.root == root && kept.path == path &&
          (kept.access & access) == access) {
        ++kept.lent;
        return kept.key;
      }
    }
    return kNoKey;
  }

  void Keep(RegKey root, std::string path, uint32_t access, RegKey key) {
    keys_.push_back({root, std::move(path), access, key, 1, false});
  }

  // True when the key is one of the kept ones: the caller's close returns it
  // to the cache (and closes it only when it was retired).
  bool GiveBack(RegKey key) {
    auto kept =
        std::find_if(keys_.begin(), keys_.end(), [&](const Kept& k) { return k.key == key; });
    if (kept == keys_.end()) return false;
    if (kept->lent > 0) --kept->lent;
    if (kept->retired && kept->lent == 0) {
      uncached::RegCloseKey(kept->key);
      keys_.erase(kept);
    }
    return true;
  }

  void Share(KeepKeysFn keep) {
    if (std::find(sharing_.begin(), sharing_.end(), keep) != sharing_.end()) return;
    sharing_.push_back(keep);
    keep(true);
  }

  // Before a key is deleted: a kept key may be the deleted one (under any
  // root or spelling), so none is lent again; those nobody holds are closed.
  void RetireAll() {
    StopSharing();
    for (Kept& kept : keys_) kept.retired = true;
    std::erase_if(keys_, [](const Kept& kept) {
      if (kept.lent > 0) return false;
      uncached::RegCloseKey(kept.key);
      return true;
    });
  }

  void CloseAll() {
    StopSharing();
    for (const Kept& kept : keys_) uncached::RegCloseKey(kept.key);
    keys_.clear();
  }

 private:
  void StopSharing() {
    const std::vector<KeepKeysFn> sharing = std::move(sharing_);
    sharing_.clear();
    for (KeepKeysFn keep : sharing) keep(false);
  }

  struct Kept {
    RegKey root;
    std::string path;
    uint32_t access;
    RegKey key;
    int lent;
    bool retired;
  };
  std::vector<Kept> keys_;
  std::vector<KeepKeysFn> sharing_;
};

namespace {

// The cache of this thread's open scope, or null.
thread_local RegKeyCacheScope::Cache* active_cache = nullptr;

long OpenThroughCache(RegKey parent, const std::string& subkey, uint32_t access, RegKey* out,
                      const std::function<long(RegKey*)>& open) {
  RegKeyCacheScope::Cache* cache = active_cache;
  // A root that stands for another hive (the service's caller) is not one
  // key for the whole scope: never kept.
  if (cache == nullptr || !IsRoot(parent) || subkey.empty() || UserHiveMapped()) {
    return open(out);
  }
  std::string path = FoldedPath(subkey);
  if (RegKey kept = cache->Lend(parent, path, access); kept != kNoKey) {
    *out = kept;
    return kSuccess;
  }
  const long result = open(out);
  if (result == kSuccess) cache->Keep(parent, std::move(path), access, *out);
  return result;
}

}  // namespace

RegKeyCacheScope::RegKeyCacheScope() {
  if (active_cache != nullptr) return;
  cache_ = std::make_unique<Cache>();
  active_cache = cache_.get();
}

RegKeyCacheScope::~RegKeyCacheScope() {
  if (!cache_) return;
  active_cache = nullptr;
  cache_->CloseAll();
}

long RegCreateKey(RegKey parent, const std::string& subkey, RegKey* out) {
  return OpenThroughCache(parent, subkey, kKeyAllAccess, out,
                          [&](RegKey* key) { return uncached::RegCreateKey(parent, subkey, key); });
}

long RegOpenKey(RegKey parent, const std::string& subkey, uint32_t access, RegKey* out) {
  return OpenThroughCache(parent, subkey, access, out, [&](RegKey* key) {
    return uncached::RegOpenKey(parent, subkey, access, key);
  });
}

long RegDeleteKey(RegKey parent, const std::string& subkey) {
  if (active_cache != nullptr) active_cache->RetireAll();
  return uncached::RegDeleteKey(parent, subkey);
}

void ShareKeptRegKeys(KeepKeysFn keep) {
  if (active_cache != nullptr) active_cache->Share(keep);
}

void ReleaseKeptRegKeys() {
  if (active_cache != nullptr) active_cache->RetireAll();
}

long RegCloseKey(RegKey key) {
  if (active_cache != nullptr && active_cache->GiveBack(key)) return kSuccess;
  return uncached::RegCloseKey(key);
}

}  // namespace platform
