#include "serverconfig/AccountCache.h"

#include "base/StringUnit.h"
#include "serverconfig/ConfigTextUnit.h"
#include "serverconfig/StoreLocks.h"

namespace {

// A damaged size field must not make the cache ask for more than a 32-bit process has.
constexpr int kAccountCacheMaxMiB = 1024;

}  // namespace

std::size_t AccountCacheCapacity(int mebibytes) {
  if (mebibytes < 1) mebibytes = 1;
  if (mebibytes > kAccountCacheMaxMiB) mebibytes = kAccountCacheMaxMiB;
  const std::size_t entries =
      static_cast<std::size_t>(mebibytes) * 1048576u / kAccountCacheEntryBytes;
  return entries > 0 ? entries : 1;
}

void TAccountCache::Prepare(std::size_t capacity) {
  TStoreLockGuard lock(kAccountCacheLock);
  capacity_ = capacity;
  entries_.clear();
  order_.clear();
}

std::size_t TAccountCache::Capacity() const {
  TStoreLockGuard lock(kAccountCacheLock);
  return capacity_;
}

std::size_t TAccountCache::Size() const {
  TStoreLockGuard lock(kAccountCacheLock);
  return entries_.size();
}

void TAccountCache::Store(const std::string& domain, int index, const TAccountRecord& record) {
  TStoreLockGuard lock(kAccountCacheLock);
  if (capacity_ == 0) return;
  const TKey key{LowerCase(domain), index};
  auto found = entries_.find(key);
  if (found != entries_.end()) {
    found->second = record;
    return;
  }
  while (entries_.size() >= capacity_ && !order_.empty()) {
    entries_.erase(order_.front());
    order_.pop_front();
  }
  entries_.emplace(key, record);
  order_.push_back(key);
}

bool TAccountCache::Lookup(const std::string& domain, int index, TAccountRecord& record) const {
  TStoreLockGuard lock(kAccountCacheLock);
  const auto found = entries_.find(TKey{LowerCase(domain), index});
  if (found == entries_.end()) return false;
  record = found->second;
  return true;
}

bool TAccountCache::Refresh(const std::string& domain, int index, const TAccountRecord& record) {
  TStoreLockGuard lock(kAccountCacheLock);
  const auto found = entries_.find(TKey{LowerCase(domain), index});
  if (found == entries_.end()) return false;
  found->second = record;
  return true;
}

void TAccountCache::Clear() {
  TStoreLockGuard lock(kAccountCacheLock);
  entries_.clear();
  order_.clear();
}

TAccountCache& AccountCache() {
  static TAccountCache cache;
  return cache;
}
