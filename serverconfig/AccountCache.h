// In-memory cache of account records, keyed by domain and account index, guarded by store
// lock 4. Its size comes from the settings (MiB at offset 233); the oldest entry makes room.
#pragma once

#include <cstddef>
#include <deque>
#include <map>
#include <string>
#include <utility>

#include "serverconfig/AccountRecord.h"

// Memory one cached account takes in the servers' own cache.
constexpr std::size_t kAccountCacheEntryBytes = 8544;

class TAccountCache {
 public:
  // Empties the cache and sets how many accounts it may hold.
  void Prepare(std::size_t capacity);
  std::size_t Capacity() const;
  std::size_t Size() const;
  void Store(const std::string& domain, int index, const TAccountRecord& record);
  bool Lookup(const std::string& domain, int index, TAccountRecord& record) const;
  // Replaces an entry only when the account is cached; true when it was.
  bool Refresh(const std::string& domain, int index, const TAccountRecord& record);
  void Clear();

 private:
  using TKey = std::pair<std::string, int>;
  std::size_t capacity_ = 0;
  std::map<TKey, TAccountRecord> entries_;
  std::deque<TKey> order_;
};

TAccountCache& AccountCache();

// Entries a cache of that many MiB holds (at least one).
std::size_t AccountCacheCapacity(int mebibytes);
