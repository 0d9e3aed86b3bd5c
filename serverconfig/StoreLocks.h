// The configuration store's eight process-wide locks, created with the process.
#pragma once

#include <mutex>

enum TStoreLockNumber {
  kDomainTableLock = 0,   // domain table changes and account-file writes
  kAccountCacheLock = 4,  // the in-memory account cache
  kDatabaseLock = 5,      // every call into the account-database library
};
constexpr int kStoreLockCount = 8;

// Recursive: a store operation may call another that takes the same lock.
std::recursive_mutex& StoreLock(int number);

class TStoreLockGuard {
 public:
  // With skip set nothing is locked (settings byte 152 does that for the database calls).
  explicit TStoreLockGuard(int number, bool skip = false);
  ~TStoreLockGuard();
  TStoreLockGuard(const TStoreLockGuard&) = delete;
  TStoreLockGuard& operator=(const TStoreLockGuard&) = delete;

 private:
  std::recursive_mutex* mutex_;
};
