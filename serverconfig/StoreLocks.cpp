#include "serverconfig/StoreLocks.h"

std::recursive_mutex& StoreLock(int number) {
  static std::recursive_mutex locks[kStoreLockCount];
  if (number < 0 || number >= kStoreLockCount) number = 0;
  return locks[number];
}

TStoreLockGuard::TStoreLockGuard(int number, bool skip)
    : mutex_(skip ? nullptr : &StoreLock(number)) {
  if (mutex_ != nullptr) mutex_->lock();
}

TStoreLockGuard::~TStoreLockGuard() {
  if (mutex_ != nullptr) mutex_->unlock();
}
